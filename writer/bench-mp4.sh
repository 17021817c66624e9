#!/usr/bin/env bash
# What writing MP4 through T-VideoWrite costs on top of the H.264 encoder
# itself. One generated timeline (as in bench.sh: 30 s, 60 clips of two
# 640x480 H.264 sources, every third at double speed, a fade every tenth)
# rendered by T-VideoWrite to the editor's "1920x1080 30fps" MP4 profile,
# against ffmpeg alone encoding the very same pictures (rendered once
# beforehand, losslessly, and decoded into a raw 4:2:0 file) and the same
# sound with the writer's x264 and AAC settings and the same thread count (0:
# the encoder's own choice, as the writer leaves it).
#
#   writer/bench-mp4.sh [path/to/T-VideoWrite]     (default: build-writer/bin)
#
# Times the two in turn VK_BENCH_RUNS times (default 5) and prints each pair
# (wall and processor time) and the medians of the ratios (target:
# T-VideoWrite <= 1.15x the encoder).
# VK_BENCH_PRESETS="superfast veryfast faster fast" also times the encoder
# alone at each of these presets on the same raw pictures and prints the file
# size and the PSNR against the raw pictures, for choosing the writer's preset.
# VK_BENCH_KEEP=1 keeps the work folder. Needs ffmpeg, ffprobe and GNU time.
set -euo pipefail

WRITER=${1:-$(dirname "$0")/../../build-writer/bin/T-VideoWrite}
WRITER=$(readlink -f "$WRITER")
[ -x "$WRITER" ] || { echo "T-VideoWrite not found: $WRITER" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vk-bench-mp4-XXXXXX")
[ -n "${VK_BENCH_KEEP:-}" ] || trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# The writer's MP4 settings (writer/outputformat.cpp, writer/paramsdocument.h).
PRESET=${VK_BENCH_WRITER_PRESET:-veryfast}; CRF=18
OW=1920; OH=1080; FPS=30; W=640; H=480; CLIPS=60; LEN=0.5   # 60 x 0.5 s = 30 s
echo "generating sources in $WORK ..."
for i in 1 2; do
  ffmpeg -v error -y -f lavfi -i "testsrc2=s=${W}x${H}:r=${FPS}:d=40" -f lavfi -i "sine=f=$((200*i)):d=40" \
    -c:v libx264 -preset veryfast -g 30 -pix_fmt yuv420p -c:a aac -shortest "src$i.mp4"
done
ffmpeg -v error -y -f lavfi -i "sine=f=440:d=30:sample_rate=48000" -ac 2 song.wav

python3 - "$CLIPS" "$LEN" "$WORK" "$FPS" "$W" "$H" <<'PY' > timeline.xml
import sys
n, ln, work, fps, w, h = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]
out = [f'<timeline><group type="video" framerate="{fps}" width="{w}" height="{h}"><track>']
for k in range(n):
    speed = 2.0 if k % 3 == 2 else 1.0
    src = f"{work}/src{1 + k % 2}.mp4"
    ms = round((k * 0.61) % 30, 3)
    a, b = k * ln, (k + 1) * ln
    clip = f'<clip start="{a:.3f}" stop="{b:.3f}" mstart="{ms:.3f}" mstop="{ms + ln * speed:.3f}" src="{src}"/>'
    if k % 10 == 9:
        out.append(f'</track><track>{clip}<transition start="{a:.3f}" stop="{a + 0.2:.3f}" '
                   'clsid="{16B280C5-EE70-11D1-9066-00C04FD9189D}"/>')
    else:
        out.append(clip)
out.append(f'</track></group><group type="audio" samplingrate="48000"><track>'
           f'<clip mstart="0" mstop="30" start="0" stop="30" src="{work}/song.wav"/></track></group></timeline>')
print("".join(out))
PY

cat > params.xml <<XML
<params><XtlFilePath>$WORK/timeline.xml</XtlFilePath><AviFileName>$WORK/writer.mp4</AviFileName><WriteGrfArg></WriteGrfArg><WriteXtlArg></WriteXtlArg><StartPoint>0</StartPoint><EndPoint>30000</EndPoint><VideoCompressor dwBitRate="0" KeyFrameRate="0" Quality="0" WindowSize="0">H.264</VideoCompressor><AudioCompressor nSamplesPerSec="48000" wBitsPerSample="16" nChannels="2">AAC</AudioCompressor><PrxFileName></PrxFileName><FrameWidth>$OW</FrameWidth><FrameHeight>$OH</FrameHeight><FrameRate>$FPS</FrameRate><VideoQuality>$CRF</VideoQuality></params>
XML

