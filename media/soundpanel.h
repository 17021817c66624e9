#pragma once
// The sound clip panel of the main window: loads the sound clip into the sound player,
// plays and pauses it, seeks with the slider, the mouse and the keys, changes the
// playback speed, shows the play position and sounds the confirmation beep when the
// play position crosses a section boundary. It owns the sound clip length and the
// sound frame interval (kept in the editor state) and the main window's key commands.
//
// The window binds its slider, speed box, position fields and check box to this
// controller: user events call the methods below and the window redraws on changed().

#include "base/keycodes.h"
#include "media/sourcewatch.h"
#include "media/transport.h"
#include "timeline/soundtransport.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace vk {

class Editor;
class MediaPlayerEngine;

class SoundPanel final : public QObject, public SoundTransport {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SoundPanel)

public:
    using Slider = Transport::Slider;

    SoundPanel(Editor& editor, MediaPlayerEngine& player, MediaPlayerEngine* beep, QObject* parent = nullptr);

    MediaPlayerEngine& player() { return m_player; }
    // The row table's reads and pauses of the sound player.
    int playerPosition() override;
    void pausePlayerAt(int ms) override;
    // The picture box the sound player draws the pictures of a clip with video into.
    void setVideoWindow(QObject* window) { m_videoWindow = window; }

    // ---- state shown by the window --------------------------------------------------
    const Slider& slider() const { return m_transport.slider(); }
    int position() const { return m_position; }
    bool timerActive() const { return m_timer.isActive(); }
    bool controlsEnabled() const { return m_controlsEnabled; }
    bool pictureVisible() const { return m_pictureVisible; }
    // The four position fields and the slider's tool tip.
    const QString& hourText() const { return m_transport.hourText(); }
    const QString& minuteText() const { return m_transport.minuteText(); }
    const QString& secondText() const { return m_transport.secondText(); }
    const QString& frameText() const { return m_transport.frameText(); }
    const QString& sliderToolTip() const { return m_transport.sliderToolTip(); }
    // The speed box: the chosen list index (-1 when its text was typed) and its text.
    int rateIndex() const { return m_transport.rateIndex(); }
    const QString& rateText() const override { return m_transport.rateText(); }

    // ---- user events --------------------------------------------------------------
    void setBeepOn(bool on) { m_beepOn = on; }
    // A list entry chosen in the speed box (sends its speed to the player).
    void chooseRate(int index);
    // Text typed into the speed box (not yet sent).
    void typeRateText(const QString& text);
    // Enter in the speed box: sends the typed speed.
    void SndRateFromText();
    void SndRateSet(int percent);

    // The browse button, Enter in the path field, a dropped file.
    void browse();
    void SndFileOpen(const QString& path);
    void SndFileLoad(const QString& path) override;

    void PlayPause() override;
    void tick();
    // The user moved the slider to a value (clamped to its range), then the seek.
    void scrollTo(int value) override;
    void sliderSnd_scroll();
    // Click-to-position: x in twips from the slider's left edge, widthTwips its width.
    void sliderMouseDown(int xTwips, int yTwips);
    void sliderMouseUp(int xTwips, int yTwips, int widthTwips);
    void rewind();
    // Stops the player where it is and the timer (row selection).
    void halt() override;
    void MainKeyCommand(Key key, int shift) override;

    void SndPosShow(int ms);
    void SndBeepCheck(int p);

signals:
    void changed();
    // A sound clip was loaded and is ready to play (after the table was reset).
    void loaded(const QString& path);

private:
    void moveBy(double delta);
    // The clip was deleted or cut short while it played: the play stops where it is
    // and the user is told (`text`).
    void stopForLostSource(const QString& text);

    Editor& m_editor;
    MediaPlayerEngine& m_player;
    MediaPlayerEngine* m_beep;
    QObject* m_videoWindow = nullptr;
    QTimer m_timer;
    SourceWatch m_source;

    Transport m_transport;
    int m_position = 0;
    int m_previousCheck = 0;
    bool m_controlsEnabled = false;
    bool m_pictureVisible = false;
    bool m_beepOn = true;
};

} // namespace vk
