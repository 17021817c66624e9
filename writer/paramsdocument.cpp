#include "writer/paramsdocument.h"

#include "writer/numbertext.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vk {

namespace {

bool parseInteger(const char* text, long long& out)
{
    std::string s(text ? text : "");
    // Trim blanks the document may carry around the number.
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return false;
    s = s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != '\0') {
        // Accept a decimal fraction ("1500.0") by rounding it.
        double d = 0;
        if (!parseNumberText(s, d) || !(d <= 9.2e18 && d >= -9.2e18))
            return false;
        out = static_cast<long long>(d < 0 ? d - 0.5 : d + 0.5);
        return true;
    }
    out = v;
    return true;
}

int intAttribute(const pugi::xml_node& node, const char* name)
{
    long long v = 0;
    if (!parseInteger(node.attribute(name).value(), v))
        return 0;
    if (v > 2147483647LL || v < -2147483647LL - 1)
        return 0;
    return static_cast<int>(v);
}

std::string trimmed(const char* text)
{
    std::string s(text ? text : "");
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool parseNumber(const std::string& s, double& out)
{
    double d = 0;
    if (!parseNumberText(s, d) || !std::isfinite(d))
        return false;
    out = d;
    return true;
}

// The range on the timeline: the editor keeps its times in 32-bit milliseconds from
// the start of the sound, and its end is never before its start (an end equal to the
// start asks for everything from the start on). Anything else is no range: read as
// one, a start before 0 or an end before the start renders something else than what
// was asked for.
constexpr long long kMaxPointMs = 2147483647;

bool checkRange(const pugi::xml_node& root, long long startMs, long long endMs, std::string& error)
{
    const struct {
        const char* name;
        const char* caption;
        long long value;
    } points[] = {{"StartPoint", "開始位置", startMs}, {"EndPoint", "終了位置", endMs}};
    for (const auto& point : points)
        if (point.value < 0 || point.value > kMaxPointMs) {
            error = std::string(point.caption) + "（" + point.name + "）の値が正しくありません: \"" +
                    trimmed(root.child_value(point.name)) + "\"（0〜" + std::to_string(kMaxPointMs) + " のミリ秒）";
            return false;
        }
    if (endMs < startMs) {
        error = "終了位置（EndPoint）\"" + trimmed(root.child_value("EndPoint")) + "\" が開始位置（StartPoint）\"" +
                trimmed(root.child_value("StartPoint")) + "\" より前です。";
        return false;
    }
    return true;
}

// The sound attributes of AudioCompressor. The editor writes 0 in all three when it
// names no sound format, and the values of stereo 16-bit 48 kHz sound when it does;
// a value no sound can have is refused, whatever the compressor.
struct SoundAttribute {
    const char* name;
    bool (*fits)(long long);
    const char* allowed;
};

constexpr SoundAttribute kSamplesPerSec{"nSamplesPerSec", [](long long v) { return v >= 8000 && v <= 192000; },
                                        "8000〜192000 の整数"};
constexpr SoundAttribute kBitsPerSample{"wBitsPerSample", [](long long v) { return v >= 8 && v <= 32 && v % 8 == 0; },
                                        "8、16、24、32 のいずれか"};
// The outputs are mono or stereo.
constexpr SoundAttribute kChannels{"nChannels", [](long long v) { return v == 1 || v == 2; }, "1 か 2"};

// Absent or empty is 0, "not given".
bool readSoundAttribute(const pugi::xml_node& ac, const SoundAttribute& a, int& out, std::string& error)
{
    const std::string text = trimmed(ac.attribute(a.name).value());
    out = 0;
    if (text.empty())
        return true;
    double d = 0;
    if (parseNumber(text, d) && d == std::floor(d) && std::fabs(d) <= 2147483647.0 &&
        (d == 0 || a.fits(static_cast<long long>(d)))) {
        out = static_cast<int>(d);
        return true;
    }
    error = std::string("音声圧縮（AudioCompressor）の ") + a.name + " の値が正しくありません: \"" + text + "\"（" +
            a.allowed + "、指定しないときは 0）";
    return false;
}

// The MP4 elements of an H.264 / AAC document; false with a message when one
// is missing or out of range.
bool readMp4Params(const pugi::xml_node& root, const std::string& audioName, Mp4Params& mp4, std::string& error)
{
    if (audioName != kMp4AudioCompressor) {
        error = std::string("MP4 の音声圧縮（AudioCompressor）には \"") + kMp4AudioCompressor +
                "\" を指定してください: \"" + audioName + "\"";
        return false;
    }
    struct Element {
        const char* name;
        const char* caption;
        bool required;
    };
    auto text = [&](const Element& e, std::string& value) {
        const pugi::xml_node node = root.child(e.name);
        value = trimmed(node.child_value());
        if (node && !value.empty())
            return true;
        if (e.required)
            error =
                std::string("MP4 の作成に必要な ") + e.name + "（" + e.caption + "）がパラメータファイルにありません。";
        return false;
    };
    auto bad = [&](const Element& e, const std::string& value, const char* allowed) {
        error =
            std::string(e.name) + "（" + e.caption + "）の値が正しくありません: \"" + value + "\"（" + allowed + "）";
        return false;
    };
    const Element widthEl{"FrameWidth", "フレームの幅", true}, heightEl{"FrameHeight", "フレームの高さ", true};
    const Element rateEl{"FrameRate", "フレームレート", true}, qualityEl{"VideoQuality", "画質", false};
    for (const Element* e : {&widthEl, &heightEl}) {
        std::string value;
        if (!text(*e, value))
            return false;
        long long v = 0;
        double d = 0;
        if (!parseNumber(value, d) || d != std::floor(d) || !parseInteger(value.c_str(), v) || v < 16 || v > 4096 ||
            v % 2 != 0)
            return bad(*e, value, "16〜4096 の偶数");
        (e == &widthEl ? mp4.width : mp4.height) = int(v);
    }
    std::string value;
    if (!text(rateEl, value))
        return false;
    // At least one picture a second: a rate rounded to the engine's thousandths must
    // not come out as no rate at all.
    if (!parseNumber(value, mp4.frameRate) || !(mp4.frameRate >= 1) || mp4.frameRate > 120)
        return bad(rateEl, value, "1 以上 120 以下");
    if (text(qualityEl, value)) {
        double d = 0;
        if (!parseNumber(value, d) || d != std::floor(d) || d < 0 || d > 51)
            return bad(qualityEl, value, "0〜51 の整数");
        mp4.quality = int(d);
    } else if (!error.empty()) {
        return false;
    }
    mp4.requested = true;
    return true;
}

} // namespace

