#!/usr/bin/env bash
# Start-up time and memory of the editor beside an empty Qt window, under Xvfb.
#   tools/startbench.sh [build folder] [runs]
# Start-up: from the exec to the moment every window of the process is mapped (the
# editor: the main window and the video panel; the empty program: its one window), the
# median of the runs. Memory: peak RSS (VmHWM) a few seconds after the windows are up,
# with no project, with a 100-row and with a 10,000-row project (rows registered on a
# generated clip; each opened with an empty cache, so the song's beat analysis runs).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-5}"
editor="$build/bin/videokadro"
[ -x "$editor" ] || { echo "no editor at $editor (build first)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'kill "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

empty="$build/startbench-emptywindow"
if [ ! -x "$empty" ] || [ "$here/tools/emptywindow.cpp" -nt "$empty" ]; then
  g++ -O2 -fPIC -o "$empty" "$here/tools/emptywindow.cpp" $(pkg-config --cflags --libs Qt6Widgets)
fi

# The media and the projects: a 20 s clip, a 60 s sound clip, rows every 500 ms.
ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=30 -t 20 -pix_fmt yuv420p "$work/clip.mp4"
ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000 -t 60 "$work/song.wav"
make_project() {
  local rows="$1" out="$2"
  {
    printf '<project version="2_0_1"><soundclip soundfile="%s"/><videoclips>' "$work/song.wav"
    awk -v n="$rows" -v f="$work/clip.mp4" 'BEGIN { for (i = 0; i < n; i++)
      printf "<videoclip soundmsec=\"%d\" videofile=\"%s\" beginmsec=\"%d\" endmsec=\"%d\" intervalmsec=\"33\" rate=\"\" trans=\"\" transmsec=\"\"/>", i * 500, f, (i % 30) * 500, (i % 30) * 500 + 500 }'
    printf '</videoclips></project>'
  } >"$out"
}
make_project 100 "$work/rows100.rem"
make_project 10000 "$work/rows10000.rem"

# A display no other server holds.
while :; do
  n=$((90 + RANDOM % 100))
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
display=":$n"
Xvfb "$display" -screen 0 1400x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.05; done
export DISPLAY="$display"
unset QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
export VK_MPV_AO=null

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Starts a program, waits until `windows` of its windows are mapped, prints the time
# in ms; then after `settle` seconds prints its peak RSS in MB, and ends it.
measure() {
  local windows="$1" settle="$2"
  shift 2
  local t0 t1 pid n
  t0="$(now_ms)"
  "$@" >/dev/null 2>&1 &
  pid=$!
  while :; do
    n="$( (xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true) | wc -l)"
    [ "$n" -ge "$windows" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "program ended early: $*" >&2; return 2; }
    sleep 0.002
  done
  t1="$(now_ms)"
  sleep "$settle"
  local hwm
  hwm="$(awk '/^VmHWM/ { print int($2 / 1024) }' "/proc/$pid/status")"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  echo "$((t1 - t0)) $hwm"
}

# measure, again when the program ended before its windows were up (on a busy machine
# the X server now and then refuses a connection); at most three tries.
measure_retry() {
  local out try
  for try in 1 2 3; do
    if out="$(measure "$@")"; then
      echo "$out"
      return 0
    fi
  done
  return 1
}

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

empty_ms=()
editor_ms=()
empty_rss=0
editor_rss=0
for _ in $(seq "$runs"); do
  read -r t rss < <(measure_retry 1 1 "$empty")
  empty_ms+=("$t"); empty_rss="$rss"
  read -r t rss < <(measure_retry 2 1 "$editor")
  editor_ms+=("$t"); editor_rss="$rss"
done
e="$(printf '%s\n' "${empty_ms[@]}" | median)"
v="$(printf '%s\n' "${editor_ms[@]}" | median)"
# Each project from an empty cache, so that the beat analysis of the song runs too.
rm -rf "$work/cache"
read -r _ rss100 < <(measure_retry 2 4 "$editor" "$work/rows100.rem")
rm -rf "$work/cache"
read -r _ rss10000 < <(measure_retry 2 6 "$editor" "$work/rows10000.rem")

echo "start-up, median of $runs runs (exec to every window mapped):"
printf '  empty Qt window   %5d ms\n' "$e"
printf '  editor            %5d ms   (%s x the empty window; target <= 4.0 x)\n' "$v" "$(awk -v a="$v" -v b="$e" 'BEGIN { printf "%.1f", a / b }')"
echo "peak RSS:"
printf '  empty Qt window            %4d MB\n' "$empty_rss"
printf '  editor, no project         %4d MB\n' "$editor_rss"
printf '  editor, 100-row project    %4d MB\n' "$rss100"
printf '  editor, 10,000-row project %4d MB   (target <= 120 MB)\n' "$rss10000"
