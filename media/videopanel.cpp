#include "media/videopanel.h"

#include "base/numbers.h"
#include "base/paths.h"
#include "base/speeds.h"
#include "base/timetext.h"
#include "media/mediaplayerengine.h"
#include "media/videopanelsupport.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

namespace vk {

using namespace videopanel;

VideoPanel::VideoPanel(Editor& editor, MediaPlayerEngine& player, QObject* parent)
    : QObject(parent), m_editor(editor), m_player(player)
{
    // The poll does not tick before the first play.
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &VideoPanel::tick);
}

VideoPanel::~VideoPanel() = default;

QString VideoPanel::applicationFolder() const
{
    return m_appFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_appFolder;
}

void VideoPanel::formLoad()
{
    ChangedOnExit done(*this);
    m_rangeText.clear();
    m_transport.slider().max = 100;
    m_transport.slider().tick = 1;
    command([&] { chooseRate(6); });
}

// ---- file entry points ----------------------------------------------------------------

void VideoPanel::setFileText(const QString& text)
{
    m_fileText = text;
}

void VideoPanel::browse()
{
    ChangedOnExit done(*this);
    const auto name = m_editor.ui().openFileName(
        {QStringLiteral("入力ファイルを開く"), QStringLiteral("動画、静止画ファイル (*)"), QString(), QString()});
    if (!name)
        return;
    m_fileText = *name;
    VidFileLoad(m_fileText);
}

void VideoPanel::fileEnter()
{
    ChangedOnExit done(*this);
    VidFileLoad(m_fileText);
}

void VideoPanel::dropFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    ChangedOnExit done(*this);
    m_fileText = paths.first();
    VidFileLoad(m_fileText);
}

bool VideoPanel::VidFileLoad(const QString& path)
{
    ChangedOnExit done(*this);
    bool ok = false;
    command([&] { ok = loadFile(path); });
    return ok;
}

bool VideoPanel::loadFile(const QString& path)
{
    if (path.isEmpty()) {
        m_editor.ui().message(kNoFile, UserDialogs::Icon::Warning);
        return false;
    }
    m_source.clear();
    m_player.Close();
    m_player.SetVideoWindow(m_videoWindow);
    m_player.Initialize(0, 1000, 1, QStringLiteral("7"));
    m_player.SetOption(QStringLiteral("soft_nouse"), -1);
    if (m_player.Open(path) == -1) {
        // A file that is not there is not a file of the wrong format.
        m_editor.ui().message(loadMessage(path, QFileInfo::exists(path) ? kBadFormat : kNotFound),
                              UserDialogs::Icon::Warning);
        return false;
    }
    MediaInfo info;
    if (m_player.GetMediaInfo(info) == -1)
        return false;
    const int length = info.durationMsec;
    const double s = info.secondsPerFrame;
    const int interval = s == 0.0 ? RoundToInt32(1000.0 / 30.0) : RoundToInt32(1000.0 / (1.0 / s));
    if (info.width == 0 || info.height == 0) {
        // A file without a picture: the panel keeps everything it showed, its length
        // and frame interval included, so a registration cannot mix this file's
        // numbers with the previous picture.
        m_editor.ui().message(loadMessage(path, kNoPicture), UserDialogs::Icon::Warning);
        return false;
    }
    m_length = length;
    m_interval = interval;
    m_picture = QSize(info.width, info.height);
    m_loaded = true;
    m_controls.pictureVisible = true;
    m_shots.clear();
    if (m_length != 0) {
        movieFiles();
        m_transport.setLength(m_length);
    } else {
        pictureFiles();
    }
    m_player.Play(0);
    m_position = 0;
    m_player.Pause(-1, 0);
    m_source.watch(path);
    // A movie starts its range at 0 and marks it from the slider's value: a range not
    // shown before becomes the whole file, one carried over from a longer file is cut
    // at this one's end. A still has no range of its own: the still controls stay as
    // they are and the range is kept for the next movie.
    if (m_length != 0) {
        m_transport.slider().selStart = 0;
        if (m_transport.slider().selEnd() > m_length)
            m_transport.slider().selLength = m_length;
        selStart();
        emit movieLoaded(path);
    }
    return true;
}

