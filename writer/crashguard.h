#pragma once
// A render that dies of a fatal signal (a crash inside the engine or a codec) skips every
// clean-up of its own. The guard removes the render's part file first, so that the
// target's folder holds the old target and nothing else, and the writer's private folder
// in the temporary folder, then lets the signal end the program as it would have.

#include <string>

namespace vk {

// Installs the handlers (once) and names the part file they remove. Call before the
// part file can exist.
void guardPartFileOnCrash(const std::string& partPath);

// Installs the handlers (once) and names the private folder they remove with all it
// holds (folders in it to a few levels). Call as soon as the folder exists.
void guardPrivateFolderOnCrash(const std::string& folder);

} // namespace vk
