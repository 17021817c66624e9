#!/usr/bin/env bash
# Render throughput of T-VideoWrite against melt (on the engine timeline that
# T-VideoWrite saves through WriteXtlArg) and against a plain ffmpeg cut and
# concat of the same spans. One generated timeline: 30 s, 60 clips, 640x480,
# 30 fps, uncompressed AVI with PCM sound (the editor's "640x480 30fps" output).
#
#   writer/bench.sh [path/to/T-VideoWrite]     (default: build-writer/bin)
#
# Prints frames per second of each and the ratios. Needs ffmpeg, ffprobe, melt.
set -euo pipefail

WRITER=${1:-$(dirname "$0")/../../build-writer/bin/T-VideoWrite}
WRITER=$(readlink -f "$WRITER")
[ -x "$WRITER" ] || { echo "T-VideoWrite not found: $WRITER" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vk-bench-XXXXXX")
[ -n "${VK_BENCH_KEEP:-}" ] || trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

FPS=30; W=640; H=480; CLIPS=60; LEN=0.5   # 60 x 0.5 s = 30 s
echo "generating sources in $WORK ..."
for i in 1 2; do
  ffmpeg -v error -y -f lavfi -i "testsrc2=s=${W}x${H}:r=${FPS}:d=40" -f lavfi -i "sine=f=$((200*i)):d=40" \
    -c:v libx264 -preset veryfast -g 30 -pix_fmt yuv420p -c:a aac -shortest "src$i.mp4"
done
ffmpeg -v error -y -f lavfi -i "sine=f=440:d=30:sample_rate=48000" -ac 2 song.wav

# Clip k: source 1 or 2, media start moving through the file, every third clip
# at double speed (1 s of media in 0.5 s), every tenth opens a track with a fade.
python3 - "$CLIPS" "$LEN" <<'PY' > spans.txt
import sys
n, ln = int(sys.argv[1]), float(sys.argv[2])
for k in range(n):
    speed = 2.0 if k % 3 == 2 else 1.0
    src = 1 + k % 2
    mstart = round((k * 0.61) % 30, 3)
    print(src, f"{k*ln:.3f}", f"{(k+1)*ln:.3f}", f"{mstart:.3f}", f"{mstart+ln*speed:.3f}", 1 if (k % 10 == 9) else 0)
PY

{
  echo -n "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"$FPS\" width=\"$W\" height=\"$H\"><track>"
  while read -r src start stop ms me fade; do
    if [ "$fade" = 1 ]; then
      echo -n "</track><track><clip start=\"$start\" stop=\"$stop\" mstart=\"$ms\" mstop=\"$me\" src=\"$WORK/src$src.mp4\"/><transition start=\"$start\" stop=\"$(python3 -c "print($start+0.2)")\" clsid=\"{16B280C5-EE70-11D1-9066-00C04FD9189D}\"/>"
    else
      echo -n "<clip start=\"$start\" stop=\"$stop\" mstart=\"$ms\" mstop=\"$me\" src=\"$WORK/src$src.mp4\"/>"
    fi
  done < spans.txt
  echo -n "</track></group><group type=\"audio\" samplingrate=\"48000\"><track>"
  echo -n "<clip mstart=\"0\" mstop=\"30\" start=\"0\" stop=\"30\" src=\"$WORK/song.wav\"/>"
  echo "</track></group></timeline>"
} > timeline.xml

cat > params.xml <<XML
<params><XtlFilePath>$WORK/timeline.xml</XtlFilePath><AviFileName>$WORK/writer.avi</AviFileName><WriteGrfArg></WriteGrfArg><WriteXtlArg>$WORK/engine.mlt</WriteXtlArg><StartPoint>0</StartPoint><EndPoint>30000</EndPoint><VideoCompressor dwBitRate="0" KeyFrameRate="0" Quality="0" WindowSize="0"></VideoCompressor><AudioCompressor nSamplesPerSec="0" wBitsPerSample="0" nChannels="0"></AudioCompressor><PrxFileName>640-2000k-stereo.prx</PrxFileName></params>
XML

now() { date +%s.%N; }
frames() { ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }

echo "rendering with T-VideoWrite ..."
t0=$(now); VK_WRITER_THREADS=${VK_WRITER_THREADS:-} VK_WRITER_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen "$WRITER" "$WORK/params.xml" > writer.log 2>&1; t1=$(now)
writer_s=$(python3 -c "print($t1-$t0)"); writer_n=$(frames writer.avi)

echo "rendering the same engine timeline with melt ..."
t0=$(now)
melt -quiet engine.mlt -consumer avformat:"$WORK/melt.avi" f=avi vcodec=rawvideo pix_fmt=bgr24 acodec=pcm_s16le \
  ar=48000 ac=2 real_time=-1 terminate_on_pause=1 > melt.log 2>&1
t1=$(now)
melt_s=$(python3 -c "print($t1-$t0)"); melt_n=$(frames melt.avi)

echo "cutting and joining the same spans with ffmpeg ..."
args=(); graph=""; i=0
while read -r src start stop ms me fade; do
  args+=(-ss "$ms" -t "$(python3 -c "print(round($me-$ms,3))")" -i "$WORK/src$src.mp4")
  speed=$(python3 -c "print(($me-$ms)/($stop-$start))")
  graph+="[$i:v]setpts=(PTS-STARTPTS)/$speed,fps=$FPS,scale=${W}:${H},trim=duration=$(python3 -c "print($stop-$start)"),setpts=PTS-STARTPTS[v$i];"
  i=$((i+1))
done < spans.txt
for ((k=0; k<i; k++)); do graph+="[v$k]"; done
graph+="concat=n=$i:v=1:a=0[v]"
t0=$(now)
ffmpeg -v error -y "${args[@]}" -i "$WORK/song.wav" -filter_complex "$graph" -map "[v]" -map "$i:a" \
  -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ar 48000 ffmpeg.avi
t1=$(now)
ffmpeg_s=$(python3 -c "print($t1-$t0)"); ffmpeg_n=$(frames ffmpeg.avi)

python3 - "$writer_n" "$writer_s" "$melt_n" "$melt_s" "$ffmpeg_n" "$ffmpeg_s" <<'PY'
import sys
wn, ws, mn, ms, fn, fs = map(float, sys.argv[1:])
w, m, f = wn / ws, mn / ms, fn / fs
print(f"T-VideoWrite: {int(wn)} frames in {ws:.2f} s = {w:.0f} fps")
print(f"melt:         {int(mn)} frames in {ms:.2f} s = {m:.0f} fps")
print(f"ffmpeg:       {int(fn)} frames in {fs:.2f} s = {f:.0f} fps")
print(f"T-VideoWrite / melt   = {w/m:.2f}  (target >= 1.00)")
print(f"T-VideoWrite / ffmpeg = {w/f:.2f}  (target >= 1.10)")
PY