void VideoPanel::movieFiles()
{
    m_controls.playVisible = true;
    m_controls.selStartVisible = true;
    m_controls.selEndVisible = true;
    m_controls.selStartJmpVisible = true;
    m_controls.selEndJmpVisible = true;
    m_controls.contRegVisible = true;
    m_controls.movieEnabled = true;
    m_controls.muteVisible = true;
    m_controls.rangeCheckVisible = true;
    m_controls.sliderVisible = true;
    m_controls.positionVisible = true;
    m_controls.rateVisible = true;
    m_controls.regVisible = true;
    m_controls.regEnabled = true;
    emit changed();
}

void VideoPanel::pictureFiles()
{
    m_controls.playVisible = false;
    m_controls.selStartVisible = false;
    m_controls.selEndVisible = false;
    m_controls.selStartJmpVisible = false;
    m_controls.selEndJmpVisible = false;
    m_controls.contRegVisible = false;
    m_controls.muteVisible = false;
    m_controls.rangeCheckVisible = false;
    m_controls.sliderVisible = false;
    m_controls.positionVisible = false;
    m_controls.rateVisible = false;
    m_controls.regVisible = true;
    m_controls.regEnabled = true;
    m_rangeText.clear();
    emit changed();
}

// ---- preview ----------------------------------------------------------------------------

void VideoPanel::applyMute()
{
    m_player.SetVolume(m_mute ? -10000 : 0);
}

void VideoPanel::stopTimer()
{
    m_timer.stop();
}

void VideoPanel::PlayPause()
{
    ChangedOnExit done(*this);
    step([&] { applyMute(); });
    applyVidRateText();
    int s = 0;
    step([&] { s = m_player.GetState(); });
    if (s == MediaPlayerEngine::Paused) {
        step([&] { m_player.Play(m_position); });
        m_timer.setInterval(kPollInterval);
        m_timer.start();
        m_contRun.begin(m_editor.history());
    } else {
        step([&] { m_player.Play(m_position); });
        step([&] { m_player.Pause(m_position, 0); });
        stopTimer();
        m_contRun.end();
    }
}

void VideoPanel::tick()
{
    ChangedOnExit done(*this);
    if (const QString lost = m_source.check(); !lost.isEmpty()) {
        stopForLostSource(lost);
        return;
    }
    command([&] {
        const int position = m_player.GetPosition();
        m_position = position;
        setSliderValue(position);
        showVidPosition(position);
        if ((long long)position >= (long long)m_length - 30) {
            m_player.Stop();
            m_player.Pause(position, 0);
            stopTimer();
        }
        const Slider& range = m_transport.slider();
        if (m_rangeStop && (long long)position > (long long)range.selStart + range.selLength)
            jumpTo(range.selStart);
    });
}

void VideoPanel::stopForLostSource(const QString& text)
{
    // Stopped before the message: its event loop must not run the timer on.
    stopTimer();
    m_contRun.end();
    step([&] { m_player.Stop(); });
    step([&] { m_player.Pause(-1, 0); });
    command([&] {
        m_position = m_player.GetPosition();
        setSliderValue(m_position);
        showVidPosition(m_position);
    });
    emit changed();
    m_editor.ui().message(text, UserDialogs::Icon::Warning);
}

void VideoPanel::setSliderValue(int value)
{
    m_transport.setValue(value);
}

void VideoPanel::scrollTo(int value)
{
    ChangedOnExit done(*this);
    setSliderValue(value);
    sliderVid_scroll();
}

void VideoPanel::sliderVid_scroll()
{
    ChangedOnExit done(*this);
    m_position = m_transport.slider().value;
    int s = 0;
    step([&] { s = m_player.GetState(); });
    if (s == MediaPlayerEngine::Running) {
        step([&] { m_player.Pause(m_position, 0); });
        step([&] { m_player.Play(m_position); });
    } else {
        step([&] { m_player.Pause(m_position, 0); });
    }
    command([&] { showVidPosition(m_transport.slider().value); });
}

