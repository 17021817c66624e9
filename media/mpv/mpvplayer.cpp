#include "media/mpv/mpvengine_p.h"

namespace vk {

MpvEngine::Private::~Private()
{
    detachWidget();
    if (mpv) {
        mpv_set_wakeup_callback(mpv, nullptr, nullptr);
        mpv_terminate_destroy(mpv);
        mpv = nullptr;
    }
}

MpvEngine::Private::Private()
{
    voOverride = envValue("VK_MPV_VO");
    currentVo = QString::fromLatin1(voOverride.isEmpty() ? QByteArray("null") : voOverride);
}

void MpvEngine::Private::start()
{
    if (mpv)
        return;
    // The player reads numbers in the C locale and refuses to start in any other.
    std::setlocale(LC_NUMERIC, "C");
    mpv = mpv_create();
    if (!mpv)
        throw EngineError("the media player cannot be created");

    auto fail = [this](const std::string& what) {
        mpv_terminate_destroy(mpv);
        mpv = nullptr;
        throw EngineError(what);
    };
    auto opt = [this, &fail](const char* name, const char* value) {
        const int err = mpv_set_option_string(mpv, name, value);
        if (err < 0)
            fail(std::string("media player option ") + name + ": " + mpv_error_string(err));
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
    // The built-in scripts (the statistics page, the console, automatic profiles) each
    // run a Lua state on a thread of its own; the editor uses none of them. Options
    // unknown to an older player are ignored.
    mpv_set_option_string(mpv, "load-stats-overlay", "no");
    mpv_set_option_string(mpv, "load-osd-console", "no");
    mpv_set_option_string(mpv, "load-auto-profiles", "no");
    // No hardware decoding, so no probing of GPU decoder interfaces either.
    mpv_set_option_string(mpv, "gpu-hwdec-interop", "no");
    const QByteArray ao = envValue("VK_MPV_AO");
    if (!ao.isEmpty())
        opt("ao", ao.constData());
    opt("vo", currentVo.toLatin1().constData());
    // What was set before the player started.
    opt("volume", QByteArray::number(volume, 'f', 3).constData());
    opt("speed", QByteArray::number(speed, 'f', 6).constData());

    const int err = mpv_initialize(mpv);
    if (err < 0)
        fail(std::string("the media player cannot start: ") + mpv_error_string(err));

    mpv_observe_property(mpv, kTimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv, kAudioPts, "audio-pts", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv, kPause, "pause", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv, kDuration, "duration", MPV_FORMAT_DOUBLE);
    mpv_set_wakeup_callback(
        mpv, [](void* p) { static_cast<Private*>(p)->onWakeup(); }, this);
    // A video widget given before the start gets its pictures from now on.
    if (widget)
        startDrawing();
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
        else if (ev.reply_userdata == kPause && prop->format == MPV_FORMAT_FLAG &&
                 *static_cast<const int*>(prop->data) && open && !paused) {
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

// Pictures go to the widget while it is attached, nowhere otherwise.
void MpvEngine::Private::chooseVideoOutput()
{
    QString vo = QStringLiteral("null");
    if (!voOverride.isEmpty())
        vo = QString::fromLatin1(voOverride);
    else if (render)
        vo = QStringLiteral("libmpv");
    if (vo == currentVo || !mpv)
        return;
    // Changing the output while a file is open restarts its picture on the new one.
    if (mpv_set_property_string(mpv, "vo", vo.toLatin1().constData()) >= 0)
        currentVo = vo;
}

void MpvEngine::Private::startDrawing()
{
    if (render || !voOverride.isEmpty() || !mpv)
        return;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
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
            QMetaObject::invokeMethod(
                &self->context, [self] { self->onRenderUpdate(); }, Qt::QueuedConnection);
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
    if (hiddenCanvas.isNull())
        hiddenCanvas = VideoWidget::canvas(16, 16);
    paint(hiddenCanvas);
}

void MpvEngine::Private::paint(QImage& image)
{
    if (!render || image.isNull())
        return;
    int size[2] = {image.width(), image.height()};
    size_t stride = size_t(image.bytesPerLine());
    int block = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, size},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgr0")},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, image.bits()},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render, params);
}

void MpvEngine::Private::stopDrawing()
{
    if (!render)
        return;
    // Leave the widget first, then free the drawing context.
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

} // namespace vk
