#!/usr/bin/env bash
# Start-up time and memory of the editor beside an empty Qt window, under Xvfb.
#   tools/startbench.sh [build folder] [runs]
# Start-up: from the exec to the moment every window of the process is mapped (the
# editor: the main window and the video panel; the empty program: its one window), the
# median of the runs. Memory: peak RSS (VmHWM) a few seconds after the windows are up,
# with no project, with a 100-row and with a 10,000-row project over a 60 s song, and
# with a 100-row and a 10,000-row project over a 40-minute song (8 kHz mono WAV, a beat
# and a bass line), rows registered on a generated clip. Each project is opened with an
# empty cache, so the song's beat analysis runs; the peak is read once the analysis has
# stored its result (for the 40-minute song the time that took is printed as well).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-5}"
editor="$build/bin/videokadro"
[ -x "$editor" ] || { echo "no editor at $editor (build first)" >&2; exit 1; }
for tool in Xvfb xdpyinfo xdotool ffmpeg; do
  command -v "$tool" >/dev/null || { echo "startbench needs $tool (Debian: xvfb, x11-utils, xdotool, ffmpeg)" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'kill "${xvfb_pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

empty="$build/startbench-emptywindow"
if [ ! -x "$empty" ] || [ "$here/tools/emptywindow.cpp" -nt "$empty" ]; then
  g++ -O2 -fPIC -o "$empty" "$here/tools/emptywindow.cpp" $(pkg-config --cflags --libs Qt6Widgets)
fi

# The media and the projects: a 20 s clip, a 60 s sound clip with rows every 500 ms,
# and a 40-minute song (made once and kept in the build folder; a click on every beat at
# 120 BPM, higher on the first of each bar, over a bass note) with rows every 240 ms.
ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=30 -t 20 -pix_fmt yuv420p "$work/clip.mp4"
ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000 -t 60 "$work/song.wav"
long="$build/startbench-song40min.wav"
if [ ! -s "$long" ]; then
  ffmpeg -v error -y -f lavfi \
    -i "aevalsrc='0.5*exp(-60*mod(t,0.5))*sin(2*PI*if(lt(mod(t,2),0.5),2400,1600)*t)+0.25*sin(2*PI*(110-20*mod(floor(t/2),3))*t)':s=8000:d=2400" \
    -ac 1 -c:a pcm_s16le -f wav "$long.part"
  mv "$long.part" "$long"
fi
make_project() {
  local song="$1" rows="$2" every="$3" out="$4"
  {
    printf '<project version="2_0_1"><soundclip soundfile="%s"/><videoclips>' "$song"
    awk -v n="$rows" -v ms="$every" -v f="$work/clip.mp4" 'BEGIN { for (i = 0; i < n; i++)
      printf "<videoclip soundmsec=\"%d\" videofile=\"%s\" beginmsec=\"%d\" endmsec=\"%d\" intervalmsec=\"33\" rate=\"\" trans=\"\" transmsec=\"\"/>", i * ms, f, (i % 30) * 500, (i % 30) * 500 + 500 }'
    printf '</videoclips></project>'
  } >"$out"
}
make_project "$work/song.wav" 100 500 "$work/rows100.rem"
make_project "$work/song.wav" 10000 500 "$work/rows10000.rem"
make_project "$long" 100 240 "$work/long100.rem"
make_project "$long" 10000 240 "$work/long10000.rem"

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
# in ms; then after `settle` seconds prints its peak RSS in MB, and ends it. A settle of
# "analysis" waits instead until the beat analysis has stored its result in the (empty)
# cache folder, then one second more, and prints the ms from the exec to that result too.
measure() {
  local windows="$1" settle="$2"
  shift 2
  local t0 t1 t2 pid n
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
  t2="$t1"
  if [ "$settle" = analysis ]; then
    until [ -n "$(find "$XDG_CACHE_HOME" -name '*.vkbeats' 2>/dev/null)" ]; do
      kill -0 "$pid" 2>/dev/null || { echo "program ended during the analysis: $*" >&2; return 3; }
      [ $(($(now_ms) - t0)) -lt 120000 ] || { echo "no analysis after 120 s: $*" >&2; break; }
      sleep 0.05
    done
    t2="$(now_ms)"
    sleep 1
  else
    sleep "$settle"
  fi
  local hwm
  hwm="$(awk '/^VmHWM/ { print int($2 / 1024) }' "/proc/$pid/status")"
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  echo "$((t1 - t0)) $hwm $((t2 - t0))"
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
  read -r t rss _ < <(measure_retry 1 1 "$empty")
  empty_ms+=("$t"); empty_rss="$rss"
  read -r t rss _ < <(measure_retry 2 1 "$editor")
  editor_ms+=("$t"); editor_rss="$rss"
done
e="$(printf '%s\n' "${empty_ms[@]}" | median)"
v="$(printf '%s\n' "${editor_ms[@]}" | median)"
# Each project from an empty cache, so that the beat analysis of the song runs too.
rm -rf "$work/cache"
read -r _ rss100 _ < <(measure_retry 2 4 "$editor" "$work/rows100.rem")
rm -rf "$work/cache"
read -r _ rss10000 _ < <(measure_retry 2 6 "$editor" "$work/rows10000.rem")
rm -rf "$work/cache"
read -r _ long100 long100_ms < <(measure_retry 2 analysis "$editor" "$work/long100.rem")
rm -rf "$work/cache"
read -r _ long10000 long10000_ms < <(measure_retry 2 analysis "$editor" "$work/long10000.rem")

echo "start-up, median of $runs runs (exec to every window mapped):"
printf '  empty Qt window   %5d ms\n' "$e"
printf '  editor            %5d ms   (%s x the empty window; target <= 4.0 x)\n' "$v" "$(awk -v a="$v" -v b="$e" 'BEGIN { printf "%.1f", a / b }')"
echo "peak RSS:"
printf '  empty Qt window            %4d MB\n' "$empty_rss"
printf '  editor, no project         %4d MB\n' "$editor_rss"
printf '  editor, 100-row project    %4d MB\n' "$rss100"
printf '  editor, 10,000-row project %4d MB   (target <= 120 MB)\n' "$rss10000"
echo "peak RSS over a 40-minute song (8 kHz mono WAV), the song's analysis included:"
printf '  editor, 100-row project    %4d MB   (analysed %.1f s after the exec)\n' "$long100" "$(awk -v a="$long100_ms" 'BEGIN { print a / 1000 }')"
printf '  editor, 10,000-row project %4d MB   (analysed %.1f s after the exec; target <= 120 MB)\n' "$long10000" "$(awk -v a="$long10000_ms" 'BEGIN { print a / 1000 }')"
