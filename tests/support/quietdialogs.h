#pragma once
// Dialogs that show nothing, for tests and benchmarks whose commands ask for no answer
// worth scripting: every question gets the same answer, every file or input dialog is
// cancelled, and the texts of the message boxes are kept (and printed when asked), so a
// run can still report them. Tests that script answers use ScriptedUi instead.

#include "base/userdialogs.h"

namespace vk::testsupport {

class QuietDialogs : public UserDialogs {
public:
    // The answer to every Yes/No question.
    bool answerYes = false;
    // Also print every message box text to stderr.
    bool printMessages = false;
    // Texts of the message boxes, in order.
    QStringList messages;

    void message(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text, Icon icon) override;
    // The last button (what Escape chooses).
    int askChoice(const QString& text, Icon icon, const QStringList& buttons) override;
    std::optional<QString> openFileName(const FileDialog& dialog) override;
    std::optional<QString> saveFileName(const FileDialog& dialog) override;
    std::optional<QString> inputBox(const QString& title, const QString& prompt, const QString& defaultText) override;
    void flashTable() override {}
    void focusSoundSlider() override {}
    void ensureRowVisible(int) override {}
    void openEffectDialog(int) override {}
    // Starts nothing: false.
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

} // namespace vk::testsupport
