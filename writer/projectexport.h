#pragma once
// The engine timeline written as another editor's project: Shotcut (.mlt) and
// Kdenlive (.kdenlive) both keep their projects as MLT XML. The project is the
// engine document buildMltXml makes for a render, so every cut and every source
// frame is the renderer's own; only what the two programs add to it is added
// here (their track and document properties, the markers or guides), and what
// lives only inside this renderer is replaced by the engine's own services:
//
// * a speed read through `force_fps` becomes the engine's `timewarp` producer
//   (the same media time for every frame);
// * the transitions drawn by this renderer (burn, pixelate) and the wipes with
//   generated maps (kept in a private temporary folder) become dissolves
//   (`luma` without a map); their CLSIDs are listed in `replaced`.
//
// The black background becomes a playlist of its own, as both programs keep it.

#include "writer/mltbuilder.h"
#include "writer/outputformat.h"
#include "writer/timelinereader.h"

#include <string>
#include <vector>

namespace vk {

enum class ProjectDialect { Shotcut, Kdenlive };

// A marker of the project: a section start, a beat or a bar, on the timeline.
struct ProjectMarker final {
    enum class Kind { Section, Beat, Bar };
    Kind kind = Kind::Section;
    double seconds = 0; // timeline seconds
    std::string name;
};

// Reads the markers document the editor writes beside the parameters:
// <markers><marker kind="section|beat|bar" seconds="1.5" name="..."/>...</markers>.
bool readProjectMarkers(const std::string& path, std::vector<ProjectMarker>& out, std::string& error);

struct ProjectResult final {
    std::string xml;
    std::vector<std::string> replaced; // CLSIDs of transitions written as dissolves
};

// `engineXml` is buildMltXml's text for `timeline` with `output`; `media` tells
// the frame rate of the sources read at another speed.
ProjectResult projectXml(const std::string& engineXml, ProjectDialect dialect, const Timeline& timeline,
                         const OutputSettings& output, const MediaLookup& media,
                         const std::vector<ProjectMarker>& markers, const std::string& title);

} // namespace vk
