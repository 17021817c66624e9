#pragma once
// The main window: the sound clip panel, the row table, the editing buttons, the
// output controls and the menus. It owns the application state (the editor), the
// three players and the video registration panel, and ends the program when it
// closes.

#include "app/frmeffect.h"
#include "app/frmvid.h"
#include "app/windowhook.h"
#include "web/aboutdialog.h"
#include "web/makerpage.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

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

class ClipImport;
class Editor;
class MediaPlayerEngine;
class OutputDriver;
class ProjectFile;
class QtDialogs;
class QSettingsStore;
class RowTableModel;
class RowTableView;
class SoundPanel;
class VideoClipboard;
class VideoPanel;

class frmMain final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMain)

public:
    using EngineFactory = std::function<std::unique_ptr<MediaPlayerEngine>()>;

    // `arguments` are the program's arguments without its name; `probe` gives the
    // media stack version (0x800 or more when playback can work).
    frmMain(EngineFactory engines, std::function<int()> probe, const QStringList& arguments);
    ~frmMain() override;

    // The start-up sequence: lists, settings, row table, players, probe, both windows,
    // the project named on the command line, the wheel hook.
    void Form_Load();
    // Layout rule: minimum size, then the grid, the message label and the slider follow
    // the window size.
    void Form_Resize();

    Editor& editor() { return *m_editor; }
    SoundPanel& soundPanel() { return *m_sound; }
    VideoPanel& videoPanel() { return *m_video; }
    frmVid* videoWindow() { return m_frmVid; }
    OutputDriver& outputDriver() { return *m_output; }
    RowTableView& grid() { return *m_grid; }

    // Test access to the controls by their names.
    template <typename T>
    T* control(const char* name) { return findChild<T*>(QLatin1String(name)); }

    // The opener of the help menu's pages; empty gives the desktop's browser.
    void setUrlOpener(UrlOpener opener);

    // Ends the program without the closing steps (automation Quit).
    void quitNow();
    // True once the program was asked to end: the end of the event loop asked for
    // during start-up (say, while a start-up message waits) has already happened when
    // the main loop would start, so the caller must not start it.
    bool quitRequested() const { return m_quitRequested; }

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
    void readSettings();
    void writeSettings();
    bool Form_QueryUnload();
    void Form_Unload();
    void mnuNew();
    void openEffectDialog(int row);

    EngineFactory m_engineFactory;
    std::function<int()> m_probe;
    QStringList m_arguments;

    std::unique_ptr<QtDialogs> m_ui;
    std::unique_ptr<QSettingsStore> m_settings;
    UrlOpener m_urlOpener = UrlOpenerOrDesktop({});
    WindowHook m_hook;
    std::unique_ptr<Editor> m_editor;
    std::unique_ptr<MediaPlayerEngine> m_sndPlayer;
    std::unique_ptr<MediaPlayerEngine> m_vidPlayer;
    std::unique_ptr<MediaPlayerEngine> m_beepPlayer;
    std::unique_ptr<SoundPanel> m_sound;
    std::unique_ptr<VideoPanel> m_video;
    std::unique_ptr<ProjectFile> m_project;
    std::unique_ptr<ClipImport> m_import;
    std::unique_ptr<VideoClipboard> m_clipboard;
    std::unique_ptr<OutputDriver> m_output;
    QPointer<frmVid> m_frmVid;
    QPointer<frmEffect> m_frmEffect;
    QPointer<AboutDialog> m_about;
    RowTableModel* m_model = nullptr;
    bool m_closing = false;
    bool m_unloaded = false;
    bool m_quitRequested = false;

    // Controls.
    QLabel* m_label1 = nullptr;
    QLineEdit* m_txtSndFile = nullptr;
    QPushButton* m_cmdFileLoad = nullptr;
    QFrame* m_frameSnd = nullptr;
    QToolButton* m_btnSndPlayPlause = nullptr;
    QPushButton* m_btnSndReg = nullptr;
    QComboBox* m_combSndRate = nullptr;
    QLabel* m_lblSndRate = nullptr;
    QLineEdit* m_txtHour = nullptr;
    QLineEdit* m_txtMinute = nullptr;
    QLineEdit* m_txtSecond = nullptr;
    QLineEdit* m_txtFrame = nullptr;
    QCheckBox* m_chkSound = nullptr;
    QWidget* m_picSndPlay = nullptr;
    QSlider* m_sliderSnd = nullptr;
    QToolButton* m_btnUndo = nullptr;
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
};

} // namespace vk
