#include "writer/paramsdocument.h"

#include <pugixml.hpp>

#include <cerrno>
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
        errno = 0;
        end = nullptr;
        const double d = std::strtod(s.c_str(), &end);
        if (errno != 0 || end == s.c_str() || *end != '\0' || d > 9.2e18 || d < -9.2e18)
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

}  // namespace

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
    p.audio.samplesPerSec = intAttribute(ac, "nSamplesPerSec");
    p.audio.bitsPerSample = intAttribute(ac, "wBitsPerSample");
    p.audio.channels = intAttribute(ac, "nChannels");
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

}  // namespace vk
