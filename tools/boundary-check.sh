#!/bin/bash
# Fails when the portable core (engine/, analysis/, text/, jpeg/, spi/)
# reaches above itself: an include of an app/ or viewer/ header, a function
# declared in a core header but defined in app/, viewer/ or settings/ (joined
# only at link time), the viewer including app/, or a link multiplicity
# setting. The core tells the screen through the table of engine/report.h.
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
core="engine analysis text jpeg spi"
status=0

up=$(grep -rnE '^#include "(app|viewer)/' $core)
[ -z "$up" ] || { echo "boundary: the core includes headers above it:"; echo "$up"; status=1; }

viewer=$(grep -rnE '^#include "app/' viewer)
[ -z "$viewer" ] || { echo "boundary: the viewer includes app/ headers:"; echo "$viewer"; status=1; }

multiplicity=$(grep -rn --include=CMakeLists.txt --include='*.cmake' LINK_INTERFACE_MULTIPLICITY .)
[ -z "$multiplicity" ] || { echo "boundary: link multiplicity set:"; echo "$multiplicity"; status=1; }

# Names of free functions declared at the top level of core headers: a line
# that starts with a type and ends its declaration with ");".
names=$(find $core -name '*.h' -print0 | xargs -0 sed -nE \
  's/^[A-Za-z_][A-Za-z0-9_:<>*& ]*[ *&]([A-Za-z_][A-Za-z0-9_]*)\(.*\)( const)?( __attribute__.*)?;$/\1/p' |
  sort -u)
# A definition there starts a line (no indent, not static) with its type and
# the name and its parameters, and does not end as a declaration.
for name in $names; do
  found=$(grep -rnE --include='*.cpp' "^[A-Za-z_][A-Za-z0-9_:<>*& ]*[ *&]$name\(" app viewer settings |
          grep -vE ':[0-9]+:static |;[[:space:]]*$')
  [ -z "$found" ] || { echo "boundary: $name is declared in the core, defined above it:"; echo "$found"; status=1; }
done

[ $status = 0 ] && echo "boundary: the core names nothing above it"
exit $status
