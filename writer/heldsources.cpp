#include "writer/heldsources.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace vk {

HeldSources::HeldSources(const std::vector<std::string>& sources, const std::string& folder)
{
    std::error_code ec;
    if (folder.empty())
        return;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        return;
    for (const std::string& source : sources) {
        if (m_links.count(source))
            continue;
        const int file = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0)
            continue;
        // /proc/self/fd/N reaches the open file itself, also once its name is gone; the
        // link in front of it gives it back the source's file name. Numbered, as two
        // sources may share a file name.
        const std::string link =
            folder + "/" + std::to_string(m_files.size()) + "-" + fs::path(source).filename().string();
        fs::create_symlink("/proc/self/fd/" + std::to_string(file), link, ec);
        if (ec || ::access(link.c_str(), R_OK) != 0) { // no /proc: the source's own name
            fs::remove(link, ec);
            ::close(file);
            continue;
        }
        m_files.push_back(file);
        m_links.emplace(source, link);
    }
}

HeldSources::~HeldSources()
{
    for (const auto& [source, link] : m_links) {
        std::error_code ec;
        fs::remove(link, ec);
    }
    for (int file : m_files)
        ::close(file);
}

std::string HeldSources::enginePath(const std::string& source) const
{
    const auto it = m_links.find(source);
    return it == m_links.end() ? source : it->second;
}

} // namespace vk
