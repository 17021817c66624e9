#include "media/mpv/mpvengine.h"

#include "media/mpv/mediainfo.h"
#include "media/mpv/videowidget.h"

#include <QByteArray>
#include <QFileInfo>
#include <QImage>
#include <QMetaObject>
#include <QObject>
#include <QOpenGLContext>
#include <QPointer>

#include <mpv/client.h>
#include <mpv/render_gl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vk {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOpenTimeoutMs = 8000;
// The longest a paused seek waits for the one before it to land.
constexpr int kSeekWaitMs = 1000;

// Observed properties, told apart by their reply ids.
enum : uint64_t { kTimePos = 1, kPause = 2, kDuration = 3, kAudioPts = 4 };

QByteArray envValue(const char* name)
{
    const char* v = std::getenv(name);
    return v ? QByteArray(v) : QByteArray();
}

void* glProcAddress(void*, const char* name)
{
    QOpenGLContext* ctx = QOpenGLContext::currentContext();
    return ctx ? reinterpret_cast<void*>(ctx->getProcAddress(name)) : nullptr;
}

double seconds(Clock::time_point t)
{
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

int roundMsec(double seconds)
{
    const double ms = std::nearbyint(seconds * 1000.0);
    if (!(ms >= 0.0))
        return 0;
    return ms > 2147483647.0 ? 2147483647 : int(ms);
}

} // namespace

void PlayClock::hold(double pos)
{
    m_running = false;
    m_haveBase = false;
    m_base = pos;
    m_rate = 0.0;
    m_floor = pos;
}

void PlayClock::start(double pos, double now, double speed)
{
    m_running = true;
    m_haveBase = false;
    m_speed = speed;
    m_startPos = pos;
    m_startTime = now;
    m_base = pos;
    m_baseTime = now;
    m_rate = 0.0;
    m_floor = pos;
}

double PlayClock::raw(double now) const
{
    return m_base + m_rate * (now - m_baseTime);
}

void PlayClock::report(double value, double now)
{
    if (!m_running)
        return;
    // Never ahead of the clock since the start (with room for a player clock that
    // runs a little fast).
    const double elapsed = std::max(0.0, now - m_startTime);
    value = std::min(value, m_startPos + m_speed * elapsed * (1.0 + kAheadRate));
    const double predicted = std::max(raw(now), m_floor);
    if (!m_haveBase) {
        m_haveBase = true;
        // The first report says the player has started: the answer runs from the
        // start from now on, or waits while the music has not reached the start yet.
        m_base = m_floor;
        m_rate = value >= m_floor ? m_speed : 0.0;
    } else if (value >= predicted) {
        m_base = value;
        m_rate = m_speed;
    } else if (m_rate == 0.0 || predicted - value > kStall) {
        // Waiting for the music to come back to the answer given.
        m_base = predicted;
        m_rate = 0.0;
    } else {
        // Stale: keep the estimate, drawn toward the report only as fast as two clocks
        // can drift apart.
        const double shave = std::min(predicted - value, kDriftRate * std::max(0.0, now - m_baseTime));
        m_base = predicted - shave;
        m_rate = m_speed;
    }
    m_baseTime = now;
}

double PlayClock::at(double now)
{
    if (!m_running)
        return m_base;
    m_floor = std::max(m_floor, raw(now));
    return m_floor;
}

struct MpvEngine::Private {
    mpv_handle* mpv = nullptr;
    mpv_render_context* render = nullptr;
    QPointer<VideoWidget> widget;
    QObject context; // owner of the calls queued from the player's threads
    std::atomic<bool> wakeupQueued{false};
    std::atomic<bool> frameQueued{false};
    QByteArray voOverride;
    QString currentVo;

    // The open file.
    bool open = false;
    QString path;
    MediaInfo info;
    bool infoValid = false;
    bool still = false;
    int64_t entryId = -1;

