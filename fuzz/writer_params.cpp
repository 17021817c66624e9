// The renderer's parameters reader: the parameters document from a file, then the
// engine document of a fixed timeline for the output, range and profile it names.

#include "fuzz/fuzzsupport.h"
#include "fuzz/writerdocs.h"

namespace {

// Two video tracks with both kinds of transition, a still and a sound clip in three
// pieces.
const char* const kTimeline = R"(<timeline>
  <group type="video" bitdepth="24" framerate="30" width="640" height="480">
    <track/>
    <track>
      <clip start="0" stop="2" mstart="0" mstop="2" src="/v/a.avi"/>
      <transition start="0" stop="0.5" clsid="{AF279B30-86EB-11D1-81BF-0000F87557DB}"/>
      <clip start="2" stop="5.48" mstart="1" mstop="3" src="/v/b.mp4"/>
    </track>
    <track>
      <clip start="4.48" stop="6" mstart="0" mstop="3" src="/v/c.png" stretchmode="PreserveAspectRatio"/>
      <transition start="4.48" stop="5.48" clsid="{3F69F351-0379-11D2-A484-00C04F8EFB69}"/>
    </track>
  </group>
  <group type="audio" samplingrate="48000">
    <track>
      <clip mstart="0" mstop="2" start="0" stop="2" src="/music/song.wav"/>
      <clip mstart="2" mstop="4.48" start="2" stop="4.48" src="/music/song.wav"/>
      <clip mstart="4.48" mstop="6" start="4.48" stop="6" src="/music/song.wav"/>
    </track>
  </group>
</timeline>)";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vk;
    static Timeline timeline;
    static bool parsed = false;
    if (!parsed) {
        std::string error;
        if (!parseTimeline(kTimeline, timeline, error))
            fuzz::fail("the harness timeline does not parse");
        parsed = true;
    }
    const std::string path = fuzz::writeInput(data, size, ".params.xml");
    WriterParams params;
    std::string error;
    if (!loadWriterParams(path, params, error)) {
        if (error.empty())
            fuzz::fail("refused parameters gave no reason");
        return 0;
    }
    fuzz::buildEngineDocument(params, timeline);
    return 0;
}
