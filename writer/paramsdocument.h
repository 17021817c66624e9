#pragma once
// The writer parameters document the editor hands to T-VideoWrite: where the
// timeline document is, which file to produce (none for a preview), the range
// on the timeline and the compressor / profile choices.

#include <string>

namespace vk {

struct VideoCompressorParams final {
    std::string name;      // "DV Video Encoder" or empty
    long long bitRate = 0; // dwBitRate
    int keyFrameRate = 0;
    int quality = 0;
    int windowSize = 0;
};

struct AudioCompressorParams final {
    std::string name;      // "PCM" or empty
    int samplesPerSec = 0; // 0 (not given) or 8000..192000
    int bitsPerSample = 0; // 0, 8, 16, 24 or 32
    int channels = 0;      // 0, 1 or 2
};

// The MP4 choice: VideoCompressor "H.264" with AudioCompressor "AAC". Only such
// a document carries (and must carry) FrameWidth, FrameHeight and FrameRate;
// VideoQuality is optional. Other documents leave these elements out, and are
// read exactly as before when they have them.
constexpr const char* kMp4VideoCompressor = "H.264";
constexpr const char* kMp4AudioCompressor = "AAC";
constexpr int kMp4DefaultQuality = 18; // x264 constant rate factor

struct Mp4Params final {
    bool requested = false;           // VideoCompressor is "H.264"
    int width = 0;                    // FrameWidth: even, 16..4096
    int height = 0;                   // FrameHeight: even, 16..4096
    double frameRate = 0;             // FrameRate: 29.97, 30, 59.94, 60 ... (above 0, at most 120)
    int quality = kMp4DefaultQuality; // VideoQuality: x264 CRF 0..51, lower is better
};

struct WriterParams final {
    std::string xtlFilePath; // timeline document to render
    std::string aviFileName; // output file; empty means preview
    std::string writeGrfArg; // unused here (a graph dump path of older writers)
    std::string writeXtlArg; // where the engine timeline may be saved for inspection
    long long startMs = 0;   // range on the timeline, milliseconds: 0 <= startMs <= endMs < 2^31;
    long long endMs = 0;     // an end equal to the start means "to the end of the timeline"
    VideoCompressorParams video;
    AudioCompressorParams audio;
    std::string prxFileName; // WMV profile name
    Mp4Params mp4;

    bool isPreview() const { return aviFileName.empty(); }
};

// Reads the parameters document. Returns false and fills `error` with a
// human-readable reason when the file is missing, not XML, has the wrong
// root, or carries a range that is not a number, starts before 0, ends before
// it starts or lies beyond the editor's 32-bit milliseconds, or when
// AudioCompressor gives a sampling rate, bit count or channel count no sound
// of the outputs can have. An MP4 document (see Mp4Params) is refused when one
// of its elements is missing or out of range, or when only one of the two
// compressors names the MP4 choice.
bool loadWriterParams(const std::string& path, WriterParams& out, std::string& error);

// Joins the command-line words into the parameters path: older callers pass
// the path unquoted, so a folder with blanks arrives as several words.
std::string joinCommandLinePath(int argc, const char* const* argv);

} // namespace vk
