#!/bin/sh
# Checks that every C++ file git tracks is laid out as .clang-format says. Prints the
# files that are not; exits 1 when there is one. `tools/check-format.sh --fix` formats
# them in place.
cd "$(dirname "$0")/.." || exit 2
command -v clang-format >/dev/null 2>&1 || { echo "clang-format is not installed" >&2; exit 2; }
files=$(git ls-files '*.cpp' '*.h')
if [ "$1" = "--fix" ]; then
    printf '%s\n' $files | xargs clang-format -i
    exit 0
fi
status=0
for f in $files; do
    if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then
        echo "$f"
        status=1
    fi
done
exit $status
