#!/bin/sh
# Checks that every folder of the editor includes only from itself and the folders its
# target links (directly or through them). Prints each offending include; exits 1 when
# there is one.
cd "$(dirname "$0")/.." || exit 2
allowed() {
    case "$1" in
        base) echo "base" ;;
        timeline) echo "base timeline" ;;
        media) echo "base timeline media" ;;
        media/mpv) echo "base timeline media media/mpv" ;;
        media/analysis) echo "base media/analysis" ;;
        project) echo "base timeline project" ;;
        render) echo "base timeline render" ;;
        web) echo "base web" ;;
        app) echo "base timeline media media/mpv media/analysis project render web app" ;;
        writer) echo "writer" ;;
    esac
}
status=0
for folder in base timeline media media/mpv media/analysis project render web app writer; do
    ok=$(allowed "$folder")
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -f "$file" ] || continue
        grep -n '#include "' "$file" | while IFS= read -r line; do
            target=$(printf '%s\n' "$line" | sed 's/.*#include "\([^"]*\)".*/\1/')
            case "$target" in */*) dir=${target%/*} ;; *) dir=$folder ;; esac
            found=no
            for a in $ok; do [ "$dir" = "$a" ] && found=yes; done
            if [ "$found" = no ]; then
                echo "$file:$line"
            fi
        done
    done
done > /tmp/vk-include-check.$$
if [ -s /tmp/vk-include-check.$$ ]; then cat /tmp/vk-include-check.$$; status=1; fi
rm -f /tmp/vk-include-check.$$
exit $status
