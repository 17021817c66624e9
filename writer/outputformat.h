#pragma once
// What file T-VideoWrite produces: chosen from the compressors of the
// parameters document and the extension of the output file, plus the WMV
// profile table (profile file name -> picture size and bitrate).

#include <string>

namespace vk {

struct WriterParams;
struct Timeline;

enum class OutputKind { Preview, DvAvi, RawAvi, Wav, Asf, Mp4 };

struct FrameRate final {
    int num = 30;
    int den = 1;
    double value() const { return double(num) / den; }
};

// 29.97 in the timeline document means NTSC 30000/1001; other rates are kept
// as written (to a thousandth).
FrameRate frameRateFromValue(double fps);

struct WmvProfile final {
    int width = 640;
    int height = 480;
    int kbps = 2000; // total bitrate named in the profile
    int channels = 2;
    bool known = true;
};

// Maps a profile file name ("640-1500k-stereo.prx", "1280-5201K-HD.PRX", ...)
// to its picture size and bitrate. Names compare case-insensitively; an unknown
// name gives 640x480 at 2000 kbps stereo with known = false.
WmvProfile wmvProfileFor(const std::string& prxFileName);

struct OutputSettings final {
    OutputKind kind = OutputKind::Preview;
    int width = 0;
    int height = 0;
    FrameRate rate;
    int sampleAspectNum = 1; // pixel aspect of the output picture
    int sampleAspectDen = 1;
    int displayAspectNum = 4;
    int displayAspectDen = 3;
    int sampleRate = 48000;
    int channels = 2;
    std::string muxer;      // avformat muxer name ("avi", "asf", "wav")
    std::string videoCodec; // empty for audio-only output
    std::string pixelFormat;
    std::string audioCodec;
    int videoKbps = 0; // 0 for codecs without a bitrate
    int audioKbps = 0;
    // H.264 only: constant-quality coding and encoder speed (the profile,
    // High, follows from these); muxer flags ("+faststart": the index in
    // front of the media data).
    int videoCrf = -1;
    std::string videoPreset;
    std::string muxerFlags;
    // Threads each video source is decoded with. Two (frame threads) where the
    // decoder limits the render; one where the encoder does (H.264), as the
    // second thread then only adds its own hand-over work to every frame.
    int decoderThreads = 2;
    std::string note; // a remark to print (unknown profile and so on)
};

std::string toLower(std::string s);
bool endsWithNoCase(const std::string& text, const std::string& suffix);

// The x264 speed preset of MP4 output (see writer/README.md, "MP4").
constexpr const char* kMp4Preset = "veryfast";

OutputSettings chooseOutput(const WriterParams& params, const Timeline& timeline);

const char* outputKindName(OutputKind kind);

} // namespace vk
