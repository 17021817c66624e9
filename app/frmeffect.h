#pragma once
// The effect dialog "効果設定": chooses the transition effect and its duration for one
// row of the row table. It is not modal; the row table opens it for a right click on
// a row's "効果" cell, beside the mouse pointer. Each opening reloads it from the row
// in KeepMouseRow (opening it for another row while it shows simply reloads it);
// "更新" writes the choice into that row and closes the dialog (a duration that is
// not a whole number of ms is refused with a message and the dialog stays open), and
// closing it any other way writes nothing. The rules of loading and updating are in Effects; this
// window only shows their result.
//
// The main window keeps one instance and opens it with openForRow() from its
// UserDialogs::openEffectDialog; showing it by other means does not reload it.

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vk {

class Editor;
class SettingsStore;

class frmEffect final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmEffect)

public:
    // owner: the main window, the dialog's parent and the source of its icon.
    frmEffect(Editor& editor, SettingsStore& settings, QWidget* owner = nullptr);
    ~frmEffect() override;

    // Opens the dialog for a row: closes it when it is showing, reloads it from the
    // row, places it beside the mouse pointer and shows it.
    void openForRow(int row);
    // Reloads the controls from row KeepMouseRow (icon, list, duration, choice).
    void load();

    // The row the dialog edits; set by the opener before the dialog shows.
    int KeepMouseRow = 1;

    QComboBox* combTrans = nullptr;
    QLineEdit* txtTransDur = nullptr;
    QPushButton* OKButton = nullptr;

    // Offset of the dialog's top-left corner from the mouse pointer, in pixels
    // (200 twips right and 700 twips up at 15 twips per pixel).
    static constexpr int kPointerOffsetX = 13;
    static constexpr int kPointerOffsetY = -47;

private:
    void OKButton_Click();

    Editor& m_editor;
    SettingsStore& m_settings;
    QWidget* m_owner = nullptr;
};

} // namespace vk
