#pragma once
// Media for tests and benchmarks, generated with ffmpeg: named files made on first use
// and kept in a cache folder under the test scratch folder (every test process finds
// them ready after the first), and plain ffmpeg runs for media of a test's own.

#include <QString>
#include <QStringList>

class QImage;

namespace vk::testmedia {

// Runs ffmpeg quietly (no banner, errors only, overwriting) with `args`, the output
// last; false when it fails or takes longer than `timeoutMs`.
bool RunFfmpeg(const QStringList& args, int timeoutMs = 120000);

// Writes `path` with ffmpeg from the input and codec arguments `args`.
bool Generate(const QStringList& args, const QString& path, int timeoutMs = 60000);

// Path of the cached file `name`, made on first use; throws when ffmpeg fails. Names:
// clip30.mp4 (3 s, 30 fps, with sound), clip25.mp4 (2 s, 25 fps), frames25.mp4 (each
// frame's number in its brightness, see FrameNumber), tone.wav, long.wav, beep.wav,
// tone.mp3, cover.mp3 (with a cover picture), soundonly.mp4, still.png, still.jpg,
// still.bmp, click79.wav (a 10 ms 1 kHz click every 500 ms for 7.9 s) and
// notmedia.txt (plain words).
QString File(const QString& name);

// The frame number shown in a picture of "frames25.mp4", -1 for no picture.
int FrameNumber(const QImage& picture);

} // namespace vk::testmedia
