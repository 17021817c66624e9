#include "fuzz/writerdocs.h"

#include "fuzz/fuzzsupport.h"
#include "writer/mltbuilder.h"
#include "writer/outputformat.h"

#include <pugixml.hpp>

#include <string>

namespace vk::fuzz {

namespace {

// What the engine would say of a source: pictures by their extension, every other file
// a 640x480 video at 30 frames a second; names with "missing" do not open, and mp4/mov
// files seek by presentation time.
SourceInfo lookup(const std::string& src)
{
    SourceInfo info;
    info.ok = src.find("missing") == std::string::npos;
    info.still = isStillImagePath(src);
    if (src.find("nosize") == std::string::npos) {
        info.width = 640;
        info.height = 480;
    }
    info.seeksByPresentationTime = endsWithNoCase(src, ".mp4") || endsWithNoCase(src, ".mov");
    info.frameRate = info.still ? 0 : 30;
    return info;
}

} // namespace

void buildEngineDocument(const WriterParams& params, const Timeline& timeline)
{
    const OutputSettings output = chooseOutput(params, timeline);
    if (output.rate.num <= 0 || output.rate.den <= 0)
        fail("the chosen output has no frame rate");
    const FrameRange range = frameRangeFor(params.startMs, params.endMs, timeline, output.rate);
    BuildOptions options;
    options.lumaDir = "/nonexistent/luma";
    options.withVideo = output.kind != OutputKind::Wav;
    const BuildResult built = buildMltXml(timeline, output, params.startMs, params.endMs, lookup, options);
    if (built.range.out < built.range.in - 1 || range.out < range.in - 1)
        fail("the frame range ends before it starts");
    pugi::xml_document doc;
    if (!doc.load_buffer(built.xml.data(), built.xml.size()))
        fail("the engine document is not well-formed XML");
}

} // namespace vk::fuzz
