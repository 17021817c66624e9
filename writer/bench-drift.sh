#!/usr/bin/env bash
# Sound against picture over a long render. A generated song of clicks, one
# on every beat (126 BPM, so beats fall anywhere inside frames), and a video
# that flashes white on every frame that holds a beat; five minutes of both
# rendered by T-VideoWrite to MP4 (the "640x360 29.97fps" profile) and to
# DV AVI. In each output every flash is paired with its click and the click's
# time is measured from the start of the flash frame: it must lie inside that
# frame (0 .. one frame), and stay where it was at the start until the end.
#
#   writer/bench-drift.sh [path/to/T-VideoWrite]     (default: build-writer/bin)
#
# Prints per output: flashes and clicks found, the smallest and largest
# offset, the mean offset over the first and the last twenty beats and their
# difference (the drift). Target: every offset within one frame, no drift.
# VK_BENCH_SECONDS (default 300) changes the length; VK_BENCH_KEEP=1 keeps the
# work folder. Needs ffmpeg, ffprobe and python3.
set -euo pipefail

WRITER=${1:-$(dirname "$0")/../../build-writer/bin/T-VideoWrite}
WRITER=$(readlink -f "$WRITER")
[ -x "$WRITER" ] || { echo "T-VideoWrite not found: $WRITER" >&2; exit 1; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vk-bench-drift-XXXXXX")
[ -n "${VK_BENCH_KEEP:-}" ] || trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
SECONDS_LONG=${VK_BENCH_SECONDS:-300}
BPM=126

echo "generating a ${SECONDS_LONG} s song of clicks and its flashing video in $WORK ..."
# The song: a 4 ms burst of 2 kHz on every beat, silence between.
python3 - "$SECONDS_LONG" "$BPM" <<'PY'
import math, struct, sys, wave
secs, bpm = float(sys.argv[1]), float(sys.argv[2])
rate = 48000
n = int(secs * rate)
beat = 60.0 / bpm
pcm = bytearray(n * 4)
k = 0
while k * beat < secs:
    start = int(round(k * beat * rate))
    for i in range(int(0.004 * rate)):
        if start + i >= n:
            break
        v = int(20000 * math.sin(2 * math.pi * 2000 * i / rate))
        struct.pack_into("<hh", pcm, (start + i) * 4, v, v)
    k += 1
with wave.open("song.wav", "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate); w.writeframes(bytes(pcm))
PY
# The video at 30000/1001: frame f covers [f, f+1) * 1001/30000 s and is white
# when a beat falls inside it.
python3 - "$SECONDS_LONG" "$BPM" <<'PY' | ffmpeg -v error -y -f rawvideo -pix_fmt gray -s 160x120 -r 30000/1001 -i - -c:v ffv1 flash.mkv
import math, sys
secs, bpm = float(sys.argv[1]), float(sys.argv[2])
beat = 60.0 / bpm
frames = int(math.floor(secs * 30000 / 1001))
flash = set()
k = 0
while k * beat < secs:
    flash.add(int(math.floor(k * beat * 30000 / 1001 + 1e-9)))
    k += 1
black, white = bytes(160 * 120), bytes([255]) * (160 * 120)
out = sys.stdout.buffer
for f in range(frames):
    out.write(white if f in flash else black)
PY

cat > timeline.xml <<XML
<timeline><group type="video" framerate="29.97" width="640" height="480"><track><clip start="0" stop="$SECONDS_LONG" mstart="0" mstop="$SECONDS_LONG" src="$WORK/flash.mkv"/></track></group><group type="audio" samplingrate="48000"><track><clip mstart="0" mstop="$SECONDS_LONG" start="0" stop="$SECONDS_LONG" src="$WORK/song.wav"/></track></group></timeline>
XML
params() {  # output, compressors and extra elements
  echo "<params><XtlFilePath>$WORK/timeline.xml</XtlFilePath><AviFileName>$WORK/$1</AviFileName><WriteGrfArg></WriteGrfArg><WriteXtlArg></WriteXtlArg><StartPoint>0</StartPoint><EndPoint>$((SECONDS_LONG * 1000))</EndPoint>$2<PrxFileName></PrxFileName></params>"
}
params out.mp4 '<VideoCompressor>H.264</VideoCompressor><AudioCompressor>AAC</AudioCompressor><FrameWidth>640</FrameWidth><FrameHeight>360</FrameHeight><FrameRate>29.97</FrameRate>' > mp4.xml
params out.avi '<VideoCompressor>DV Video Encoder</VideoCompressor><AudioCompressor nSamplesPerSec="48000" wBitsPerSample="16" nChannels="2">PCM</AudioCompressor>' > dv.xml

for kind in mp4 dv; do
  echo "rendering $kind ..."
  VK_WRITER_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen "$WRITER" "$WORK/$kind.xml" > "$kind.log" 2>&1 || { tail "$kind.log"; exit 1; }
  grep '^check' "$kind.log" || true
done

for out in out.mp4 out.avi; do
python3 - "$out" "$BPM" <<'PY'
import struct, subprocess, sys
path = sys.argv[1]
def probe(sel, entry):
    r = subprocess.run(["ffprobe", "-v", "error", "-select_streams", sel, "-show_entries", entry,
                        "-of", "csv=p=0", path], capture_output=True, text=True).stdout.strip()
    return r
num, den = map(int, probe("v:0", "stream=r_frame_rate").split("/"))
frame = den / num
vstart = float(probe("v:0", "stream=start_time") or 0)
astart = float(probe("a:0", "stream=start_time") or 0)
# Pictures: mean brightness of each decoded frame (every stored frame once).
raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-fps_mode", "passthrough", "-vf",
                      "scale=16:12,format=gray", "-f", "rawvideo", "-"], capture_output=True).stdout
size = 16 * 12
levels = [sum(raw[i:i + size]) / size for i in range(0, len(raw) - size + 1, size)]
flashes = [vstart + i * frame for i, v in enumerate(levels) if v > 128]
# Sound: the first sample of each burst (above a threshold after 10 ms of quiet).
pcm = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-ac", "1", "-ar", "48000", "-f", "s16le",
                      "-"], capture_output=True).stdout
s = struct.unpack("<%dh" % (len(pcm) // 2), pcm)
clicks, quiet = [], 480
for i, v in enumerate(s):
    if abs(v) > 3000:
        if quiet >= 480:
            clicks.append(astart + i / 48000)
        quiet = 0
    else:
        quiet += 1
offsets = []
j = 0
for f in flashes:
    while j + 1 < len(clicks) and abs(clicks[j + 1] - f - frame / 2) < abs(clicks[j] - f - frame / 2):
        j += 1
    if clicks:
        offsets.append(clicks[j] - f)
if not offsets:
    print(f"{path}: no flashes or clicks found"); sys.exit(0)
ms = [o * 1000 for o in offsets]
n = min(20, len(ms))
first, last = sum(ms[:n]) / n, sum(ms[-n:]) / n
worst = max(max(ms) - frame * 1000, -min(ms), 0)
print(f"{path}: {len(flashes)} flashes, {len(clicks)} clicks, frame {frame*1000:.2f} ms")
print(f"  click after the flash frame's start: {min(ms):.1f} .. {max(ms):.1f} ms "
      f"(inside the frame: 0 .. {frame*1000:.1f}); outside by at most {worst:.1f} ms")
print(f"  mean over the first {n} beats {first:.1f} ms, over the last {n} {last:.1f} ms, drift {last-first:+.1f} ms")
PY
done
