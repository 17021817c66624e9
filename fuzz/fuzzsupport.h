#pragma once
// Shared pieces of the fuzz harnesses: the input written to a file of this process (the
// readers take paths, as the programs do), and a user interface that answers nothing.

#include "base/userdialogs.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vk::fuzz {

// Writes the input to one file per process and returns its path.
std::string writeInput(const uint8_t* data, size_t size, const char* suffix);

// Every message is dropped, every question answered No, every dialog cancelled.
class SilentUi final : public UserDialogs {
public:
    void message(const QString&, Icon) override {}
    bool askYesNo(const QString&, Icon) override { return false; }
    int askChoice(const QString&, Icon, const QStringList& buttons) override { return int(buttons.size()) - 1; }
    std::optional<QString> openFileName(const FileDialog&) override { return std::nullopt; }
    std::optional<QString> saveFileName(const FileDialog&) override { return std::nullopt; }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
    void flashTable() override {}
    void focusSoundSlider() override {}
    void ensureRowVisible(int) override {}
    void openEffectDialog(int) override {}
    bool startDetached(const QString&, const QStringList&) override { return false; }
};

// Ends the process with a message: a harness found a result the program must never give.
[[noreturn]] void fail(const char* what);

} // namespace vk::fuzz
