#include "tests/support/scriptedui.h"

namespace vk {

namespace {
template <typename T>
T takeFront(std::deque<T>& queue, T fallback)
{
    if (queue.empty())
        return fallback;
    T v = queue.front();
    queue.pop_front();
    return v;
}
} // namespace

void ScriptedUi::message(const QString& text, Icon icon)
{
    messages.append({text, icon});
}

bool ScriptedUi::askYesNo(const QString& text, Icon icon)
{
    questions.append({text, icon});
    return takeFront(yesNo, false);
}

int ScriptedUi::askChoice(const QString& text, Icon icon, const QStringList& buttons)
{
    questions.append({text, icon});
    choiceButtons.append(buttons);
    return takeFront(choices, int(buttons.size()) - 1);
}

std::optional<QString> ScriptedUi::openFileName(const FileDialog& dialog)
{
    openDialogs.append(dialog);
    return takeFront<std::optional<QString>>(openNames, std::nullopt);
}

std::optional<QString> ScriptedUi::saveFileName(const FileDialog& dialog)
{
    saveDialogs.append(dialog);
    return takeFront<std::optional<QString>>(saveNames, std::nullopt);
}

std::optional<QString> ScriptedUi::inputBox(const QString& title, const QString& prompt, const QString&)
{
    inputTitles << title;
    inputPrompts << prompt;
    return takeFront<std::optional<QString>>(inputs, std::nullopt);
}

bool ScriptedUi::startDetached(const QString& program, const QStringList& arguments)
{
    started.append(QStringList{program} + arguments);
    return startResult;
}

} // namespace vk