    // Loading (Open waits for the outcome).
    enum class Load { None, Requested, Started, Loaded, Failed };
    Load load = Load::None;

    // Position model, in seconds.
    bool paused = true;
    double speed = 1.0;
    double mpvDuration = 0.0;
    bool hasSound = false;     // the position follows the sound when there is one
    bool seekPending = false;  // reports before the seek has landed are stale
    double seekTarget = 0.0;   // the last seek's
    PlayClock clock;
    // The player was sent to the start of the picture's frame rather than to the
    // position itself: playing from the position must go there first.
    bool snapped = false;

    ~Private();
    void create();
    void check(int err, const char* what);
    void setFlag(const char* name, bool value);
    void setDouble(const char* name, double value);
    void setString(const char* name, const QByteArray& value);
    int command(std::initializer_list<const char*> args);

    void onWakeup();
    void processEvents();
    void handleEvent(const mpv_event& ev);
    void onReport(double value);
    void onRestart();
    bool landedAt(double pos) const;

    double durationLimit() const;
    double estimate() { return estimateAt(Clock::now()); }
    double estimateAt(Clock::time_point when);
    void hold(double pos);
    void run(double pos);
    void seek(double seconds);
    double frameStart(double pos) const;
    void showFrameAt(double pos);
    void waitForSeek();
    // A moving picture with a known frame rate.
    bool hasPicture() const
    {
        return infoValid && !still && info.width > 0 && info.secondsPerFrame > 0.0;
    }

    void chooseVideoOutput();
    void startDrawing();
    void paint(unsigned fbo, int w, int h);
    void stopDrawing();
    void onRenderUpdate();
    void detachWidget();
};

MpvEngine::Private::~Private()
{
    detachWidget();
    if (mpv) {
        mpv_set_wakeup_callback(mpv, nullptr, nullptr);
        mpv_terminate_destroy(mpv);
        mpv = nullptr;
    }
}

void MpvEngine::Private::create()
{
    // The player reads numbers in the C locale and refuses to start in any other.
    std::setlocale(LC_NUMERIC, "C");
    mpv = mpv_create();
    if (!mpv)
        throw EngineError("the media player cannot be created");

    auto opt = [this](const char* name, const char* value) {
        const int err = mpv_set_option_string(mpv, name, value);
        if (err < 0)
            throw EngineError(std::string("media player option ") + name + ": " + mpv_error_string(err));
    };
    opt("config", "no");
    opt("terminal", "no");
    opt("idle", "yes");
    opt("input-default-bindings", "no");
    opt("input-vo-keyboard", "no");
    opt("osc", "no");
    opt("osd-level", "0");
    opt("load-scripts", "no");
    opt("ytdl", "no");
    opt("sub-auto", "no");
    opt("audio-file-auto", "no");
    opt("audio-display", "no");
    opt("keep-open", "yes");
    opt("hr-seek", "yes");
    opt("image-display-duration", "inf");
    opt("audio-pitch-correction", "yes");
    opt("pause", "yes");
    opt("hwdec", "no");
    opt("audio-fallback-to-null", "yes");
    // No hardware decoding, so no probing of GPU decoder interfaces either.
    mpv_set_option_string(mpv, "gpu-hwdec-interop", "no");
    const QByteArray ao = envValue("VK_MPV_AO");
    if (!ao.isEmpty())
        opt("ao", ao.constData());
    voOverride = envValue("VK_MPV_VO");
    opt("vo", voOverride.isEmpty() ? "null" : voOverride.constData());
    currentVo = QString::fromLatin1(voOverride.isEmpty() ? QByteArray("null") : voOverride);

    const int err = mpv_initialize(mpv);
    if (err < 0)
        throw EngineError(std::string("the media player cannot start: ") + mpv_error_string(err));

    mpv_observe_property(mpv, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv, kAudioPts, "audio-pts", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv, kPause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv, kDuration, "duration", MPV_FORMAT_DOUBLE);
    mpv_set_wakeup_callback(
        mpv, [](void* p) { static_cast<Private*>(p)->onWakeup(); }, this);
}

