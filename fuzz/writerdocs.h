#pragma once
// The renderer's path from its two documents to the engine's timeline, as T-VideoWrite
// takes it up to the render: the output chosen from the parameters and the timeline,
// the frame range, the engine XML. Sources are answered by a stand-in lookup (the real
// one opens the files with the engine).

#include "writer/paramsdocument.h"
#include "writer/timelinereader.h"

namespace vk::fuzz {

// Builds the engine document and checks that it is well-formed XML and that the frame
// range is ordered; ends the process otherwise.
void buildEngineDocument(const WriterParams& params, const Timeline& timeline);

} // namespace vk::fuzz
