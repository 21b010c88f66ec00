#!/bin/bash
# Fails when product code calls one of the unbounded C functions that text/text.h replaces.
# Checks the files given, or every C and C++ source outside tests/ and build/.
# Comments, string and character literals are blanked first, so only code counts.
if [ $# -eq 0 ]; then
  cd "$(dirname "$0")/.." || exit 2
  mapfile -t files < <(find . \( -path ./build -o -path ./tests -o -path ./.git \) -prune -o \
    -type f \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) \
    -print | sed 's|^\./||' | sort)
  set -- "${files[@]}"
fi
python3 - "$@" <<'EOF'
import re, sys

BANNED = re.compile(r'\b(strcpy|strcat|sprintf|vsprintf|gets|atoi|strtok|strtok_r'
                    r'|lstrcpy\w*|lstrcat\w*|wsprintf\w*)\b')
# A comment, a string or a character literal; raw strings are not used here.
TOKENS = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)

def blank(match):
    text = match.group(0)
    return re.sub(r'[^\n]', ' ', text)  # keeps the line numbers

found = 0
for path in sys.argv[1:]:
    with open(path, encoding='utf-8', errors='replace') as f:
        code = TOKENS.sub(blank, f.read())
    for number, line in enumerate(code.split('\n'), 1):
        for hit in BANNED.finditer(line):
            print('bans: %s:%d: %s' % (path, number, hit.group(1)))
            found += 1
if found:
    print('bans: %d call(s) of banned functions; use the helpers of text/text.h' % found)
    sys.exit(1)
print('bans: no banned calls in %d files' % (len(sys.argv) - 1))
EOF