void MpvEngine::Private::check(int err, const char* what)
{
    if (err < 0)
        throw EngineError(std::string("media player: ") + what + ": " + mpv_error_string(err));
}

void MpvEngine::Private::setFlag(const char* name, bool value)
{
    int v = value ? 1 : 0;
    check(mpv_set_property(mpv, name, MPV_FORMAT_FLAG, &v), name);
}

void MpvEngine::Private::setDouble(const char* name, double value)
{
    check(mpv_set_property(mpv, name, MPV_FORMAT_DOUBLE, &value), name);
}

void MpvEngine::Private::setString(const char* name, const QByteArray& value)
{
    check(mpv_set_property_string(mpv, name, value.constData()), name);
}

int MpvEngine::Private::command(std::initializer_list<const char*> args)
{
    const char* argv[8] = {};
    int i = 0;
    for (const char* a : args) {
        if (i < 7)
            argv[i++] = a;
    }
    return mpv_command(mpv, argv);
}

// Runs on a player thread: hand the events to the user-interface thread, once.
void MpvEngine::Private::onWakeup()
{
    if (wakeupQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        &context,
        [this] {
            wakeupQueued = false;
            processEvents();
        },
        Qt::QueuedConnection);
}

void MpvEngine::Private::processEvents()
{
    if (!mpv)
        return;
    for (;;) {
        mpv_event* ev = mpv_wait_event(mpv, 0);
        if (!ev || ev->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*ev);
    }
}

void MpvEngine::Private::handleEvent(const mpv_event& ev)
{
    switch (ev.event_id) {
    case MPV_EVENT_START_FILE:
        if (load == Load::Requested) {
            load = Load::Started;
            entryId = static_cast<const mpv_event_start_file*>(ev.data)->playlist_entry_id;
        }
        break;
    case MPV_EVENT_FILE_LOADED:
        if (load == Load::Started)
            load = Load::Loaded;
        break;
    case MPV_EVENT_END_FILE: {
        const auto* end = static_cast<const mpv_event_end_file*>(ev.data);
        if (end->playlist_entry_id != entryId)
            break;
        if (load == Load::Started) {
            if (end->reason != MPV_END_FILE_REASON_REDIRECT)
                load = Load::Failed;
            break;
        }
        if (end->reason == MPV_END_FILE_REASON_REDIRECT)
            break;
        open = false;
        entryId = -1;
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        onRestart();
        break;
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto* prop = static_cast<const mpv_event_property*>(ev.data);
        if (ev.reply_userdata == kAudioPts && prop->format == MPV_FORMAT_DOUBLE) {
            hasSound = true;
            onReport(*static_cast<const double*>(prop->data));
        } else if (ev.reply_userdata == kTimePos && prop->format == MPV_FORMAT_DOUBLE && !hasSound)
            onReport(*static_cast<const double*>(prop->data));
        else if (ev.reply_userdata == kDuration)
            mpvDuration = prop->format == MPV_FORMAT_DOUBLE ? *static_cast<const double*>(prop->data) : 0.0;
        else if (ev.reply_userdata == kPause && prop->format == MPV_FORMAT_FLAG
                 && *static_cast<const int*>(prop->data) && open && !paused) {
            // Not our own pause (or a late report of one): the file played to its end
            // and the player holds it there, paused.
            int nowPaused = 0;
            int eof = 0;
            mpv_get_property(mpv, "pause", MPV_FORMAT_FLAG, &nowPaused);
            mpv_get_property(mpv, "eof-reached", MPV_FORMAT_FLAG, &eof);
            if (nowPaused && eof) {
                const double limit = durationLimit();
                hold(limit > 0.0 ? limit : estimate());
                paused = true;
            }
        }
        break;
    }
    default:
        break;
    }
}

