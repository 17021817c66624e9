#pragma once
// The editor's dialogs for tests: answers come from queues the test fills, and every
// message, question and dialog is recorded.

#include "base/userdialogs.h"

#include <QList>
#include <QStringList>
#include <deque>

namespace vk {

class ScriptedUi final : public UserDialogs {
public:
    struct Shown {
        QString text;
        Icon icon;
    };

    // Answers, taken from the front; an empty queue answers No / cancel.
    std::deque<bool> yesNo;
    // Indexes of the buttons chosen in askChoice; an empty queue chooses the last button.
    std::deque<int> choices;
    std::deque<std::optional<QString>> openNames;
    std::deque<std::optional<QString>> saveNames;
    std::deque<std::optional<QString>> inputs;
    bool startResult = true;

    // What the editor showed or asked.
    QList<Shown> messages;
    QList<Shown> questions;
    QList<QStringList> choiceButtons; // the buttons of each askChoice, its text in questions
    QList<FileDialog> openDialogs;
    QList<FileDialog> saveDialogs;
    QStringList inputPrompts;
    QStringList inputTitles;
    int flashes = 0;
    int sliderFocus = 0;
    QList<int> visibleRequests;
    QList<int> effectDialogs;
    QList<QStringList> started; // program followed by its arguments

    void message(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text, Icon icon) override;
    int askChoice(const QString& text, Icon icon, const QStringList& buttons) override;
    std::optional<QString> openFileName(const FileDialog& dialog) override;
    std::optional<QString> saveFileName(const FileDialog& dialog) override;
    std::optional<QString> inputBox(const QString& title, const QString& prompt, const QString& defaultText) override;
    void flashTable() override { ++flashes; }
    void focusSoundSlider() override { ++sliderFocus; }
    void ensureRowVisible(int row) override { visibleRequests << row; }
    void openEffectDialog(int row) override { effectDialogs << row; }
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

} // namespace vk
