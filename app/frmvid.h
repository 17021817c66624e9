#pragma once
// The video registration panel's window "映像登録ﾊﾟﾈﾙ": a second top-level window beside
// the main window. It shows the state of its VideoPanel controller and turns every user
// event into one call on it: the file box and browse button, drops on the file box and
// the picture, the slider (drag, click-to-position, keys), play/pause, mute, speed, the
// range buttons, the registrations and the three solid-colour stills. After each
// command the keyboard focus goes back to the slider, so the single-key commands keep
// working.
//
// Sizes follow the panel's layout rule in twips (15 per pixel): the picture and the
// slider take the window's width, the button frame sits at the bottom, and a window
// shrunk below the minimum grows back. Placement is read from and written to the
// settings "video_left", "video_top", "video_width" and "video_height".
//
// Closing the panel ends the application (after the unsaved-project question): the
// window emits quitRequested(), which the main window connects to its own close.

#include "base/twips.h"

#include <QIcon>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace vk {

class Editor;
class Filmstrip;
class RangeSlider;
class SettingsStore;
struct ShotAnalysis;
class VideoPanel;

class frmVid final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmVid)

public:
    static constexpr int kTwipsPerPixel = vk::kTwipsPerPixel;

    // `icon` is the main window's icon. The panel's start (speed "1.0", slider 0..100)
    // and the placement from the settings happen here. The panel stays a top-level
    // window even with a parent.
    frmVid(Editor& editor, VideoPanel& panel, SettingsStore& settings, const QIcon& icon, QWidget* parent = nullptr);
    // With the main window as parent: its icon becomes the panel's.
    frmVid(Editor& editor, VideoPanel& panel, SettingsStore& settings, QWidget* mainWindow);
    ~frmVid() override;

    // Where picMovie goes inside `box` (picVidPlay) for a picture of size `picture`: as
    // large as fits, centred, keeping the picture's aspect.
    static QRect fitMovieWindow(QSize picture, const QRect& box);

    // The widget the video player draws into (picMovie).
    QWidget* movieWidget() const { return m_picMovie; }
    // Writes left, top, width and height (twips) to the settings.
    void savePlacement();
    // The filmstrip under the slider (shown once the movie's shots are in).
    Filmstrip* filmstrip() const { return m_filmstrip; }
    // The application's own shutdown: saves the placement and closes without asking.
    void closeForShutdown();

    // The making of the viewing copy of `original`: its progress (0..1) shows beside the
    // file box while `original` is the file in the panel; the copy made, or given up
    // (`finished`), the bar goes.
    void showCopyProgress(const QString& original, double fraction);
    void copyFinished(const QString& original);
    // The bar beside the file box (tests read it).
    QProgressBar* copyProgress() const { return m_copyProgress; }

    // The shots of the movie just loaded: their analysis started (the strip shows its
    // progress from 0), its progress (0..1), and its outcome (the shots, or why there
    // are none).
    void showShotsComing();
    void showShotProgress(double fraction);
    void showShots(const ShotAnalysis& analysis);

signals:
    // The user closed the panel and chose to end the application.
    void quitRequested();
    // A still took the place of a movie: the analysis of its shots is no longer wanted.
    void stillShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void loadPlacement();
    void refresh();
    void layoutControls();
    // The file box's row: label, box, the copy's bar, browse button.
    void layoutFileRow(int windowW);
    void fitMovie();
    void focusSlider();
    bool dropEvent(QEvent* event);

    Editor& m_editor;
    VideoPanel& m_panel;
    SettingsStore& m_settings;
    QPointer<VideoPanel> m_panelAlive;

    QLabel* m_lblVidFile = nullptr;
    QLineEdit* m_txtVidFile = nullptr;
    QPushButton* m_cmdFileLoad = nullptr;
    QProgressBar* m_copyProgress = nullptr;
    QString m_copyOf; // the file whose copy the bar shows
    QFrame* m_picVidPlay = nullptr;
    QWidget* m_picMovie = nullptr;
    RangeSlider* m_sliderVid = nullptr;
    QFrame* m_frameVid = nullptr;
    QPushButton* m_btnVidPlayPlause = nullptr;
    // The play button's two icons, made once (see frmMain).
    QIcon m_playIcon;
    QIcon m_pauseIcon;
    QCheckBox* m_chkMute = nullptr;
    QLabel* m_lblVidRate = nullptr;
    QComboBox* m_combVidRate = nullptr;
    QLineEdit* m_txtHour = nullptr;
    QLineEdit* m_txtMinute = nullptr;
    QLineEdit* m_txtSecond = nullptr;
    QLineEdit* m_txtFrame = nullptr;
    QCheckBox* m_ChkRange = nullptr;
    QCheckBox* m_chkShotSnap = nullptr;
    Filmstrip* m_filmstrip = nullptr;
    QPushButton* m_cmdSelStart = nullptr;
    QPushButton* m_cmdSelEnd = nullptr;
    QPushButton* m_cmdSelStartJmp = nullptr;
    QPushButton* m_cmdSelEndJmp = nullptr;
    QPushButton* m_btnVidReg = nullptr;
    QPushButton* m_btnVidContReg = nullptr;
    QLabel* m_imgSolidColor[3] = {nullptr, nullptr, nullptr};
    QLabel* m_lblRangeMsec = nullptr;
    QPlainTextEdit* m_txtShortcut = nullptr;

    bool m_refreshing = false;
    bool m_unloading = false;
};

} // namespace vk
