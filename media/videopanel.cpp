#include "media/videopanel.h"

#include "app/editor.h"
#include "app/helpers.h"
#include "media/mediaplayerengine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

namespace vk {

namespace {

const QString kNoFile = QStringLiteral("入力映像ファイルが指定されていません。");
const QString kBadFormat = QStringLiteral("入力ファイル形式が正しくありません。");
const QString kNoPicture = QStringLiteral("入力ファイル形式が正しくありません。動画または静止画ファイルを指定してください。");
const QString kNoSound = QStringLiteral("音声ﾌｧｲﾙが正しく読み込まれていません。");
const QString kNotFound = QStringLiteral("ファイルが見つかりません。");

// A file that cannot be loaded is named on the line above the reason, so the user
// knows which file it was (a row's registration, a dropped still).
QString loadMessage(const QString& path, const QString& reason)
{
    return path + QLatin1Char('\n') + reason;
}

// Runs one command: a player call that fails, a cell that cannot be read or a row that
// does not exist ends it without a message; the steps already done stay done.
template <typename F>
void command(F&& f)
{
    try {
        f();
    } catch (const EngineError&) {
    } catch (const ConversionError&) {
    } catch (const std::out_of_range&) {
    }
}

// One step of play/pause or the seek: a failing player call is skipped.
template <typename F>
void step(F&& f)
{
    try {
        f();
    } catch (const EngineError&) {
    }
}

// Tells the window to redraw once the event is handled, however it ends.
class ChangedOnExit final {
public:
    explicit ChangedOnExit(VideoPanel& panel) : m_panel(panel) {}
    ~ChangedOnExit() { emit m_panel.changed(); }
    ChangedOnExit(const ChangedOnExit&) = delete;
    ChangedOnExit& operator=(const ChangedOnExit&) = delete;

private:
    VideoPanel& m_panel;
};

bool hasModifier(int shift)
{
    return (shift & (Shift::Shift | Shift::Ctrl | Shift::Alt)) != 0;
}

} // namespace

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
    m_slider.max = 100;
    m_slider.tick = 1;
    command([&] { chooseRate(6); });
}

QRect VideoPanel::fitMovieWindow(QSize picture, const QRect& box)
{
    if (picture.width() <= 0 || picture.height() <= 0 || box.width() <= 0 || box.height() <= 0)
        return box;
    const double a = double(picture.width()) / double(picture.height());
    const double W = box.width();
    const double H = box.height();
    double w = 0;
    double h = 0;
    if (W / H >= a) {
        h = H;
        w = H * a;
    } else {
        w = W;
        h = W / a;
    }
    const int width = RoundToInt32(w);
    const int height = RoundToInt32(h);
    const int left = RoundToInt32((W - width) / 2.0) + box.left();
    const int top = RoundToInt32((H - height) / 2.0) + box.top();
    return QRect(left, top, width, height);
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
        m_editor.ui().message(kNoFile, Ui::Icon::Warning);
        return false;
    }
    m_player.Close();
    m_player.SetVideoWindow(m_videoWindow);
    m_player.Initialize(0, 1000, 1, QStringLiteral("7"));
    m_player.SetOption(QStringLiteral("soft_nouse"), -1);
    if (m_player.Open(path) == -1) {
        // A file that is not there is not a file of the wrong format.
        m_editor.ui().message(loadMessage(path, QFileInfo::exists(path) ? kBadFormat : kNotFound), Ui::Icon::Warning);
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
        m_editor.ui().message(loadMessage(path, kNoPicture), Ui::Icon::Warning);
        return false;
    }
    m_length = length;
    m_interval = interval;
    m_picture = QSize(info.width, info.height);
    m_loaded = true;
    m_controls.pictureVisible = true;
    if (m_length != 0) {
        movieFiles();
        m_slider.min = 0;
        m_slider.max = m_length;
        m_slider.value = 0;
        m_slider.tick = RoundToInt32(double(m_length) / 100.0);
    } else {
        pictureFiles();
    }
    m_player.Play(0);
    m_position = 0;
    m_player.Pause(-1, 0);
    // A movie starts its range at 0 and marks it from the slider's value: a range not
    // shown before becomes the whole file, one carried over from a longer file is cut
    // at this one's end. A still has no range of its own: the still controls stay as
    // they are and the range is kept for the next movie.
    if (m_length != 0) {
        m_slider.selStart = 0;
        if (m_slider.selEnd() > m_length)
            m_slider.selLength = m_length;
        selStart();
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
    } else {
        step([&] { m_player.Play(m_position); });
        step([&] { m_player.Pause(m_position, 0); });
        stopTimer();
    }
}