void VideoPanel::sliderMouseDown(int xTwips, int yTwips)
{
    m_transport.pressAt(xTwips, yTwips);
}

void VideoPanel::sliderMouseUp(int xTwips, int yTwips, int widthTwips)
{
    if (!m_transport.releasedInPlace(xTwips, yTwips))
        return;
    ChangedOnExit done(*this);
    command([&] {
        const int channel = widthTwips - 400;
        if (channel <= 0)
            return;
        const double max = m_transport.slider().max;
        const int value = RoundToInt32((double(xTwips) / double(channel) - 0.025) * max);
        setSliderValue(value);
        sliderVid_scroll();
        showVidPosition(m_transport.slider().value);
    });
}

void VideoPanel::showVidPosition(int ms)
{
    m_transport.showPosition(ms, m_interval);
}

void VideoPanel::chooseRate(int index)
{
    ChangedOnExit done(*this);
    const int percent = RateIndexToPercent(index);
    if (percent == 0)
        return;
    m_transport.chooseRate(index);
    command([&] { setVidRatePercent(percent); });
}

void VideoPanel::typeRateText(const QString& text)
{
    m_transport.typeRateText(text);
}

void VideoPanel::applyVidRateText()
{
    const std::optional<int> percent = m_transport.typedPercent();
    if (!percent)
        return;
    step([&] { setVidRatePercent(*percent); });
}

void VideoPanel::setVidRatePercent(int percent)
{
    m_player.Command(QStringLiteral("set_rate_percent"), percent, QString());
}

void VideoPanel::setRateText(const QString& text)
{
    ChangedOnExit done(*this);
    typeRateText(text);
}

void VideoPanel::setMute(bool on)
{
    ChangedOnExit done(*this);
    m_mute = on;
    command([&] { applyMute(); });
}

void VideoPanel::setRangeStop(bool on)
{
    ChangedOnExit done(*this);
    m_rangeStop = on;
}

void VideoPanel::stepTo(double value)
{
    // Values past either end stop at the slider's minimum or maximum.
    const Slider& s = m_transport.slider();
    const double clamped = std::clamp(value, double(s.min), double(std::max(s.min, s.max)));
    setSliderValue(RoundToInt32(clamped));
    sliderVid_scroll();
}

void VideoPanel::keyCommand(Key key, int shift)
{
    ChangedOnExit done(*this);
    const double v = m_transport.slider().value;
    const std::optional<double> move = Transport::keyStep(key, shift, m_interval, m_length);
    command([&] {
        if (move) {
            stepTo(v + *move);
            return;
        }
        switch (key) {
        case Key::Space:
        case Key::Enter:
            PlayPause();
            break;
        case Key::A:
            VidContRegister();
            break;
        case Key::Z:
            snapToShot();
            selStart();
            break;
        case Key::X:
            snapToShot();
            selEnd();
            break;
        case Key::D:
            jumpToShotBoundary(-1);
            break;
        case Key::F:
            jumpToShotBoundary(+1);
            break;
        case Key::S:
            VidRegister();
            break;
        case Key::C:
            selStartJump();
            break;
        case Key::V:
            selEndJump();
            break;
        default:
            break;
        }
    });
}

// ---- shots ---------------------------------------------------------------------------

void VideoPanel::setShotBoundaries(std::vector<double> boundariesMs)
{
    ChangedOnExit done(*this);
    m_shots.setBoundaries(std::move(boundariesMs));
}

void VideoPanel::setShotSnap(bool on)
{
    ChangedOnExit done(*this);
    m_shots.setSnap(on);
}

void VideoPanel::snapToShot()
{
    if (!m_shots.snap() || m_length == 0)
        return;
    if (const auto target = m_shots.snapTarget(m_transport.slider().value, m_interval))
        stepTo(*target);
}

void VideoPanel::jumpToShotBoundary(int direction)
{
    ChangedOnExit done(*this);
    if (m_length == 0 || m_shots.boundaries().empty())
        return;
    const int v = m_transport.slider().value;
    command([&] {
        if (direction < 0)
            stepTo(m_shots.previous(v));
        else if (const auto next = m_shots.next(v))
            stepTo(*next);
    });
}

} // namespace vk
