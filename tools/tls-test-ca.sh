#!/bin/bash
# Makes a throw-away certificate authority and the server certificates the
# TLS tests need, in the folder given (nothing outside it is touched):
#   ca.pem ca.der        the authority the tests trust
#   localhost.pem/.key   for localhost and 127.0.0.1
#   wronghost.pem/.key   for wrong.example only
#   expired.pem/.key     for localhost, valid in 2020 only
#   untrusted.pem/.key   for localhost, signed by an authority nobody trusts
# usage: tools/tls-test-ca.sh <folder>
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
quiet() { "$@" >/dev/null 2>&1 || { echo "tls-test-ca: $* failed" >&2; "$@"; exit 1; }; }

authority() {  # name, subject
  quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 \
    -subj "/CN=$2" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}
authority ca "Ferrow Test CA"
authority other "Ferrow Untrusted CA"
openssl x509 -in ca.pem -outform der -out ca.der

# A minimal 'openssl ca' set-up, for certificates with chosen dates.
mkdir -p db
: >db/index.txt
echo 1000 >db/serial
cat >ca.cnf <<'CNF'
[ca]
default_ca = test
[test]
database = db/index.txt
serial = db/serial
new_certs_dir = db
default_md = sha256
policy = any
unique_subject = no
copy_extensions = copy
[any]
commonName = supplied
CNF

server() {  # name, signing authority, names, start, end
  quiet openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" \
    -addext "subjectAltName=$3" -addext "extendedKeyUsage=serverAuth"
  quiet openssl ca -batch -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.pem" \
    -notext -startdate "$4" -enddate "$5"
}
start=$(date -u -d '-1 day' +%Y%m%d%H%M%SZ)
end=$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)
server localhost ca "DNS:localhost,IP:127.0.0.1" "$start" "$end"
server wronghost ca "DNS:wrong.example" "$start" "$end"
# Addresses: named only as an address, and an address spelt as a DNS name.
server iponly ca "IP:127.0.0.1,IP:::1" "$start" "$end"
server ipasdns ca "DNS:127.0.0.1" "$start" "$end"
server expired ca "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20200201000000Z
server untrusted other "DNS:localhost,IP:127.0.0.1" "$start" "$end"
