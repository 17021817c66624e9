#pragma once
// Finds the shots of a video: hard cuts, gradual transitions (dissolves, fades through
// black) as spans, a motion value per shot and small thumbnails along the footage.
//
// Each frame is decoded at reduced cost (no loop filter, the decoder's low resolution
// where the codec has one) and scaled by libswscale to a tiny picture. Two frames are
// compared by the difference of their colour histograms (luma and both chroma planes):
// a cut is a single large jump that does not come back (a flash comes back within a few
// frames), a gradual transition is a run of small steps whose ends differ as much as
// across a cut and whose middle looks like a mix of its ends. A camera pan moves the
// picture but keeps its histogram, so it is no cut. Motion is the mean luma change of a
// 16x9 grid from frame to frame.
//
// Frames are counted from 0 in decoding order; times are in ms from the stream's start.

#include "media/analysis/audiodecoder.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <atomic>
#include <vector>

namespace vk {

struct ShotTransition {
    int firstFrame = 0; // the first frame that belongs to neither shot
    int lastFrame = 0;  // the last one
};

struct Shot {
    int firstFrame = 0;
    int lastFrame = 0; // inclusive
    double startMs = 0.0;
    double endMs = 0.0;  // the end of its last frame
    float motion = 0.0f; // mean change per frame, 0..1
    double durationMs() const { return endMs - startMs; }
};

struct ShotThumb {
    int frame = 0;
    double ms = 0.0;
    QImage image; // kThumbWidth wide, RGB888
};

struct ShotAnalysis {
    static constexpr int kThumbWidth = 96;

    QString reason; // empty when the analysis worked; else a short status-line text
    double fps = 0.0;
    int frames = 0;
    int width = 0;
    int height = 0;
    double durationMs = 0.0;
    std::vector<int> cuts;                   // first frames of shots after a hard cut
    std::vector<ShotTransition> transitions; // gradual transitions
    std::vector<Shot> shots;                 // in order, the transitions left out
    std::vector<ShotThumb> thumbs;           // in frame order

    bool ok() const { return reason.isEmpty() && frames > 0; }
    // The ms at which a frame starts (from the frame rate).
    double frameMs(int frame) const { return fps > 0.0 ? 1000.0 * frame / fps : 0.0; }
    // Boundaries as start times in ms: each shot's start but the first.
    std::vector<double> boundaryMs() const;
};

// Knobs of the analysis, the defaults for the editor.
struct ShotOptions {
    // Seconds between thumbnails along a shot (each shot also gets one at its start).
    double thumbEverySec = 2.0;
    // Decoder threads; 0 lets the decoder choose.
    int threads = 0;
};

// The per-frame figures the detection works on (for the tests and the benchmark).
struct FrameFeatures {
    std::vector<float> hist; // per frame kBins values
    std::vector<float> grid; // per frame 16x9 luma means, 0..1
    std::vector<float> luma; // per frame mean luma, 0..1
    static constexpr int kBins = 64;
};

// Decodes and analyses the first video stream of `path`. Stops with reason "Cancelled"
// once *cancel turns true. A file without pictures, a damaged file and a still image give
// a result with a reason; nothing throws.
ShotAnalysis analyseShots(const QString& path, const std::atomic<bool>* cancel = nullptr,
                          const ProgressFn& progress = {}, const ShotOptions& options = {});

// The detection on its own: fills cuts, transitions and shots (with their motion) of `a`
// from the frame features; a.fps and a.frames must be set.
void detectShots(const FrameFeatures& f, ShotAnalysis& a);

// The reason of a file that is a single picture.
inline QString stillReason()
{
    return QStringLiteral("A still picture");
}

} // namespace vk