void MpvEngine::Private::onReport(double value)
{
    if (paused || seekPending || still || !open)
        return;
    // When the last sound has been decoded the player reports the end at once, while
    // what it holds in its output buffer still plays: carry on with the clock instead.
    const double limit = durationLimit();
    if (clock.following() && limit > 0.0 && value >= limit - 0.001 && value - estimate() > 0.02)
        return;
    clock.report(value, seconds(Clock::now()));
}

double MpvEngine::Private::durationLimit() const
{
    if (still)
        return 0.0;
    if (infoValid && info.durationMsec > 0)
        return info.durationMsec / 1000.0;
    return mpvDuration;
}

double MpvEngine::Private::estimateAt(Clock::time_point when)
{
    if (!open || still)
        return 0.0;
    double pos = clock.at(seconds(when));
    const double limit = durationLimit();
    if (limit > 0.0)
        pos = std::min(pos, limit);
    return std::max(0.0, pos);
}

void MpvEngine::Private::hold(double pos)
{
    clock.hold(pos);
}

void MpvEngine::Private::run(double pos)
{
    clock.start(pos, seconds(Clock::now()), speed);
}

void MpvEngine::Private::seek(double target)
{
    // A restart waiting in the queue is an earlier seek's: take it first.
    processEvents();
    const QByteArray text = QByteArray::number(target, 'f', 6);
    const int err = command({"seek", text.constData(), "absolute+exact"});
    if (err < 0 && err != MPV_ERROR_PROPERTY_UNAVAILABLE)
        check(err, "seek");
    snapped = false;
    seekPending = err >= 0;
    seekTarget = target;
}

// Where an exact seek to seekTarget lands: on the first frame from its target on
// (within the player's 5 ms), or on the target itself without a picture.
bool MpvEngine::Private::landedAt(double pos) const
{
    const double after = hasPicture() ? info.secondsPerFrame - 0.001 : 0.002;
    return pos >= seekTarget - 0.006 && pos <= seekTarget + after;
}

void MpvEngine::Private::onRestart()
{
    seekPending = false;
}

void MpvEngine::Private::waitForSeek()
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(kSeekWaitMs);
    while (seekPending && mpv) {
        const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0.0)
            break;
        mpv_event* ev = mpv_wait_event(mpv, std::min(left, 0.05));
        if (ev && ev->event_id != MPV_EVENT_NONE)
            handleEvent(*ev);
    }
}

// Start of the frame on screen at `pos` while playing: an exact seek shows the first
// frame at or after its target, which is the next frame unless the target is a
// frame's start.
double MpvEngine::Private::frameStart(double pos) const
{
    if (!hasPicture())
        return pos;
    const double spf = info.secondsPerFrame;
    const double index = std::floor(pos / spf + 1e-6);
    return std::min(pos, std::max(0.0, index * spf));
}

// Paused at `pos`: the picture becomes the frame shown at `pos` while playing.
void MpvEngine::Private::showFrameAt(double pos)
{
    // A restart tells that a seek has landed, not which one: let the seek under way
    // land first, so that the next restart is this one's.
    waitForSeek();
    const double start = frameStart(pos);
    seek(start);
    snapped = seekPending && start < pos - 0.0005;
}

// Pictures go to the widget when its GL context is there, nowhere otherwise.
void MpvEngine::Private::chooseVideoOutput()
{
    QString vo = QStringLiteral("null");
    if (!voOverride.isEmpty())
        vo = QString::fromLatin1(voOverride);
    else if (render)
        vo = QStringLiteral("libmpv");
    if (vo == currentVo)
        return;
    // Changing the output while a file is open restarts its picture on the new one.
    if (mpv_set_property_string(mpv, "vo", vo.toLatin1().constData()) >= 0)
        currentVo = vo;
}

