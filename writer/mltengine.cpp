#include "writer/mltengine.h"
#include "writer/crashguard.h"

#include <framework/mlt.h>
#include <mlt++/Mlt.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace vk {

const std::vector<EngineModule>& engineModules()
{
    // "xine" has the engine's first choice of deinterlacer. Without it the
    // engine falls back to "avdeinterlace", which asks every picture,
    // progressive ones too, for packed 4:2:2: an RGB output (uncompressed AVI)
    // then had every picture converted twice.
    static const std::vector<EngineModule> modules = {
        {"core", false}, {"avformat", false},  {"xml", false}, {"resample", false},
        {"sdl2", true},  {"rubberband", true}, {"plus", true}, {"xine", true},
    };
    return modules;
}

std::string installedModuleFolder()
{
    // The distribution's module folder; VK_MLT_MODULES overrides it for
    // unusual installs (MLT_REPOSITORY itself is what we replace).
    if (const char* env = std::getenv("VK_MLT_MODULES"); env && *env)
        return env;
#ifdef VK_MLT_MODULE_DIR
    return VK_MLT_MODULE_DIR;
#else
    return "/usr/lib/x86_64-linux-gnu/mlt-7";
#endif
}

MltEngine::MltEngine()
{
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec)
        base = "/tmp";
    std::string templ = (base / "T-VideoWrite-XXXXXX").string();
    if (char* made = mkdtemp(templ.data())) {
        m_folder = made; // mkdtemp creates it with mode 0700
        guardPrivateFolderOnCrash(m_folder);
    }
}

MltEngine::~MltEngine()
{
    // The engine is deliberately not closed (Mlt::Factory::close): that
    // unloads the engine's modules and the libraries they brought in, and a
    // worker thread that is still winding down then runs into unmapped code
    // (seen as a crash at the end of about one render in forty under load).
    // This object lives until the program ends, so nothing is lost.
    if (!m_folder.empty()) {
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
}

bool MltEngine::start(std::string& error)
{
    if (m_folder.empty()) {
        error = "作業用の一時フォルダを作成できません。";
        return false;
    }
    std::error_code ec;
    const fs::path modules = fs::path(m_folder) / "modules";
    fs::create_directories(modules, ec);
    fs::create_directories(lumaFolder(), ec);
    const fs::path installed = installedModuleFolder();
    for (const EngineModule& module : engineModules()) {
        const fs::path lib = installed / ("libmlt" + std::string(module.name) + ".so");
        if (!fs::exists(lib)) {
            if (module.optional)
                continue;
            error = "描画エンジンのモジュールがありません。\n" + lib.string();
            return false;
        }
        fs::create_symlink(lib, modules / lib.filename(), ec);
        if (ec) {
            error = "描画エンジンのモジュールを準備できません。\n" + lib.string() + "（" + ec.message() + "）";
            return false;
        }
    }
    // The engine reads MLT_REPOSITORY in a few places besides the factory.
    setenv("MLT_REPOSITORY", modules.c_str(), 1);
    if (!Mlt::Factory::init(modules.c_str())) {
        error = "描画エンジンが起動しませんでした。";
        return false;
    }
    m_started = true;
    registerWriterServices();
    registerFastScaler();
    return true;
}

} // namespace vk
