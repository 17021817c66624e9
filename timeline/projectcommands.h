#pragma once
// The project commands other commands need: opening a project dropped on the table,
// and the Save As asked by the unsaved-changes question. The project file commands
// implement it and are attached to the editor once by the application.

#include <QString>

namespace vk {

class ProjectCommands {
public:
    virtual ~ProjectCommands() = default;

    // Opens a project from a given path (the unsaved-changes question, then the load).
    virtual void ProjectOpenFile(const QString& path) = 0;
    // Save As; true when a project was written.
    virtual bool SaveAsCommand() = 0;
};

} // namespace vk
