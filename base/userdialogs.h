#pragma once
// What the editor's commands ask of the windows: message boxes, questions, file and
// input dialogs, the table flash, focus and scrolling, starting other programs. The
// windows implement it with Qt dialogs; tests implement it with scripted answers, so
// every command can run without a display.

#include <QString>
#include <QStringList>
#include <optional>

namespace vk {

class UserDialogs {
public:
    enum class Icon { None, Information, Warning, Exclamation, Critical };

    struct FileDialog {
        QString title;
        QString filter;        // Qt form: "説明 (*.ext)"; several separated by ";;"
        QString defaultSuffix; // save dialogs only, without the dot
        QString fileName;      // initial file name
    };

    virtual ~UserDialogs() = default;

    // A box with an OK button and the application title.
    virtual void message(const QString& text, Icon icon) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& text, Icon icon) = 0;
    // A question with buttons of its own, in the order given; the last one is also what
    // Escape or closing the box chooses. The index of the button chosen.
    virtual int askChoice(const QString& text, Icon icon, const QStringList& buttons) = 0;
    // Open and save dialogs; nullopt when cancelled.
    virtual std::optional<QString> openFileName(const FileDialog& dialog) = 0;
    virtual std::optional<QString> saveFileName(const FileDialog& dialog) = 0;
    // An input box; nullopt when cancelled.
    virtual std::optional<QString> inputBox(const QString& title, const QString& prompt,
                                            const QString& defaultText) = 0;
    // Copy and paste feedback: the row table disappears for about 100 ms.
    virtual void flashTable() = 0;
    // Gives the keyboard focus back to the sound slider.
    virtual void focusSoundSlider() = 0;
    // Scrolls the row table so that `row` is the top row, unless it is already visible.
    virtual void ensureRowVisible(int row) = 0;
    // Opens the effect dialog for a row (closing it first when it is shown).
    virtual void openEffectDialog(int row) = 0;
    // Starts a program without waiting for it; false when it cannot be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

// Asks before a file is overwritten: true when the file does not exist or the user
// answers Yes.
bool ConfirmOverwrite(UserDialogs& ui, const QString& path);

} // namespace vk
