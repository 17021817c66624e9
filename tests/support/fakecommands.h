#pragma once
// Stand-ins for the project and clipboard commands the editor reaches: each command
// runs the function a test gives it (nothing when none is given).

#include "timeline/clipboardcommands.h"
#include "timeline/projectcommands.h"

#include <functional>

namespace vk {

class FakeClipboardCommands final : public ClipboardCommands {
public:
    std::function<void()> cut;
    std::function<void()> copy;
    std::function<void()> paste;

    void Cut() override
    {
        if (cut)
            cut();
    }
    void Copy() override
    {
        if (copy)
            copy();
    }
    void Paste() override
    {
        if (paste)
            paste();
    }
};

class FakeProjectCommands final : public ProjectCommands {
public:
    std::function<void(const QString&)> open;
    std::function<bool()> saveAs;

    void ProjectOpenFile(const QString& path) override
    {
        if (open)
            open(path);
    }
    bool SaveAsCommand() override { return saveAs && saveAs(); }
};

} // namespace vk