void MpvEngine::Private::startDrawing()
{
    if (render || !voOverride.isEmpty())
        return;
    mpv_opengl_init_params gl{glProcAddress, nullptr};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&render, mpv, params) < 0) {
        render = nullptr;
        return;
    }
    mpv_render_context_set_update_callback(
        render,
        [](void* p) {
            auto* self = static_cast<Private*>(p);
            if (self->frameQueued.exchange(true))
                return;
            QMetaObject::invokeMethod(&self->context, [self] { self->onRenderUpdate(); },
                                      Qt::QueuedConnection);
        },
        this);
    chooseVideoOutput();
}

void MpvEngine::Private::onRenderUpdate()
{
    frameQueued = false;
    if (!render || !widget)
        return;
    if (!(mpv_render_context_update(render) & MPV_RENDER_UPDATE_FRAME))
        return;
    if (widget->isVisible()) {
        widget->update();
        return;
    }
    // A hidden box still takes its pictures, so that the player never waits for it.
    widget->makeCurrent();
    paint(widget->defaultFramebufferObject(), std::max(1, widget->width()), std::max(1, widget->height()));
    widget->doneCurrent();
}

void MpvEngine::Private::paint(unsigned fbo, int w, int h)
{
    if (!render)
        return;
    mpv_opengl_fbo target{static_cast<int>(fbo), w, h, 0};
    int flipY = 1;
    int block = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &target},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render, params);
}

void MpvEngine::Private::stopDrawing()
{
    if (!render)
        return;
    // Leave the widget first, then free the drawing context (GL context current here).
    mpv_render_context* r = render;
    render = nullptr;
    chooseVideoOutput();
    mpv_render_context_set_update_callback(r, nullptr, nullptr);
    mpv_render_context_free(r);
}

void MpvEngine::Private::detachWidget()
{
    if (widget)
        widget->detachDrawer(this);
    widget = nullptr;
    stopDrawing(); // no-op unless the widget vanished without telling us
}

MpvEngine::MpvEngine() : d(std::make_unique<Private>())
{
    d->create();
}

MpvEngine::~MpvEngine() = default;

QString MpvEngine::currentPath() const
{
    return d->open ? d->path : QString();
}

void MpvEngine::Close()
{
    d->processEvents();
    if (d->open || d->load != Private::Load::None)
        d->command({"stop"});
    d->open = false;
    d->load = Private::Load::None;
    d->entryId = -1;
    d->path.clear();
    d->infoValid = false;
    d->still = false;
    d->paused = true;
    d->hold(0.0);
    d->seekPending = false;
    d->snapped = false;
    d->mpvDuration = 0.0;
    d->hasSound = false;
}

void MpvEngine::Stop()
{
    // Where the player is at the moment of the call (see GetPosition).
    const Clock::time_point asked = Clock::now();
    d->processEvents();
    if (!d->open)
        return;
    const bool wasRunning = !d->paused;
    if (wasRunning) {
        // Held on the whole millisecond GetPosition gives, so that the frame shown is the
        // one at the position the caller reads.
        d->hold(roundMsec(d->estimateAt(asked)) / 1000.0);
        d->paused = true;
    }
    d->setFlag("pause", true);
    // The player may have moved on a frame since the position was taken.
    if (wasRunning && d->hasPicture())
        d->showFrameAt(d->estimateAt(asked));
}

void MpvEngine::Pause(int positionMsec, int)
{
    // Where the player is at the moment of the call (see GetPosition).
    const Clock::time_point asked = Clock::now();
    d->processEvents();
    if (!d->open)
        return;
    // The whole millisecond GetPosition gives (see Stop).
    const double here = roundMsec(d->estimateAt(asked)) / 1000.0;
    const bool wasRunning = !d->paused;
    d->setFlag("pause", true);
    d->paused = true;
    if (positionMsec < 0 || d->still) {
        d->hold(here);
        // The player may have moved on a frame since the position was taken.
        if (wasRunning && d->hasPicture())
            d->showFrameAt(here);
        return;
    }
    double target = positionMsec / 1000.0;
    const double limit = d->durationLimit();
    if (limit > 0.0)
        target = std::min(target, limit);
    d->hold(target);
    d->showFrameAt(target);
}