now() { date +%s.%N; }
frames() { ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$1"; }
render() {  # parameters document, log; CPU_OUT=file records user and system seconds
  VK_WRITER_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen /usr/bin/time -f "%U %S" -o "${CPU_OUT:-/dev/null}" "$WRITER" "$1" > "$2" 2>&1
}

# The pictures the writer hands its encoder, exactly: the same render once
# more with x264 at constant rate factor 0, which is lossless for 8-bit
# pictures (High 4:4:4 Predictive), decoded into a raw 4:2:0 file. (Decoding
# the crf 18 file instead would hand ffmpeg slightly softer pictures, which
# x264 encodes about 7 % faster.)
echo "rendering the pictures once, losslessly, for the encoder alone ..."
sed -e "s#<VideoQuality>$CRF</VideoQuality>#<VideoQuality>0</VideoQuality>#" -e "s#$WORK/writer.mp4#$WORK/lossless.mp4#" \
  params.xml > lossless.xml
render lossless.xml lossless.log
profile=$(ffprobe -v error -select_streams v:0 -show_entries stream=profile -of csv=p=0 lossless.mp4)
[ "$profile" = "High 4:4:4 Predictive" ] || { echo "the reference render is not lossless ($profile)" >&2; exit 1; }
ffmpeg -v error -y -i lossless.mp4 -map 0:v -f rawvideo -pix_fmt yuv420p frames.yuv
cat frames.yuv > /dev/null   # in the page cache, so the encoder does not wait for the disk

encode() {  # preset, output; CPU_OUT=file records user and system seconds
  /usr/bin/time -f "%U %S" -o "${CPU_OUT:-/dev/null}" ffmpeg -v error -y -f rawvideo -pix_fmt yuv420p -s ${OW}x${OH} -r $FPS -i frames.yuv -i song.wav \
    -map 0:v -map 1:a -c:v libx264 -preset "$1" -crf $CRF -pix_fmt yuv420p -threads 0 \
    -c:a aac -b:a 192k -ar 48000 -ac 2 -movflags +faststart "$2"
}

# The two in turn, RUNS times, so that a change in the machine's speed
# (other work on a shared machine) falls on both alike; the ratio of each
# pair is taken, and the median of the pairs is the figure.
RUNS=${VK_BENCH_RUNS:-5}
echo "timing T-VideoWrite (MP4 ${OW}x${OH} ${FPS} fps, x264 $PRESET crf $CRF) against ffmpeg alone, $RUNS times each in turn ..."
: > pairs.txt
for run in $(seq "$RUNS"); do
  t0=$(now); CPU_OUT=writer.cpu render params.xml writer.log; t1=$(now)
  grep -q '^check: 900/900 frames' writer.log || { cat writer.log >&2; echo "the render failed its check" >&2; exit 1; }
  t2=$(now); CPU_OUT=ffmpeg.cpu encode "$PRESET" ffmpeg.mp4; t3=$(now)
  echo "$(python3 -c "print($t1-$t0, $t3-$t2)") $(cat writer.cpu) $(cat ffmpeg.cpu)" >> pairs.txt
done
grep '^check' writer.log
writer_n=$(frames writer.mp4); ffmpeg_n=$(frames ffmpeg.mp4)

# Wall time is what the user waits for, but on a shared machine it depends on
# the other work; the processor time (user + system) does not as much.
python3 - "$writer_n" "$ffmpeg_n" <<'PY'
import statistics, sys
wn, fn = map(int, sys.argv[1:3])
rows = [list(map(float, l.split())) for l in open("pairs.txt")]
for i, (ws, fs, wu, wsys, fu, fsys) in enumerate(rows, 1):
    print(f"run {i}: T-VideoWrite {ws:6.2f} s ({wu + wsys:6.2f} s processor), encoder alone {fs:6.2f} s "
          f"({fu + fsys:6.2f} s processor): {ws / fs:.2f}x the time, {(wu + wsys) / (fu + fsys):.2f}x the processor time")
med = statistics.median
ws, fs = med(r[0] for r in rows), med(r[1] for r in rows)
wc, fc = med(r[2] + r[3] for r in rows), med(r[4] + r[5] for r in rows)
print(f"T-VideoWrite:  {wn} frames, median {ws:.2f} s = {wn / ws:.1f} fps, processor {wc:.2f} s")
print(f"encoder alone: {fn} frames, median {fs:.2f} s = {fn / fs:.1f} fps, processor {fc:.2f} s")
print(f"T-VideoWrite / encoder alone, median of the pairs = {med(r[0] / r[1] for r in rows):.2f}x the time, "
      f"{med((r[2] + r[3]) / (r[4] + r[5]) for r in rows):.2f}x the processor time  (target <= 1.15)")
PY

for p in ${VK_BENCH_PRESETS:-}; do
  t0=$(now); encode "$p" "preset-$p.mp4"; t1=$(now)
  psnr=$(ffmpeg -v info -f rawvideo -pix_fmt yuv420p -s ${OW}x${OH} -r $FPS -i frames.yuv -i "preset-$p.mp4" \
           -map 1:v -map 0:v -lavfi "[0:v][1:v]psnr" -f null - 2>&1 | sed -n 's/.*average:\([0-9.inf]*\).*/\1/p')
  python3 - "$p" "$t0" "$t1" "$(stat -c %s "preset-$p.mp4")" "$psnr" "$ffmpeg_n" <<'PY'
import sys
p, t0, t1, size, psnr, n = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4]), sys.argv[5], int(sys.argv[6])
print(f"preset {p:10s} {t1-t0:6.2f} s  {n/(t1-t0):5.1f} fps  {size/1e6:6.1f} MB  PSNR {psnr} dB")
PY
done
