#pragma once
// A render that dies of a fatal signal (a crash inside the engine or a codec) skips every
// clean-up of its own. The
// guard removes the render's part file first, so that the target's folder holds the
// old target and nothing else, then lets the signal end the program as it would have.

#include <string>

namespace vk {

// Installs the handlers (once) and names the part file they remove. Call before the
// part file can exist.
void guardPartFileOnCrash(const std::string& partPath);

} // namespace vk
