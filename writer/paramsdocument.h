#pragma once
// The writer parameters document the editor hands to T-VideoWrite: where the
// timeline document is, which file to produce (none for a preview), the range
// on the timeline and the compressor / profile choices.

#include <string>

namespace vk {

struct VideoCompressorParams final {
    std::string name;       // "DV Video Encoder" or empty
    long long bitRate = 0;  // dwBitRate
    int keyFrameRate = 0;
    int quality = 0;
    int windowSize = 0;
};

struct AudioCompressorParams final {
    std::string name;  // "PCM" or empty
    int samplesPerSec = 0;
    int bitsPerSample = 0;
    int channels = 0;
};

struct WriterParams final {
    std::string xtlFilePath;   // timeline document to render
    std::string aviFileName;   // output file; empty means preview
    std::string writeGrfArg;   // unused here (a graph dump path of older writers)
    std::string writeXtlArg;   // where the engine timeline may be saved for inspection
    long long startMs = 0;     // range on the timeline, milliseconds
    long long endMs = 0;
    VideoCompressorParams video;
    AudioCompressorParams audio;
    std::string prxFileName;   // WMV profile name

    bool isPreview() const { return aviFileName.empty(); }
};

// Reads the parameters document. Returns false and fills `error` with a
// human-readable reason when the file is missing, not XML, has the wrong
// root, or carries a range that is not a number.
bool loadWriterParams(const std::string& path, WriterParams& out, std::string& error);

// Joins the command-line words into the parameters path: older callers pass
// the path unquoted, so a folder with blanks arrives as several words.
std::string joinCommandLinePath(int argc, const char* const* argv);

}  // namespace vk