void MpvEngine::SetVideoWindow(QObject* window)
{
    d->processEvents();
    auto* w = qobject_cast<VideoWidget*>(window);
    if (w == d->widget && (w != nullptr || !d->render))
        return;
    d->detachWidget();
    if (!w || !d->voOverride.isEmpty())
        return;
    d->widget = w;
    Private* p = d.get();
    w->attachDrawer(
        p, [p] { p->startDrawing(); }, [p](unsigned fbo, int width, int height) { p->paint(fbo, width, height); },
        [p] { p->stopDrawing(); });
}

int MpvEngine::Open(const QString& path)
{
    d->processEvents();
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile() || !fi.isReadable())
        return -1;
    if (d->open)
        Close();
    d->chooseVideoOutput();

    d->setFlag("pause", true);
    d->paused = true;
    d->hold(0.0);
    d->seekPending = false;
    d->snapped = false;
    d->mpvDuration = 0.0;
    d->hasSound = false;
    d->load = Private::Load::Requested;
    d->entryId = -1;
    const QByteArray file = fi.absoluteFilePath().toUtf8();
    if (d->command({"loadfile", file.constData(), "replace"}) < 0) {
        d->load = Private::Load::None;
        return -1;
    }
    // Until the player's first restart the picture is not up yet.
    d->seekPending = true;
    d->seekTarget = 0.0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kOpenTimeoutMs);
    while (d->load == Private::Load::Requested || d->load == Private::Load::Started) {
        const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0.0)
            break;
        mpv_event* ev = mpv_wait_event(d->mpv, std::min(left, 0.05));
        if (ev && ev->event_id != MPV_EVENT_NONE)
            d->handleEvent(*ev);
    }
    if (d->load != Private::Load::Loaded) {
        d->load = Private::Load::None;
        d->seekPending = false;
        d->command({"stop"});
        d->entryId = -1;
        return -1;
    }
    d->load = Private::Load::None;
    d->open = true;
    d->path = fi.absoluteFilePath();
    d->infoValid = ProbeMediaInfo(d->path, d->info);
    d->still = d->infoValid && d->info.durationMsec == 0 && d->info.width > 0;
    return 0;
}

void MpvEngine::Play(int positionMsec)
{
    d->processEvents();
    if (!d->open)
        return;
    if (positionMsec >= 0 && !d->still) {
        double target = positionMsec / 1000.0;
        const double limit = d->durationLimit();
        if (limit > 0.0)
            target = std::min(target, limit);
        const double here = d->estimate();
        // Already there (paused at it, or running through it): no seek, no gap.
        const bool there = d->paused ? std::abs(here - target) < 0.001 : std::abs(here - target) < 0.0025;
        if (!there || (d->paused && d->snapped)) {
            d->seek(target);
            if (d->paused)
                d->hold(target);
            else
                d->run(target);
        }
    } else if (d->paused && d->snapped && !d->still) {
        d->seek(d->estimate());
    }
    if (d->paused) {
        const double from = d->estimate();
        d->paused = false;
        d->setFlag("pause", false);
        d->run(from);
    }
}

int MpvEngine::GetPosition()
{
    // The position at the moment of the call: taking the player's reports may wait a
    // few ms for the player, and that wait must not move the answer.
    const Clock::time_point asked = Clock::now();
    d->processEvents();
    return roundMsec(d->estimateAt(asked));
}

