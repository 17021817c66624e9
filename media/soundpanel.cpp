#include "media/soundpanel.h"

#include "base/logging.h"
#include "base/numbers.h"
#include "base/speeds.h"
#include "media/mediaplayerengine.h"
#include "timeline/clipboardcommands.h"
#include "timeline/editor.h"
#include "timeline/projectcommands.h"

#include <QFileInfo>
#include <cmath>

namespace vk {

namespace {

// A clip that cannot be loaded is named on the line above the reason, so the user
// knows which file it was.
QString loadMessage(const QString& path, const QString& reason)
{
    return path + QLatin1Char('\n') + reason;
}

} // namespace

SoundPanel::SoundPanel(Editor& editor, MediaPlayerEngine& player, MediaPlayerEngine* beep, QObject* parent)
    : QObject(parent), m_editor(editor), m_player(player), m_beep(beep)
{
    m_timer.setInterval(33);
    connect(&m_timer, &QTimer::timeout, this, &SoundPanel::tick);
}

// ---- speed -------------------------------------------------------------------------

void SoundPanel::chooseRate(int index)
{
    m_transport.chooseRate(index);
    SndRateSet(RateIndexToPercent(index));
    emit changed();
}

void SoundPanel::typeRateText(const QString& text)
{
    m_transport.typeRateText(text);
}

void SoundPanel::SndRateFromText()
{
    const std::optional<int> percent = m_transport.typedPercent();
    if (!percent)
        return; // not a number: nothing is sent
    try {
        m_player.Command(QStringLiteral("set_rate_percent"), *percent, QString());
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "sound: set the typed speed", e);
    }
}

void SoundPanel::SndRateSet(int percent)
{
    try {
        m_player.Command(QStringLiteral("set_rate_percent"), percent, QString());
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "sound: set the speed", e);
    }
}

int SoundPanel::playerPosition()
{
    return m_player.GetPosition();
}

void SoundPanel::pausePlayerAt(int ms)
{
    m_player.Pause(ms, 0);
}

// ---- loading -----------------------------------------------------------------------

void SoundPanel::browse()
{
    if (m_editor.modified()) {
        if (m_editor.ui().askYesNo(QStringLiteral("プロジェクトが変更されています。保存しますか？"),
                                   UserDialogs::Icon::Exclamation)) {
            if (m_editor.projectCommands())
                m_editor.projectCommands()->SaveAsCommand();
            return;
        }
    }
    UserDialogs::FileDialog dialog;
    dialog.title = QStringLiteral("入力ファイルを開く");
    dialog.filter = QStringLiteral("音声、動画ファイル (*)");
    const auto path = m_editor.ui().openFileName(dialog);
    if (!path)
        return;
    m_editor.setSndFile(*path);
    SndFileLoad(m_editor.sndFile());
    m_editor.setModified(false);
}

void SoundPanel::SndFileOpen(const QString& path)
{
    if (m_editor.modified()) {
        if (m_editor.ui().askYesNo(QStringLiteral("プロジェクトが変更されています。保存しますか？"),
                                   UserDialogs::Icon::Exclamation)) {
            if (m_editor.projectCommands())
                m_editor.projectCommands()->SaveAsCommand();
            return;
        }
    }
    m_editor.setSndFile(path);
    SndFileLoad(m_editor.sndFile());
    m_editor.setModified(false);
}

