#pragma once
// The version dialog of the help menu: the program's name and version, and an OK
// button. It takes the main window's caption and icon when it is created, is shown
// without being modal and deletes itself when it closes, so the main window keeps one
// instance through a guarded pointer and shows the same dialog on a second click.

#include <QDialog>

namespace vk {

class AboutDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutDialog)

public:
    // `mainWindow` gives the caption and the icon and becomes the dialog's parent.
    explicit AboutDialog(QWidget* mainWindow);
    ~AboutDialog() override;

    // "2.0.1 (2_0_1)": the dotted version and the form written into project files.
    static QString versionLine();
};

} // namespace vk