QImage MpvEngine::currentPicture()
{
    d->processEvents();
    if (!d->open)
        return QImage();
    mpv_node items[2];
    items[0].format = MPV_FORMAT_STRING;
    items[0].u.string = const_cast<char*>("screenshot-raw");
    items[1].format = MPV_FORMAT_STRING;
    items[1].u.string = const_cast<char*>("video");
    mpv_node_list list{2, items, nullptr};
    mpv_node args;
    args.format = MPV_FORMAT_NODE_ARRAY;
    args.u.list = &list;
    mpv_node result;
    if (mpv_command_node(d->mpv, &args, &result) < 0)
        return QImage();
    QImage image;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        int64_t w = 0, h = 0, stride = 0;
        QByteArray format;
        const mpv_byte_array* data = nullptr;
        for (int i = 0; i < result.u.list->num; ++i) {
            const char* key = result.u.list->keys[i];
            const mpv_node& v = result.u.list->values[i];
            if (!std::strcmp(key, "w") && v.format == MPV_FORMAT_INT64)
                w = v.u.int64;
            else if (!std::strcmp(key, "h") && v.format == MPV_FORMAT_INT64)
                h = v.u.int64;
            else if (!std::strcmp(key, "stride") && v.format == MPV_FORMAT_INT64)
                stride = v.u.int64;
            else if (!std::strcmp(key, "format") && v.format == MPV_FORMAT_STRING)
                format = v.u.string;
            else if (!std::strcmp(key, "data") && v.format == MPV_FORMAT_BYTE_ARRAY)
                data = v.u.ba;
        }
        if (format == "bgr0" && data && w > 0 && h > 0 && stride >= w * 4 && int64_t(data->size) >= stride * h)
            image = QImage(static_cast<const uchar*>(data->data), int(w), int(h), int(stride), QImage::Format_RGB32)
                        .copy();
    }
    mpv_free_node_contents(&result);
    return image;
}

bool MpvEngine::pictureSettled()
{
    d->processEvents();
    if (!d->open || !d->paused || d->seekPending)
        return false;
    // A restart tells that a seek has landed, not which one: the player must also be
    // done seeking and be where the last seek goes.
    int seeking = 1;
    double pos = -1.0;
    if (mpv_get_property(d->mpv, "seeking", MPV_FORMAT_FLAG, &seeking) < 0 || seeking
        || mpv_get_property(d->mpv, "time-pos", MPV_FORMAT_DOUBLE, &pos) < 0)
        return false;
    return d->landedAt(pos);
}

void MpvEngine::Initialize(int, int, int, const QString&) {}

void MpvEngine::SetVolume(int level)
{
    const int clamped = std::clamp(level, -10000, 0);
    d->setDouble("volume", 100.0 * (clamped + 10000) / 10000.0);
}

int MpvEngine::GetState()
{
    d->processEvents();
    if (!d->open)
        return 0;
    return d->paused ? Paused : Running;
}

int MpvEngine::GetMediaInfo(MediaInfo& info)
{
    d->processEvents();
    if (!d->open)
        return -1;
    if (!d->infoValid)
        d->infoValid = ProbeMediaInfo(d->path, d->info);
    if (!d->infoValid)
        return -1;
    info = d->info;
    return 0;
}

void MpvEngine::SetOption(const QString&, int) {}

void MpvEngine::Command(const QString& action, int value, const QString&, int& outValue, QString& outText)
{
    outValue = 0;
    outText.clear();
    d->processEvents();
    if (action != QLatin1String("set_rate_percent") || value <= 0)
        return;
    const double speed = std::clamp(value / 100.0, 0.01, 100.0);
    if (speed == d->speed)
        return;
    const bool running = d->open && !d->paused && !d->still;
    const double here = d->estimate();
    d->setDouble("speed", speed);
    d->speed = speed;
    if (running) {
        // The player restarts its sound some 0.4 s back when the speed changes while it
        // runs; an exact seek to where the music was keeps the song going from there,
        // and the position goes on from that point at the new speed.
        d->seek(here);
        d->run(here);
    }
}

} // namespace vk
