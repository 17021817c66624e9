// The renderer's timeline reader: the timeline document from a file, then the engine
// document built from it for each kind of output.

#include "fuzz/fuzzsupport.h"
#include "fuzz/writerdocs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vk;
    const std::string path = fuzz::writeInput(data, size, ".xml");
    Timeline timeline;
    std::string error;
    if (!readTimeline(path, timeline, error)) {
        if (error.empty())
            fuzz::fail("a refused timeline gave no reason");
        return 0;
    }
    // The output kind follows the input size, so each kind sees every shape of timeline.
    WriterParams params;
    params.xtlFilePath = path;
    switch (size % 5) {
    case 0:
        break; // preview
    case 1:
        params.aviFileName = "/out/clip.avi";
        params.video.name = "DV Video Encoder";
        break;
    case 2:
        params.aviFileName = "/out/sound.wav";
        break;
    case 3:
        params.aviFileName = "/out/clip.wmv";
        params.prxFileName = "512-1500k-stereo.prx";
        break;
    default:
        params.aviFileName = "/out/clip.mp4";
        params.video.name = kMp4VideoCompressor;
        params.audio.name = kMp4AudioCompressor;
        params.mp4 = {true, 1280, 720, 29.97, kMp4DefaultQuality};
        break;
    }
    params.startMs = (long long)(size % 3) * 1000;
    params.endMs = size % 2 ? 0 : 4000;
    fuzz::buildEngineDocument(params, timeline);
    return 0;
}
