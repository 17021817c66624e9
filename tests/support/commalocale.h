#pragma once
// A locale that writes a half as "0,5" (de_DE.UTF-8), for the tests that the programs
// write and read the same numbers in it as in the C locale. A system that lacks it gets
// it compiled by localedef from the C library's locale sources (the "locales" package)
// into a folder of the test's own, found through LOCPATH: no root needed, so the tests
// run wherever the sources are and fail, saying why, where they are not.
//
// Header only: the writer's tests use it too, and they link nothing of the editor.

#include <clocale>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <langinfo.h>
#include <locale.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace vk::testsupport {

struct CommaLocale {
    std::string name = "de_DE.UTF-8"; // for setlocale, LC_ALL and LANG
    std::string folder;               // LOCPATH for it; empty when the system has it
    std::string error;                // why there is none; empty when there is
    bool ok() const { return error.empty(); }

    ~CommaLocale()
    {
        if (!folder.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        }
    }
};

namespace commalocale_detail {

// LOCPATH set to `folder` for the life of the object (when it is not empty).
class LocPath {
public:
    explicit LocPath(const std::string& folder) : m_set(!folder.empty())
    {
        if (!m_set)
            return;
        if (const char* old = std::getenv("LOCPATH")) {
            m_had = true;
            m_old = old;
        }
        setenv("LOCPATH", folder.c_str(), 1);
    }
    ~LocPath()
    {
        if (!m_set)
            return;
        if (m_had)
            setenv("LOCPATH", m_old.c_str(), 1);
        else
            unsetenv("LOCPATH");
    }

private:
    bool m_set;
    bool m_had = false;
    std::string m_old;
};

// The decimal point of the locale `name`, empty when it cannot be loaded.
inline std::string decimalPoint(const std::string& name, const std::string& folder)
{
    LocPath path(folder);
    const locale_t l = newlocale(LC_NUMERIC_MASK, name.c_str(), nullptr);
    if (!l)
        return {};
    const std::string point = nl_langinfo_l(RADIXCHAR, l);
    freelocale(l);
    return point;
}

} // namespace commalocale_detail

// The comma locale, made once per process.
inline const CommaLocale& commaLocale()
{
    static const CommaLocale made = [] {
        CommaLocale c;
        if (commalocale_detail::decimalPoint(c.name, {}) == ",")
            return c;
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/vk-locale-XXXXXX";
        if (!mkdtemp(folder.data())) {
            c.error = "no folder for the de_DE.UTF-8 locale under " + folder;
            return c;
        }
        c.folder = folder;
        const std::string out = folder + "/" + c.name;
        const char* argv[] = {"localedef", "-i", "de_DE", "-f", "UTF-8", out.c_str(), nullptr};
        pid_t pid = 0;
        int status = -1;
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawnp(&pid, "localedef", &quiet, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            c.error = "the system has no de_DE.UTF-8 locale, and localedef could not make one (install the "
                      "\"locales\" package, or run localedef -i de_DE -f UTF-8 de_DE.UTF-8)";
            return c;
        }
        if (commalocale_detail::decimalPoint(c.name, c.folder) != ",")
            c.error = "the de_DE.UTF-8 locale made by localedef in " + c.folder + " does not load";
        return c;
    }();
    return made;
}

// Switches the process's numbers (LC_NUMERIC) to the comma locale, or back to C.
// False when that did not happen.
inline bool useCommaNumbers(bool comma)
{
    if (!comma)
        return std::setlocale(LC_NUMERIC, "C") != nullptr;
    const CommaLocale& c = commaLocale();
    if (!c.ok())
        return false;
    commalocale_detail::LocPath path(c.folder);
    return std::setlocale(LC_NUMERIC, c.name.c_str()) != nullptr && std::string(localeconv()->decimal_point) == ",";
}

} // namespace vk::testsupport
