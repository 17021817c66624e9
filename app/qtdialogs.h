#pragma once
// The editor's dialogs on Qt widgets: message boxes with the application title, file
// and input dialogs, the row table flash, focus, scrolling and starting programs.

#include "base/userdialogs.h"

#include <QPointer>
#include <functional>

class QAbstractItemView;
class QFileDialog;
class QWidget;

namespace vk {

class QtDialogs final : public UserDialogs {
public:
    static QString applicationTitle();

    void setWindow(QWidget* window) { m_window = window; }
    void setTable(QAbstractItemView* table) { m_table = table; }
    void setSoundSlider(QWidget* slider) { m_slider = slider; }
    void setEffectDialogOpener(std::function<void(int)> opener) { m_openEffect = std::move(opener); }

    void message(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text, Icon icon) override;
    int askChoice(const QString& text, Icon icon, const QStringList& buttons) override;
    std::optional<QString> openFileName(const FileDialog& dialog) override;
    std::optional<QString> saveFileName(const FileDialog& dialog) override;
    std::optional<QString> inputBox(const QString& title, const QString& prompt, const QString& defaultText) override;
    void flashTable() override;
    void focusSoundSlider() override;
    void ensureRowVisible(int row) override;
    void openEffectDialog(int row) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;

private:
    QFileDialog* keptFileDialog();
    std::optional<QString> askForFile(const FileDialog& dialog, bool save);

    QPointer<QWidget> m_window;
    QPointer<QFileDialog> m_fileDialog;
    QPointer<QAbstractItemView> m_table;
    QPointer<QWidget> m_slider;
    std::function<void(int)> m_openEffect;
};

} // namespace vk
