#pragma once
// The video clipboard commands as the table's and the sound slider's keys reach them
// (Ctrl+X, Ctrl+C, Ctrl+V, R). The video clipboard implements it and is attached to
// the editor once by the application.

namespace vk {

class ClipboardCommands {
public:
    virtual ~ClipboardCommands() = default;

    virtual void Cut() = 0;
    virtual void Copy() = 0;
    virtual void Paste() = 0;
};

} // namespace vk
