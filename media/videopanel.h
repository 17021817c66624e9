#pragma once
// The video registration panel: loads one video or still into the video player,
// previews it (play and pause, speed, mute, frame and jump stepping, the slider),
// keeps a range on its slider and registers spans of the loaded file into the rows of
// the row table.
//
// Everything the panel shows is held here as values — the file box text, the slider
// with its range, the position fields, the speed box, which controls are visible and
// enabled — and every user event of the window is one call below. The window redraws
// on changed() and never decides anything itself, so the whole panel runs and is
// tested without a display. Player failures (EngineError) and rows without a field a
// command needs (ConversionError) end the current command silently; play/pause and the seek
// skip a failing player call and carry on with the next one.

#include "base/keycodes.h"
#include "media/shotmarks.h"
#include "media/sourcewatch.h"
#include "media/transport.h"
#include "timeline/undohistory.h"
#include "timeline/videoregistration.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <optional>
#include <vector>

namespace vk {

class Editor;
class MediaPlayerEngine;

class VideoPanel final : public QObject, public VideoRegistration {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoPanel)

public:
    // The track bar in milliseconds with its range (the selection).
    using Slider = Transport::Slider;

    // Which controls are shown and usable. The set is switched by movieFiles and
    // pictureFiles; the range commands show and hide the repeat box and the jumps.
    struct Controls {
        bool pictureVisible = false; // picVidPlay / picMovie
        bool playVisible = true;     // btnVidPlayPlause
        bool selStartVisible = true; // cmdSelStart
        bool selEndVisible = true;   // cmdSelEnd
        bool selStartJmpVisible = false;
        bool selEndJmpVisible = false;
        bool contRegVisible = true;     // btnVidContReg
        bool muteVisible = true;        // chkMute
        bool rangeCheckVisible = false; // ChkRange
        bool sliderVisible = true;      // sliderVid
        bool positionVisible = true;    // txtHour, txtMinute, txtSecond, txtFrame
        bool rateVisible = true;        // lblVidRate, combVidRate
        bool regVisible = true;         // btnVidReg
        // Nothing can be played or registered before the first file is loaded.
        bool movieEnabled = false; // the play, range and continuous buttons
        bool regEnabled = false;   // btnVidReg
    };

    static constexpr int kPollInterval = 33;

    VideoPanel(Editor& editor, MediaPlayerEngine& player, QObject* parent = nullptr);
    ~VideoPanel() override;

    MediaPlayerEngine& player() { return m_player; }
    // The picture box the video player draws into (given to the player on every load).
    void setVideoWindow(QObject* window) { m_videoWindow = window; }
    // Folder holding "Slides/" with the solid-colour stills; the application's folder
    // unless set (tests point it elsewhere).
    void setApplicationFolder(const QString& folder) { m_appFolder = folder; }
    QString applicationFolder() const;

    // The panel's start: empty range text, the speed list at "1.0" (sent to the player),
    // slider maximum 100 and tick 1.
    void formLoad();

    // ---- state shown by the window --------------------------------------------------
    const QString& fileText() const { return m_fileText; }
    int videoLength() const { return m_length; }
    int frameInterval() const { return m_interval; }
    QSize pictureSize() const { return m_picture; }
    int position() const { return m_position; }
    const Slider& slider() const { return m_transport.slider(); }
    const Controls& controls() const { return m_controls; }
    bool isStill() const { return m_loaded && m_length == 0; }
    int rateIndex() const { return m_transport.rateIndex(); }
    const QString& rateText() const { return m_transport.rateText(); }
    bool mute() const { return m_mute; }
    bool rangeStop() const { return m_rangeStop; }
    const QString& rangeText() const { return m_rangeText; } // lblRangeMsec
    const QString& hourText() const { return m_transport.hourText(); }
    const QString& minuteText() const { return m_transport.minuteText(); }
    const QString& secondText() const { return m_transport.secondText(); }
    const QString& frameText() const { return m_transport.frameText(); }
    const QString& sliderToolTip() const { return m_transport.sliderToolTip(); }
    bool timerActive() const { return m_timer.isActive(); }
    int timerInterval() const { return m_timer.interval(); }