void VideoPanel::tick()
{
    ChangedOnExit done(*this);
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
        if (m_rangeStop && (long long)position > (long long)m_slider.selStart + m_slider.selLength)
            jumpTo(m_slider.selStart);
    });
}

void VideoPanel::setSliderValue(int value)
{
    m_slider.value = std::clamp(value, m_slider.min, std::max(m_slider.min, m_slider.max));
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
    m_position = m_slider.value;
    int s = 0;
    step([&] { s = m_player.GetState(); });
    if (s == MediaPlayerEngine::Running) {
        step([&] { m_player.Pause(m_position, 0); });
        step([&] { m_player.Play(m_position); });
    } else {
        step([&] { m_player.Pause(m_position, 0); });
    }
    command([&] { showVidPosition(m_slider.value); });
}

void VideoPanel::sliderMouseDown(int xTwips, int yTwips)
{
    m_downX = xTwips;
    m_downY = yTwips;
}

void VideoPanel::sliderMouseUp(int xTwips, int yTwips, int widthTwips)
{
    if (xTwips != m_downX || yTwips != m_downY)
        return;
    ChangedOnExit done(*this);
    command([&] {
        const int channel = widthTwips - 400;
        if (channel <= 0)
            return;
        const int value = RoundToInt32((double(xTwips) / double(channel) - 0.025) * double(m_slider.max));
        setSliderValue(value);
        sliderVid_scroll();
        showVidPosition(m_slider.value);
    });
}

void VideoPanel::showVidPosition(int ms)
{
    int h = 0, m = 0, s = 0, f = 0;
    SplitMsec(ms, m_interval, h, m, s, f);
    m_hour = QString::number(h);
    m_minute = QString::number(m);
    m_second = QString::number(s);
    m_frame = QString::number(f);
    m_sliderTip = QString::number(ms);
}

void VideoPanel::chooseRate(int index)
{
    ChangedOnExit done(*this);
    const int percent = RateIndexToPercent(index);
    if (percent == 0)
        return;
    m_rateIndex = index;
    m_rateText = SpeedListTexts().at(index);
    command([&] { setVidRatePercent(percent); });
}

void VideoPanel::typeRateText(const QString& text)
{
    m_rateText = text;
    m_rateIndex = int(SpeedListTexts().indexOf(text));
}

void VideoPanel::applyVidRateText()
{
    int percent = 0;
    try {
        percent = RoundToInt32(ParseNumber(m_rateText) * 100.0);
    } catch (const ConversionError&) {
        return;
    }
    step([&] { setVidRatePercent(percent); });
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
    const double clamped = std::clamp(value, double(m_slider.min), double(std::max(m_slider.min, m_slider.max)));
    setSliderValue(RoundToInt32(clamped));
    sliderVid_scroll();
}

void VideoPanel::keyCommand(int key, int shift)
{
    ChangedOnExit done(*this);
    const bool mod = hasModifier(shift);
    const double v = m_slider.value;
    const double F = m_interval;
    const double L = m_length;
    command([&] {
        switch (key) {
        case KeySpace:
        case KeyEnter:
            PlayPause();
            break;
        case KeyUp:
        case KeyComma:
            stepTo(mod ? v - 10 * F : v - F);
            break;
        case KeyDown:
        case KeyPeriod:
            stepTo(mod ? v + 10 * F : v + F);
            break;
        case KeyLeft:
        case KeyN:
            stepTo(mod ? v - L / 30.0 : v - L / 100.0);
            break;
        case KeyRight:
        case KeyM:
            stepTo(mod ? v + L / 30.0 : v + L / 100.0);
            break;
        case KeyA:
            VidContRegister();
            break;
        case KeyZ:
            selStart();
            break;
        case KeyX:
            selEnd();
            break;
        case KeyS:
            VidRegister();
            break;
        case KeyC:
            selStartJump();
            break;
        case KeyV:
            selEndJump();
            break;
        default:
            break;
        }
    });
}

