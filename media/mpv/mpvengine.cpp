#include "media/mpv/mpvengine_p.h"

namespace vk {

MpvEngine::MpvEngine() : d(std::make_unique<Private>()) {}

MpvEngine::~MpvEngine() = default;

bool MpvEngine::started() const
{
    return d->mpv != nullptr;
}

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
        p, [p] { p->startDrawing(); }, [p](QImage& image) { p->paint(image); }, [p] { p->stopDrawing(); });
}

int MpvEngine::Open(const QString& path)
{
    d->processEvents();
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile() || !fi.isReadable())
        return -1;
    if (d->open)
        Close();
    d->start();
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
            image =
                QImage(static_cast<const uchar*>(data->data), int(w), int(h), int(stride), QImage::Format_RGB32).copy();
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
    if (mpv_get_property(d->mpv, "seeking", MPV_FORMAT_FLAG, &seeking) < 0 || seeking ||
        mpv_get_property(d->mpv, "time-pos", MPV_FORMAT_DOUBLE, &pos) < 0)
        return false;
    return d->landedAt(pos);
}

long long MpvEngine::droppedFrames()
{
    d->processEvents();
    if (!d->open || !d->mpv)
        return 0;
    long long total = 0;
    for (const char* name : {"frame-drop-count", "decoder-frame-drop-count"}) {
        int64_t count = 0;
        if (mpv_get_property(d->mpv, name, MPV_FORMAT_INT64, &count) >= 0)
            total += count;
    }
    return total;
}

void MpvEngine::Initialize(int, int, int, const QString&) {}

void MpvEngine::SetVolume(int level)
{
    const int clamped = std::clamp(level, -10000, 0);
    d->volume = 100.0 * (clamped + 10000) / 10000.0;
    if (d->mpv)
        d->setDouble("volume", d->volume);
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
    if (d->mpv)
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