bool loadWriterParams(const std::string& path, WriterParams& out, std::string& error)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_file(path.c_str());
    if (!r) {
        error = (r.status == pugi::status_file_not_found || r.status == pugi::status_io_error)
                    ? "パラメータファイルが見つかりません。\n" + path
                    : "パラメータファイルの形式が正しくありません。\n" + path;
        return false;
    }
    const pugi::xml_node root = doc.child("params");
    if (!root) {
        error = "パラメータファイルの形式が正しくありません（<params> がありません）。\n" + path;
        return false;
    }
    WriterParams p;
    p.xtlFilePath = root.child_value("XtlFilePath");
    p.aviFileName = root.child_value("AviFileName");
    p.writeGrfArg = root.child_value("WriteGrfArg");
    p.writeXtlArg = root.child_value("WriteXtlArg");
    p.prxFileName = root.child_value("PrxFileName");
    if (p.xtlFilePath.empty()) {
        error = "パラメータファイルにタイムラインファイル（XtlFilePath）が指定されていません。\n" + path;
        return false;
    }
    if (!parseInteger(root.child_value("StartPoint"), p.startMs)) {
        error = std::string("開始位置（StartPoint）が数値ではありません: \"") + root.child_value("StartPoint") + "\"";
        return false;
    }
    if (!parseInteger(root.child_value("EndPoint"), p.endMs)) {
        error = std::string("終了位置（EndPoint）が数値ではありません: \"") + root.child_value("EndPoint") + "\"";
        return false;
    }
    if (!checkRange(root, p.startMs, p.endMs, error))
        return false;
    const pugi::xml_node vc = root.child("VideoCompressor");
    p.video.name = vc.child_value();
    long long bitRate = 0;
    if (parseInteger(vc.attribute("dwBitRate").value(), bitRate))
        p.video.bitRate = bitRate;
    p.video.keyFrameRate = intAttribute(vc, "KeyFrameRate");
    p.video.quality = intAttribute(vc, "Quality");
    p.video.windowSize = intAttribute(vc, "WindowSize");
    const pugi::xml_node ac = root.child("AudioCompressor");
    p.audio.name = ac.child_value();
    if (!readSoundAttribute(ac, kSamplesPerSec, p.audio.samplesPerSec, error) ||
        !readSoundAttribute(ac, kBitsPerSample, p.audio.bitsPerSample, error) ||
        !readSoundAttribute(ac, kChannels, p.audio.channels, error))
        return false;
    if (p.video.name == kMp4VideoCompressor) {
        if (!readMp4Params(root, p.audio.name, p.mp4, error))
            return false;
    } else if (p.audio.name == kMp4AudioCompressor) {
        error = std::string("音声圧縮 \"") + kMp4AudioCompressor + "\" は映像圧縮（VideoCompressor）\"" +
                kMp4VideoCompressor + "\" と組み合わせてください: \"" + p.video.name + "\"";
        return false;
    }
    out = p;
    return true;
}

std::string joinCommandLinePath(int argc, const char* const* argv)
{
    std::string path;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            path += ' ';
        path += argv[i];
    }
    return path;
}

} // namespace vk
