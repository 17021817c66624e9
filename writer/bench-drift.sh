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
# Prints per output: flashes and clicks found; the click's time after the
# start of its flash frame (smallest, largest); and its error, the distance
# from where the beat lies inside that frame, over all beats and as means
# over the first and last twenty beats, whose difference is the drift.
# Target: every offset within one frame, the same error at the end as at the
# start.
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
# Each flash against its click. The beat that made the flash lies at a known
# place inside the flash frame; "error" is how far the click is from there.
beat = 60.0 / float(sys.argv[2])
offsets, errors = [], []
for f in flashes:
    index = round((f - vstart) / frame)
    k = int(index * frame / beat)
    while (k + 1) * beat < (index + 1) * frame:
        k += 1
    phase = k * beat - index * frame   # where the beat lies in its frame
    if not clicks:
        break
    c = min(clicks, key=lambda t: abs(t - f - phase))
    offsets.append((c - f) * 1000)
    errors.append((c - f - phase) * 1000)
if not offsets:
    print(f"{path}: no flashes or clicks found"); sys.exit(0)
n = min(20, len(errors))
first, last = sum(errors[:n]) / n, sum(errors[-n:]) / n
print(f"{path}: {len(flashes)} flashes, {len(clicks)} clicks, frame {frame*1000:.2f} ms")
print(f"  click after the start of its flash frame: {min(offsets):.1f} .. {max(offsets):.1f} ms, "
      f"largest {max(abs(o) for o in offsets):.1f} ms (target <= {frame*1000:.1f})")
print(f"  click against its beat's place in the frame: {min(errors):+.2f} .. {max(errors):+.2f} ms; "
      f"first {n} beats {first:+.2f} ms, last {n} {last:+.2f} ms, drift {last-first:+.2f} ms")
PY
done
