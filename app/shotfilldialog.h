#pragma once
// The dialog of 映像で区間を埋める...: the sources (files or a folder), the rows (the
// dragged range or from the current row to the end; only rows without video or all),
// the speed (等速 or 0.5〜2倍) and シャッフル, which draws a new seed for another draft.

#include "app/shotfillcommand.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace vk {

class ShotFillDialog : public QDialog {
    Q_OBJECT
public:
    ShotFillDialog(const ShotFillChoices& choices, QWidget* parent = nullptr);

    ShotFillChoices choices() const;

    // The controls, for the tests.
    QRadioButton* filesButton() const { return m_files; }
    QRadioButton* folderButton() const { return m_folder; }
    QListWidget* fileList() const { return m_list; }
    QLineEdit* folderEdit() const { return m_folderEdit; }
    QRadioButton* draggedButton() const { return m_dragged; }
    QRadioButton* toEndButton() const { return m_toEnd; }
    QCheckBox* onlyEmptyBox() const { return m_onlyEmpty; }
    QRadioButton* sameSpeedButton() const { return m_same; }
    QRadioButton* varySpeedButton() const { return m_vary; }
    void shuffle();

private:
    void addFiles();
    void chooseFolder();
    void updateEnabled();

    QRadioButton* m_files = nullptr;
    QRadioButton* m_folder = nullptr;
    QListWidget* m_list = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QRadioButton* m_dragged = nullptr;
    QRadioButton* m_toEnd = nullptr;
    QCheckBox* m_onlyEmpty = nullptr;
    QRadioButton* m_same = nullptr;
    QRadioButton* m_vary = nullptr;
    QLabel* m_seedLabel = nullptr;
    quint32 m_seed = 1;
};

} // namespace vk
