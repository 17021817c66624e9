#include "writer/outputformat.h"

#include "writer/paramsdocument.h"
#include "writer/timelinereader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>

namespace vk {

std::string toLower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool endsWithNoCase(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size())
        return false;
    return toLower(text.substr(text.size() - suffix.size())) == toLower(suffix);
}

FrameRate frameRateFromValue(double fps)
{
    if (!(fps > 0))
        return {30, 1};
    if (std::fabs(fps - 29.97) < 0.005)
        return {30000, 1001};
    if (std::fabs(fps - 59.94) < 0.005)
        return {60000, 1001};
    if (std::fabs(fps - 23.976) < 0.0005)
        return {24000, 1001};
    const long long r = std::llround(fps);
    if (std::fabs(fps - double(r)) < 1e-9)
        return {int(r), 1};
    int num = int(std::llround(fps * 1000));
    int den = 1000;
    const int g = std::gcd(num, den);
    return {num / g, den / g};
}

namespace {

struct ProfileRow {
    const char* name;
    int width;
    int height;
    int kbps;
    int channels;
};

// The profiles the editor offers. The bitrate is the number in the name.
constexpr ProfileRow kProfiles[] = {
    {"240-0056k-mono.prx", 240, 176, 56, 1},      {"240-0150k-stereo.prx", 240, 176, 150, 2},
    {"240-0300k-stereo.prx", 240, 176, 300, 2},   {"320-0150k-stereo.prx", 320, 240, 150, 2},
    {"320-0300k-stereo.prx", 320, 240, 300, 2},   {"320-0700k-stereo.prx", 320, 240, 700, 2},
    {"640-0700k-stereo.prx", 640, 480, 700, 2},   {"640-1500k-stereo.prx", 640, 480, 1500, 2},
    {"640-2000k-stereo.prx", 640, 480, 2000, 2},  {"208-259k-pocketpc.prx", 208, 160, 259, 2},
    {"640-2073k-dvd.prx", 640, 480, 2073, 2},     {"1280-5201k-hd.prx", 1280, 720, 5201, 2},
    {"1440-7073k-hd.prx", 1440, 1080, 7073, 2},   {"1920-9073k-hd.prx", 1920, 1080, 9073, 2},
    {"512-1000k-stereo.prx", 512, 384, 1000, 2},  {"512-1500k-stereo.prx", 512, 384, 1500, 2},
    {"512-2000k-stereo.prx", 512, 384, 2000, 2},  {"512h-1000k-stereo.prx", 512, 288, 1000, 2},
    {"512h-1500k-stereo.prx", 512, 288, 1500, 2}, {"512h-2000k-stereo.prx", 512, 288, 2000, 2},
};

// Audio share of a WMV profile's total bitrate.
int audioKbpsFor(int totalKbps, int channels)
{
    if (channels == 1 || totalKbps <= 100)
        return 32;
    if (totalKbps <= 400)
        return 64;
    if (totalKbps <= 1000)
        return 96;
    return 128;
}

} // namespace

WmvProfile wmvProfileFor(const std::string& prxFileName)
{
    // The editor passes a bare name, but accept a folder in front of it.
    std::string name = prxFileName;
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    name = toLower(name);
    for (const ProfileRow& row : kProfiles)
        if (name == row.name)
            return {row.width, row.height, row.kbps, row.channels, true};
    return {640, 480, 2000, 2, false};
}

const char* outputKindName(OutputKind kind)
{
    switch (kind) {
    case OutputKind::Preview:
        return "preview";
    case OutputKind::DvAvi:
        return "DV AVI";
    case OutputKind::RawAvi:
        return "uncompressed AVI";
    case OutputKind::Wav:
        return "WAV";
    case OutputKind::Asf:
        return "ASF";
    case OutputKind::Mp4:
        return "MP4";
    }
    return "?";
}

