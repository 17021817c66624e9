#pragma once
// The main window: the sound clip panel, the row table, the editing buttons, the
// output controls and the menus. It shows and drives the editor state, the sound clip
// panel and the commands the Application owns and hands it, and ends the program when
// it closes.

#include "web/makerpage.h"

#include <QIcon>
#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QToolButton;

namespace vk {

class BeatAssist;
class ClipImport;
class Editor;
class ExportCommand;
class OutputDriver;
class ProjectFile;
class RangeSlider;
class RowTableModel;
class RowTableView;
class SettingsStore;
class SoundPanel;
class UserDialogs;
class VideoClipboard;

class frmMain final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMain)

public:
    // What the window shows and drives; all of it outlives the window.
    struct Parts {
        Editor& editor;
        SoundPanel& sound;
        ProjectFile& project;
        ClipImport& import;
        VideoClipboard& clipboard;
        OutputDriver& output;
        // The exports of ファイル > 書き出し, which run on after the menu command.
        ExportCommand& exports;
        UserDialogs& ui;
        SettingsStore& settings;
        // The opener of the help menu's pages.
        const UrlOpener& urlOpener;
    };

    explicit frmMain(const Parts& parts);
    ~frmMain() override;

    // The window's part of the start-up: lists, controls, settings, row table, layout.
    void Form_Load();
    // Layout rule: minimum size, then the grid, the message label and the slider follow
    // the window size.
    void Form_Resize();
    // Redraws the sound clip panel and the labels.
    void refresh();

    Editor& editor() { return m_editor; }
    SoundPanel& soundPanel() { return m_soundPanel; }
    OutputDriver& outputDriver() { return m_output; }
    RowTableView& grid() { return *m_grid; }
    // The picture box of the sound clip panel.
    QWidget* soundPicture() const { return m_picSndPlay; }
    // The sound slider itself and the edit menu, for the parts that add to them.
    QSlider* soundRangeSlider() const;
    QMenu* editMenu() const;
    // The beat assist whose strip sits under the sound slider; the window lays out
    // around it.
    void setBeatAssist(BeatAssist* beats) { m_beats = beats; }

    // Test access to the controls by their names.
    template <typename T>
    T* control(const char* name)
    {
        return findChild<T*>(QLatin1String(name));
    }

    // The closing steps, once: the settings are written and the window lets go of the
    // sound clip panel (see unloadStarted and unloadFinished).
    void Form_Unload();
    bool unloaded() const { return m_unloaded; }
    // Ends the program without the closing steps (automation Quit).
    void quitNow();
    // True once the program was asked to end: the end of the event loop asked for
    // during start-up (say, while a start-up message waits) has already happened when
    // the main loop would start, so the caller must not start it.
    bool quitRequested() const { return m_quitRequested; }

signals:
    // The closing steps begin: the things around the window stop (before the window's
    // settings are written).
    void unloadStarted();
    // The window no longer uses the sound clip panel: the players can go.
    void unloadFinished();
    // The help menu's version entry.
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void createMenus();
    void connectControls();
    void refreshSound();
    void refreshLabels();
    // Undo and Redo, the buttons and the menu items, enabled when there is a step.
    void refreshHistory();
    void readSettings();
    void writeSettings();
    bool Form_QueryUnload();
    void mnuNew();

    Editor& m_editor;
    SoundPanel& m_soundPanel;
    ProjectFile& m_project;
    ClipImport& m_import;
    VideoClipboard& m_clipboard;
    OutputDriver& m_output;
    ExportCommand& m_exports;
    UserDialogs& m_ui;
    SettingsStore& m_settings;
    const UrlOpener& m_urlOpener;
    // The sound clip panel between the start-up and the closing steps.
    SoundPanel* m_sound = nullptr;
    RowTableModel* m_model = nullptr;
    bool m_unloaded = false;
    bool m_quitRequested = false;

    // Controls.
    QLabel* m_label1 = nullptr;
    QLineEdit* m_txtSndFile = nullptr;
    QPushButton* m_cmdFileLoad = nullptr;
    QFrame* m_frameSnd = nullptr;
    QToolButton* m_btnSndPlayPlause = nullptr;
    // The play button's two icons, made once: a new icon at every refresh (many a second
    // while the song plays) would be scaled afresh at every paint, and each copy kept in
    // the pixmap cache.
    QIcon m_playIcon;
    QIcon m_pauseIcon;
    QPushButton* m_btnSndReg = nullptr;
    QComboBox* m_combSndRate = nullptr;
    QLabel* m_lblSndRate = nullptr;
    QLineEdit* m_txtHour = nullptr;
    QLineEdit* m_txtMinute = nullptr;
    QLineEdit* m_txtSecond = nullptr;
    QLineEdit* m_txtFrame = nullptr;
    QCheckBox* m_chkSound = nullptr;
    QWidget* m_picSndPlay = nullptr;
    RangeSlider* m_sliderSnd = nullptr;
    QToolButton* m_btnUndo = nullptr;
    QAction* m_mnuUndo = nullptr;
    QAction* m_mnuRedo = nullptr;
    QToolButton* m_btnRedo = nullptr;
    QPushButton* m_btnVidCut = nullptr;
    QPushButton* m_btnVidCopy = nullptr;
    QPushButton* m_btnVidPaste = nullptr;
    QPushButton* m_btnSndDel = nullptr;
    QToolButton* m_btnUp = nullptr;
    QToolButton* m_btnDown = nullptr;
    RowTableView* m_grid = nullptr;
    QFrame* m_frameSave = nullptr;
    QCheckBox* m_chkPart = nullptr;
    QComboBox* m_cmboWMV = nullptr;
    QComboBox* m_cmboAVI = nullptr;
    QComboBox* m_cmboMP4 = nullptr;
    QPushButton* m_cmdCreateWMV = nullptr;
    QPushButton* m_cmdCreateAVI = nullptr;
    QPushButton* m_cmdCreateMP4 = nullptr;
    QPushButton* m_cmdPreview = nullptr;
    QLabel* m_lblRow = nullptr;
    QLabel* m_lblSndRangeMsec = nullptr;
    QLabel* m_lblVidRangeMsec = nullptr;
    QLabel* m_lblMsg = nullptr;
    QLabel* m_lblUsage = nullptr;

    // The beat assist's strip sits under the sound slider (owned by the application).
    BeatAssist* m_beats = nullptr;
};

} // namespace vk