// ---- range ----------------------------------------------------------------------------

void VideoPanel::removeRange()
{
    m_slider.selLength = 0;
    m_slider.selShown = false;
    m_controls.rangeCheckVisible = false;
    m_controls.selStartJmpVisible = false;
    m_controls.selEndJmpVisible = false;
    m_rangeText.clear();
}

void VideoPanel::showRangeControls()
{
    if (m_slider.selLength <= 0)
        return;
    m_controls.rangeCheckVisible = true;
    m_rangeStop = false;
    m_controls.selStartJmpVisible = true;
    m_controls.selEndJmpVisible = true;
    m_rangeText = QStringLiteral("区間長=") + QString::number(m_slider.selLength) + QStringLiteral("ms");
}

void VideoPanel::selStart()
{
    ChangedOnExit done(*this);
    command([&] {
        Slider& sl = m_slider;
        const int V = sl.value;
        if (sl.selEnd() == V && sl.selShown) {
            removeRange();
            return;
        }
        sl.selShown = true;
        if (V >= sl.selEnd()) {
            sl.selStart = V;
            sl.selLength = CheckInt32((long long)m_length - V);
        } else if (V != sl.selStart) {
            sl.selLength = CheckInt32((long long)sl.selLength + ((long long)sl.selStart - V));
            sl.selStart = V;
        }
        showRangeControls();
    });
}

void VideoPanel::selEnd()
{
    ChangedOnExit done(*this);
    command([&] {
        Slider& sl = m_slider;
        const int V = sl.value;
        if (sl.selStart == V && sl.selShown) {
            removeRange();
            return;
        }
        sl.selShown = true;
        if (sl.selStart < V) {
            sl.selLength = CheckInt32((long long)V - sl.selStart);
        } else {
            sl.selStart = 0;
            sl.selLength = V;
        }
        showRangeControls();
    });
}

void VideoPanel::jumpTo(int target)
{
    setSliderValue(target);
    sliderVid_scroll();
    showVidPosition(m_slider.value);
    m_position = m_slider.value;
    if (m_player.GetState() == MediaPlayerEngine::Running) {
        m_player.Play(m_position);
        m_player.Pause(m_position, 0);
        stopTimer();
    }
}

void VideoPanel::selStartJump()
{
    ChangedOnExit done(*this);
    command([&] { jumpTo(m_slider.selStart); });
}

void VideoPanel::selEndJump()
{
    ChangedOnExit done(*this);
    command([&] { jumpTo(CheckInt32((long long)m_slider.selStart + m_slider.selLength)); });
}

// ---- registration -----------------------------------------------------------------------

bool VideoPanel::registerSpan(int in, int out)
{
    const int r = m_editor.Grid().currentRow;
    if (r < 1 || r > m_editor.lastRow())
        return false;
    OrderPair(in, out);
    // Everything is converted before the first cell is written.
    const QString inText = MsecToTimeText(in, m_interval);
    const QString outText = MsecToTimeText(out, m_interval);
    m_editor.setModified(true);
    RowTable& g = m_editor.Grid();
    g.setText(r, Col::VideoFile, m_fileText);
    g.setText(r, Col::InPoint, inText);
    g.setText(r, Col::OutPoint, outText);
    g.setText(r, Col::VideoInterval, QString::number(m_interval));
    g.setText(r, Col::Width, QString::number(m_picture.width()));
    g.setText(r, Col::Height, QString::number(m_picture.height()));
    m_editor.RowRefresh(r);
    return true;
}

