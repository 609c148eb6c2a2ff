#!/usr/bin/env bash
# The program's library has one door: a face (the command line, the look page, the Python module)
# includes of app/ only its core and the failure and console types; nothing in app/ includes a
# face; and no header a face may include reaches OpenEXR, which stays inside files/.
# Usage: one_door.sh SOURCE_DIR [COMPILER]
set -u
root=${1:?source folder}
compiler=${2:-c++}
cd "$root" || exit 2
faults=0
fault() {
    echo "one door: $*" >&2
    faults=$((faults + 1))
}

faces=(cli look python/module)
while IFS=: read -r file line text; do
    header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$text")
    case "$header" in
    app/core/* | app/Failure.h | app/Console.h) ;;
    *) fault "$file:$line includes $header, behind the core" ;;
    esac
done < <(grep -rnE '^#include "app/' "${faces[@]}" --include='*.cpp' --include='*.h')

while IFS=: read -r file line text; do
    fault "$file:$line includes a face: $text"
done < <(grep -rnE '^#include "(cli|look|python)/' app --include='*.cpp' --include='*.h')

# -MG: a header OpenEXR's own headers cannot find is still listed, not an error.
for header in app/core/*.h app/Failure.h app/Console.h; do
    reached=$("$compiler" -std=c++20 -I. -M -MG -x c++ "$header" 2>/dev/null |
              tr ' \\' '\n\n' | grep -E '(^|/)(OpenEXR|Imath|Imf)[^/]*/' | head -n 1)
    [ -n "$reached" ] && fault "$header reaches $reached"
done

if [ "$faults" -gt 0 ]; then
    echo "one door: $faults fault(s)" >&2
    exit 1
fi
echo "one door: the faces include the core only"