void SoundPanel::SndFileLoad(const QString& path)
{
    UserDialogs& ui = m_editor.ui();
    if (path.isEmpty()) {
        ui.message(QStringLiteral("入力音声ファイルが指定されていません。"), UserDialogs::Icon::Exclamation);
        return;
    }
    m_controlsEnabled = true;
    emit changed();
    m_source.clear();
    try {
        m_timer.stop();
        m_player.Close();
        m_player.SetVideoWindow(m_videoWindow);
        m_player.Initialize(0, 1001, 1, QStringLiteral("7"));
        m_player.SetOption(QStringLiteral("soft_nouse"), -1);
        if (m_player.Open(path) == -1) {
            // A file that is not there is not a file of the wrong format.
            ui.message(loadMessage(path, QFileInfo::exists(path)
                                             ? QStringLiteral("入力ファイル形式が正しくありません。")
                                             : QStringLiteral("ファイルが見つかりません。")),
                       UserDialogs::Icon::Exclamation);
            return;
        }
        MediaInfo info;
        if (m_player.GetMediaInfo(info) == -1 || info.durationMsec <= 0) {
            ui.message(loadMessage(
                           path, QStringLiteral(
                                     "入力ファイル形式が正しくありません。動画または音声ファイルを指定してください。")),
                       UserDialogs::Icon::Exclamation);
            return;
        }
        const double spf = info.secondsPerFrame;
        const int interval = RoundToInt32(spf != 0.0 ? 1000.0 / (1.0 / spf) : 1000.0 / 30.0);
        m_editor.setSoundClip(info.durationMsec, interval);
        m_pictureVisible = info.width != 0 && info.height != 0;

        m_transport.setLength(m_editor.sndLength());
        m_position = 0;
        m_previousCheck = 0;

        m_player.Play(0);
        m_player.Pause(-1, 0);
        m_source.watch(path);
        SndPosShow(0);
        m_editor.sections().SndClear();
        ui.focusSoundSlider();
        emit loaded(path);
    } catch (const EngineError& e) {
        // The load ends here; what was reached so far stays.
        LogPassedOver(lcPlayer, "sound: load", e);
    } catch (const ConversionError& e) {
        // A length or frame interval beyond the editor's 32-bit times: likewise.
        LogPassedOver(lcEdit, "sound: load", e);
    }
    emit changed();
}

// ---- play, pause, timer ------------------------------------------------------------------

void SoundPanel::PlayPause()
{
    SndRateSet(RateIndexToPercent(m_transport.rateIndex()));
    int s = 0;
    try {
        s = m_player.GetState();
    } catch (const EngineError& e) {
        // Taken as playing: the play button then pauses, the safe way round.
        LogPassedOver(lcPlayer, "sound: read the state", e);
    }
    try {
        if (s == MediaPlayerEngine::Paused) {
            m_player.Play(m_position);
            m_timer.start(33);
            m_editor.sections().beginTapRun();
        } else {
            m_player.Play(m_position);
            m_player.Pause(m_position, 0);
            m_timer.stop();
            m_editor.sections().endTapRun();
        }
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "sound: play or pause", e);
    }
    m_editor.ui().focusSoundSlider();
    emit changed();
}

void SoundPanel::tick()
{
    if (const QString lost = m_source.check(); !lost.isEmpty()) {
        stopForLostSource(lost);
        return;
    }
    try {
        m_position = m_player.GetPosition();
        SndBeepCheck(m_position);
        m_transport.setValue(m_position);
        SndPosShow(m_position);
        if (m_position >= m_editor.sndLength() - 30) {
            m_player.Stop();
            m_player.Pause(m_position, 0);
            m_timer.stop();
            m_editor.sections().endTapRun();
        }
    } catch (const EngineError& e) {
        m_timer.stop();
        LogPassedOver(lcPlayer, "sound: follow the play position", e);
    } catch (const ConversionError&) {
        // A position beyond the time text's range: the read-out keeps its last value
        // until the next tick.
    }
    emit changed();
}

void SoundPanel::stopForLostSource(const QString& text)
{
    // Stopped before the message: its event loop must not run the timer on.
    m_timer.stop();
    try {
        m_player.Stop();
        m_player.Pause(-1, 0);
        m_position = m_player.GetPosition();
        m_transport.setValue(m_position);
        SndPosShow(m_position);
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "sound: stop at a lost clip", e);
    } catch (const ConversionError&) {
        // A position beyond the time text's range: the read-out keeps its last value.
    }
    m_editor.sections().endTapRun();
    emit changed();
    m_editor.ui().message(text, UserDialogs::Icon::Exclamation);
}

// ---- seeking ------------------------------------------------------------------------

void SoundPanel::scrollTo(int value)
{
    m_transport.setValue(value);
    sliderSnd_scroll();
}

