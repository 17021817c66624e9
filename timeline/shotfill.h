#pragma once
// Filling sections with shots of analysed videos ("映像で区間を埋める"), as a plan first
// (pure, no table) and then applied to the editor's rows as one undo step.
//
// The rules of a plan:
// - each section's span lies inside one shot: the source is never cut in a section;
// - where the shot is still unused, the span starts on the shot's first frame, so the
//   footage's own cut lands on the section start (the beat), and an unused shot that
//   fits always comes before the rest of a used one;
// - spans of one file never overlap, neither each other nor the spans the project holds;
// - the sources take turns, and a file never comes twice in a row while another one has
//   a shot that fits;
// - when the sections carry an energy, sections with more energy get shots with more
//   motion (by rank);
// - a section that no shot can fill stays empty and is counted.
// The choices between equals come from the seed, so another seed gives another draft.

#include <QString>

#include <cstdint>
#include <vector>

namespace vk {

class Editor;

struct ShotSpan {
    double startMs = 0.0;
    double endMs = 0.0;
    float motion = 0.0f;
};

// One analysed video and what a registration of it needs.
struct ShotSource {
    QString file;
    int frameIntervalMs = 33; // as the registration panel computes it
    int width = 0;
    int height = 0;
    std::vector<ShotSpan> shots;
};

struct FillSection {
    int row = 0;
    double lengthMs = 0.0;
    double energy = -1.0; // negative: none
};

// A span of a file already in use.
struct UsedSpan {
    QString file;
    double inMs = 0.0;
    double outMs = 0.0;
};

struct FillOptions {
    bool varySpeed = false; // false: 等速; true: 0.5 to 2 times
    uint32_t seed = 1;
};

struct FillSpan {
    int row = 0;
    int source = 0; // index into the sources
    int inMs = 0;   // on the time text's frame grid
    int outMs = 0;
    // Played at the footage's own speed (等速): from the in point for the section's
    // length, which ends at or before the out point.
    bool normalSpeed = false;
};

struct FillPlan {
    std::vector<FillSpan> spans; // in section order
    std::vector<int> emptyRows;  // sections no shot could fill
    int unfilled = 0;
};

FillPlan planFill(const std::vector<FillSection>& sections, const std::vector<ShotSource>& sources,
                  const std::vector<UsedSpan>& used, const FillOptions& options);

// Energy per section from onsets: onsets per second within each section, or nothing
// (all negative) when there are no onsets. starts: section starts in ms; ends likewise.
std::vector<double> onsetDensity(const std::vector<double>& startsMs, const std::vector<double>& endsMs,
                                 const std::vector<double>& onsetsMs);

// Writes a plan into the rows as a registration with S does (file, in, out, frame
// interval, picture size, the modified flag), as one undo step. A span at the footage's
// own speed is marked 等速; any other gets the speed its span gives. The views are told
// once. Returns the rows written.
int applyFill(Editor& editor, const FillPlan& plan, const std::vector<ShotSource>& sources);

} // namespace vk