    // ---- file entry points ----------------------------------------------------------
    // The text typed into txtVidFile (kept as typed; registration writes it).
    void setFileText(const QString& text);
    // The browse button: open dialog, then load the chosen file.
    void browse();
    // Enter in txtVidFile: loads the box's text.
    void fileEnter();
    // Files dropped on the file box or the picture: the first one is loaded.
    void dropFiles(const QStringList& paths);
    // Loads a file into the player and the panel. True when it loaded; a failure has
    // shown its message (or none when the player knows nothing of the file) and left
    // the panel's controls and picture size as they were.
    bool VidFileLoad(const QString& path);
    void movieFiles();
    void pictureFiles();

    // ---- preview ------------------------------------------------------------------
    void PlayPause() override;
    // One poll of TimerVid while playing.
    void tick();
    // The user moved the slider to a value (clamped to its range); then the seek.
    void scrollTo(int value);
    // The seek to the slider's value.
    void sliderVid_scroll();
    // Click-to-position: a press and a release at the same point (twips from the
    // slider's left edge) moves the value there; `widthTwips` is the slider's width.
    void sliderMouseDown(int xTwips, int yTwips);
    void sliderMouseUp(int xTwips, int yTwips, int widthTwips);
    void showVidPosition(int ms);

    // The speed box: a list entry chosen (sent at once), text typed (kept), Enter
    // (the typed text is sent), and a speed put there by the row table.
    void chooseRate(int index);
    void typeRateText(const QString& text);
    void applyVidRateText();
    void setVidRatePercent(int percent);
    void setRateText(const QString& text) override;

    void setMute(bool on);
    void setRangeStop(bool on); // ChkRange

    // ---- shots of the loaded video ------------------------------------------------
    // The starts (ms) of the loaded video's shots but the first, once its analysis is
    // in; a new file clears them.
    void setShotBoundaries(std::vector<double> boundariesMs);
    // "ショットに吸着" on or off.
    void setShotSnap(bool on);
    const ShotMarks& shots() const { return m_shots; }
    // D / F: to the previous or next shot boundary (direction -1 or +1).
    void jumpToShotBoundary(int direction);

    // A key on the slider, with Shift/Ctrl/Alt bits (any of them is the modifier).
    void keyCommand(Key key, int shift);

    // ---- range and registration ----------------------------------------------------
    void selStart();        // Z
    void selEnd();          // X
    void selStartJump();    // C
    void selEndJump();      // V
    void VidRegister();     // S
    void VidContRegister(); // A
    // imgSolidColor 0, 1, 2: black, grey, white still, loaded and registered.
    void solidColor(int index);
    static QString solidColorFile(int index);

    // ---- what the row table asks --------------------------------------------------
    // Row selection: loads the row's video (column 2) at its in point with the range
    // set to its in..out points and "選択=…ms"; a still shows the still controls.
    void ShowRowVideo(int row) override;
    // A still image dropped on the row table: load it and register it into the selected row.
    void RegisterDroppedStill(const QString& path) override;

signals:
    void changed();
    // A movie file was loaded (not a still): its shots can be analysed.
    void movieLoaded(const QString& path);

private:
    void setSliderValue(int value);
    void stepTo(double value);
    void snapToShot();
    void removeRange();
    void showRangeControls();
    void jumpTo(int target);
    // Writes the span into the current row; with saveUndo, takes the undo snapshot just
    // before the first cell changes. False when there is no current row.
    bool registerSpan(int in, int out, bool saveUndo);
    void advanceRow(int row);
    void applyMute();
    void stopTimer();
    // The file was deleted or cut short while it played: the play stops where it is and
    // the user is told (`text`).
    void stopForLostSource(const QString& text);
    bool loadFile(const QString& path);

    Editor& m_editor;
    MediaPlayerEngine& m_player;
    QObject* m_videoWindow = nullptr;
    QString m_appFolder;
    QTimer m_timer;
    // The file the player holds: lost while it plays, or changed since the load (a row
    // of it unchanged needs a seek, not a new load).
    SourceWatch m_source;
    // The continuous registrations of one play, one undo step.
    UndoRun m_contRun;

    QString m_fileText;
    bool m_loaded = false;
    int m_length = 0;
    int m_interval = 33;
    QSize m_picture;
    int m_position = 0;
    Transport m_transport;
    Controls m_controls;
    bool m_mute = false;
    bool m_rangeStop = false;
    QString m_rangeText;
    ShotMarks m_shots;
};

} // namespace vk