void SoundPanel::sliderSnd_scroll()
{
    m_position = m_transport.slider().value;
    try {
        SndBeepCheck(m_position);
    } catch (const std::exception& e) {
        // The beep is a help while scrolling; the scroll goes on without it.
        LogPassedOver(lcPlayer, "sound: beep at a section start", e);
    }
    try {
        if (m_player.GetState() == MediaPlayerEngine::Running) {
            m_player.Pause(m_position, 0);
            m_player.Play(m_position);
        } else {
            m_player.Pause(m_position, 0);
        }
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "sound: seek to the slider", e);
    }
    try {
        SndPosShow(m_transport.slider().value);
    } catch (const ConversionError&) {
        // A slider value beyond the time text's range: the read-out keeps its last value.
    }
    const int row = m_editor.MsecToRow(m_position);
    if (row >= 1)
        m_editor.selection().SelectRow(row);
    emit changed();
}

void SoundPanel::sliderMouseDown(int xTwips, int yTwips)
{
    m_transport.pressAt(xTwips, yTwips);
}

void SoundPanel::sliderMouseUp(int xTwips, int yTwips, int widthTwips)
{
    if (!m_transport.releasedInPlace(xTwips, yTwips))
        return;
    const double usable = double(widthTwips - 480);
    if (usable <= 0)
        return;
    try {
        m_transport.setValue(RoundToInt32(double(m_transport.slider().max) / usable * double(xTwips - 180)));
    } catch (const ConversionError&) {
        return;
    }
    sliderSnd_scroll();
}

void SoundPanel::rewind()
{
    try {
        m_player.Stop();
        m_player.Pause(-1, 0);
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "sound: rewind", e);
    }
    m_timer.stop();
    m_transport.slider().value = 0;
    sliderSnd_scroll();
    m_editor.Grid().currentRow = 1;
    m_editor.selection().SelectRow(1);
    emit changed();
}

void SoundPanel::halt()
{
    try {
        m_player.Stop();
        m_player.Pause(-1, 0);
    } catch (const EngineError& e) {
        LogPassedOver(lcPlayer, "sound: stop", e);
    }
    m_timer.stop();
    emit changed();
}

void SoundPanel::moveBy(double delta)
{
    try {
        scrollTo(RoundToInt32(double(m_transport.slider().value) + delta));
    } catch (const ConversionError&) {
        // A step past the editor's 32-bit times: the slider stays where it is.
    }
}

void SoundPanel::MainKeyCommand(Key key, int shift)
{
    const std::optional<double> step =
        Transport::keyStep(key, shift, m_editor.sndFrameInterval(), m_editor.sndLength());
    if (step)
        moveBy(*step);
    switch (key) {
    case Key::Space:
    case Key::Enter:
        PlayPause();
        break;
    case Key::A:
        m_editor.sections().SndRegister();
        break;
    case Key::E:
    case Key::Delete:
        m_editor.sections().SndDelete();
        break;
    default:
        break;
    }
    if (key == Key::R && m_editor.clipboardCommands())
        m_editor.clipboardCommands()->Cut();
}

// ---- position read-out and the beep -----------------------------------------------------

void SoundPanel::SndPosShow(int ms)
{
    m_transport.showPosition(ms, m_editor.sndFrameInterval());
}

void SoundPanel::SndBeepCheck(int p)
{
    if (!m_beepOn) {
        m_previousCheck = p;
        return;
    }
    const RowTable& g = m_editor.Grid();
    for (int i = 2; i < g.Rows(); ++i) {
        const std::optional<int>& start = g.row(i).start;
        if (!start)
            continue;
        const int b = *start;
        if ((m_previousCheck <= b && b < p) || (p <= b && b < m_previousCheck)) {
            if (m_beep) {
                try {
                    m_beep->Pause(0, 0);
                    m_beep->Play(0);
                } catch (const EngineError& e) {
                    LogPassedOver(lcPlayer, "sound: beep", e);
                }
            }
            break;
        }
    }
    m_previousCheck = p;
}

} // namespace vk
