#!/bin/bash
# tools/check-bans.sh reports the banned calls of code, by file and line, and
# nothing that only looks like one: words in comments and literals, the
# bounded relatives, longer names.
check=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/sample.cpp" <<'CODE'
// strcpy(a, b) in a comment
/* sprintf(a, "%d", 1);
   atoi(text) */ int n = snprintf(b, 4, "%s", "gets strcat");
char quote = '\'', slash = '/'; int v = vsnprintf(b, 4, "x", list) + fgets(b, 4, f) != 0;
int w = my_atoi(t) + atoi_checked(t) + StrCpyish(t);
int x = atoi(t);
std::sprintf(b, "%d", x); lstrcpynA(b, t, 4); wsprintfW(wb, L"x"); strtok_r(t, " ", &p);
CODE
cat > "$dir/clean.h" <<'CODE'
// Uses CopyText instead of strcpy.
void CopyText(char* dst, unsigned long size, const char* src);
CODE
expected="bans: $dir/sample.cpp:6: atoi
bans: $dir/sample.cpp:7: sprintf
bans: $dir/sample.cpp:7: lstrcpynA
bans: $dir/sample.cpp:7: wsprintfW
bans: $dir/sample.cpp:7: strtok_r
bans: 5 call(s) of banned functions; use the helpers of text/text.h"
status=0
actual=$("$check" "$dir/sample.cpp" "$dir/clean.h") && { echo "FAIL: banned calls passed"; status=1; }
[ "$actual" = "$expected" ] || { printf 'FAIL: got\n%s\nexpected\n%s\n' "$actual" "$expected"; status=1; }
"$check" "$dir/clean.h" >/dev/null || { echo "FAIL: a clean file failed"; status=1; }
[ $status = 0 ] && echo "check-bans: ok"
exit $status
