#pragma once
// Start-up of the render engine for this program.
//
// The engine loads every module found in its module folder at start-up, and
// some of the installed modules pull in Qt 5, which must never be mapped next
// to this program's Qt 6. So the engine is pointed at a private folder that
// links only the modules the writer uses. That folder, and the generated wipe
// maps, live in one private temporary folder removed when the program ends.

#include <framework/mlt_types.h>

#include <string>
#include <vector>

namespace Mlt {
class Repository;
}

namespace vk {

// The engine modules the writer loads: core services, file decoding/encoding,
// the XML timeline and audio resampling, which it cannot do without; the preview
// sound output, pitch-keeping speed changes, the extra blends and the engine's
// first-choice deinterlacer, which it can.
struct EngineModule final {
    const char* name;
    bool optional;
};
const std::vector<EngineModule>& engineModules();

// Where the installed engine modules are (the engine's own default folder).
std::string installedModuleFolder();

class MltEngine final {
public:
    // Creates the private folder under `tempRoot` (system temp when empty).
    MltEngine();
    ~MltEngine();
    MltEngine(const MltEngine&) = delete;
    MltEngine& operator=(const MltEngine&) = delete;

    // Links the modules and starts the engine. Returns false with `error`
    // when a required module is missing or the engine does not start.
    bool start(std::string& error);

    // The private temporary folder (module links, wipe maps).
    const std::string& privateFolder() const { return m_folder; }
    std::string lumaFolder() const { return m_folder + "/luma"; }

private:
    std::string m_folder;
    bool m_started = false;
};

// Registers this program's own transition "vk_blend" (hot fade and mosaic)
// with the running engine.
void registerWriterServices();

// Registers the filter "vk_scale" (writer/vkscale.cpp) with the running engine.
void registerFastScaler();

// Puts "vk_scale" right above every file producer of a loaded timeline that
// decodes to plain 4:2:0 (below the engine's deinterlacer and scaler).
// Returns how many producers got it.
int installFastScaler(mlt_producer timeline);

} // namespace vk