OutputSettings chooseOutput(const WriterParams& params, const Timeline& timeline)
{
    OutputSettings o;
    o.width = timeline.video.width;
    o.height = timeline.video.height;
    o.rate = frameRateFromValue(timeline.video.frameRate);
    o.sampleRate = timeline.audio.samplingRate > 0 ? timeline.audio.samplingRate : 48000;
    o.channels = 2;
    const std::string& file = params.aviFileName;
    if (file.empty()) {
        o.kind = OutputKind::Preview;
    } else if (params.mp4.requested) {
        // The profile gives size and rate; the timeline's are scaled to it.
        o.kind = OutputKind::Mp4;
        o.width = params.mp4.width;
        o.height = params.mp4.height;
        o.rate = frameRateFromValue(params.mp4.frameRate);
        o.muxer = "mp4";
        o.muxerFlags = "+faststart";
        o.videoCodec = "libx264";
        o.pixelFormat = "yuv420p";
        o.videoPreset = kMp4Preset;
        o.videoCrf = params.mp4.quality;
        o.decoderThreads = 1;
        o.audioCodec = "aac";
        o.audioKbps = 192;
        o.sampleRate = 48000;
        o.channels = 2;
    } else if (endsWithNoCase(file, ".wav")) {
        o.kind = OutputKind::Wav;
        o.muxer = "wav";
        o.audioCodec = "pcm_s16le";
    } else if (endsWithNoCase(file, ".wmv") || endsWithNoCase(file, ".asf")) {
        o.kind = OutputKind::Asf;
        const WmvProfile p = wmvProfileFor(params.prxFileName);
        if (!p.known)
            o.note = "Unknown WMV profile \"" + params.prxFileName + "\": writing 640x480 at 2000 kbps.";
        o.width = p.width;
        o.height = p.height;
        o.channels = p.channels;
        o.muxer = "asf";
        o.videoCodec = "wmv2";
        o.pixelFormat = "yuv420p";
        o.audioCodec = "wmav2";
        o.audioKbps = audioKbpsFor(p.kbps, p.channels);
        o.videoKbps = std::max(16, p.kbps - o.audioKbps);
        o.sampleRate = p.kbps <= 100 ? 22050 : 44100;
    } else if (params.video.name == "DV Video Encoder") {
        o.kind = OutputKind::DvAvi;
        o.width = 720;
        o.height = 480;
        o.rate = {30000, 1001};
        // NTSC DV pixels are narrower than square: 720x480 shows as 4:3.
        o.sampleAspectNum = 8;
        o.sampleAspectDen = 9;
        o.muxer = "avi";
        o.videoCodec = "dvvideo";
        o.pixelFormat = "yuv411p";
        o.audioCodec = "pcm_s16le";
        o.sampleRate = 48000;
        o.channels = 2;
    } else {
        o.kind = OutputKind::RawAvi;
        o.muxer = "avi";
        o.videoCodec = "rawvideo";
        o.pixelFormat = "bgr24";
        o.audioCodec = "pcm_s16le";
        if (params.audio.name == "PCM") {
            if (params.audio.samplesPerSec > 0)
                o.sampleRate = params.audio.samplesPerSec;
            if (params.audio.channels == 1 || params.audio.channels == 2)
                o.channels = params.audio.channels;
        }
    }
    if (o.kind == OutputKind::Wav || o.kind == OutputKind::DvAvi) {
        if (params.audio.name == "PCM" && params.audio.samplesPerSec > 0 && o.kind == OutputKind::Wav)
            o.sampleRate = params.audio.samplesPerSec;
    }
    // Display aspect follows from the picture size and the pixel aspect.
    long long dn = 1LL * o.width * o.sampleAspectNum;
    long long dd = 1LL * o.height * o.sampleAspectDen;
    const long long g = std::gcd(dn, dd);
    o.displayAspectNum = int(dn / g);
    o.displayAspectDen = int(dd / g);
    // Encoders want even sizes.
    if (o.kind == OutputKind::Asf || o.kind == OutputKind::DvAvi || o.kind == OutputKind::Mp4) {
        o.width &= ~1;
        o.height &= ~1;
    }
    return o;
}

} // namespace vk