void VideoPanel::advanceRow(int row)
{
    RowTable& g = m_editor.Grid();
    g.currentCol = 0;
    g.setMarker(row, kMarkerPlain);
    const int next = row < m_editor.lastRow() ? row + 1 : row;
    g.currentRow = next;
    m_editor.ui().ensureRowVisible(next);
    g.setMarker(next, kMarkerSelected);
    m_editor.notifyTable();
}

void VideoPanel::VidRegister()
{
    ChangedOnExit done(*this);
    command([&] {
        m_editor.SaveUndoData();
        if (m_fileText.isEmpty())
            return;
        if (m_editor.sndLength() == 0) {
            m_editor.ui().message(kNoSound, Ui::Icon::Warning);
            return;
        }
        const int r = m_editor.Grid().currentRow;
        int in = 0;
        int out = 0;
        if (m_length != 0) {
            in = m_slider.selStart;
            out = CheckInt32((long long)m_slider.selStart + m_slider.selLength);
            if (in == out)
                return;
        }
        if (registerSpan(in, out))
            advanceRow(r);
    });
}

void VideoPanel::VidContRegister()
{
    ChangedOnExit done(*this);
    command([&] {
        if (m_fileText.isEmpty())
            return;
        if (m_editor.sndLength() == 0) {
            m_editor.ui().message(kNoSound, Ui::Icon::Warning);
            return;
        }
        const int r = m_editor.Grid().currentRow;
        int in = m_slider.selStart;
        int out = m_slider.value;
        if (in == out)
            return;
        OrderPair(in, out);
        if (!registerSpan(in, out))
            return;
        m_slider.selStart = out;
        m_slider.selLength = CheckInt32((long long)m_length - out);
        advanceRow(r);
    });
}

QString VideoPanel::solidColorFile(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("Slides/Black.bmp");
    case 1:
        return QStringLiteral("Slides/Grey.bmp");
    case 2:
        return QStringLiteral("Slides/White.bmp");
    default:
        return QString();
    }
}

void VideoPanel::solidColor(int index)
{
    const QString file = solidColorFile(index);
    if (file.isEmpty())
        return;
    ChangedOnExit done(*this);
    QString folder = applicationFolder();
    m_fileText = AddTrailingSeparator(folder) + file;
    // A still that cannot be loaded is not registered: the row would get a file the
    // player cannot open, with the previous file's numbers.
    if (VidFileLoad(m_fileText))
        VidRegister();
}

// ---- what the row table asks --------------------------------------------------------

void VideoPanel::ShowRowVideo(int row)
{
    ChangedOnExit done(*this);
    command([&] {
        const QString file = m_editor.Grid().text(row, Col::VideoFile);
        if (file.isEmpty())
            return;
        m_fileText = file;
        // A file that no longer loads has been reported; the panel stays as it was.
        if (!VidFileLoad(file))
            return;
        m_player.Stop();
        m_player.Pause(-1, 0);
        stopTimer();
        if (m_editor.getVidLengthMsec(row) == 0) {
            pictureFiles();
            return;
        }
        movieFiles();
        const int f = m_interval;
        const int in = TimeTextToMsec(m_editor.Grid().text(row, Col::InPoint), f);
        const int out = TimeTextToMsec(m_editor.Grid().text(row, Col::OutPoint), f);
        setSliderValue(in);
        sliderVid_scroll();
        int first = in;
        int last = out;
        OrderPair(first, last);
        m_slider.selStart = first;
        m_slider.selLength = CheckInt32((long long)last - first);
        m_slider.selShown = true;
        m_slider.min = 0;
        m_slider.max = m_length;
        m_slider.tick = RoundToInt32(double(m_length) / 100.0);
        m_rangeText = QStringLiteral("選択=") + QString::number(m_slider.selLength) + QStringLiteral("ms");
    });
}

void VideoPanel::RegisterDroppedStill(const QString& path)
{
    ChangedOnExit done(*this);
    m_fileText = path;
    if (VidFileLoad(path))
        VidRegister();
}

} // namespace vk
