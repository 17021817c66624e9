#include "writer/renderjob.h"

#include "writer/crashguard.h"
#include "writer/mediaprobe.h"
#include "writer/mltengine.h"
#include "writer/mp4encoder.h"

#include <framework/mlt.h>
#include <mlt++/Mlt.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace vk {

std::unique_ptr<Mlt::Profile> makeProfile(const OutputSettings& o)
{
    auto p = std::make_unique<Mlt::Profile>();
    p->set_width(o.width);
    p->set_height(o.height);
    p->set_progressive(1);
    p->set_sample_aspect(o.sampleAspectNum, o.sampleAspectDen);
    p->set_display_aspect(o.displayAspectNum, o.displayAspectDen);
    p->set_frame_rate(o.rate.num, o.rate.den);
    p->set_colorspace(601);
    p->set_explicit(1);
    return p;
}

std::string temporaryOutputPath(const std::string& target)
{
    const fs::path t(target);
    const std::string name = "." + t.filename().string() + ".T-VideoWrite-" + std::to_string(getpid()) + ".part";
    return (t.parent_path() / name).string();
}

RenderJob::RenderJob(Mlt::Profile& profile, std::string engineXml, OutputSettings output, FrameRange range,
                     std::string target)
    : m_profile(profile), m_xml(std::move(engineXml)), m_output(std::move(output)), m_range(range),
      m_target(std::move(target)), m_temp(temporaryOutputPath(m_target))
{
}

RenderJob::~RenderJob()
{
    if (!m_finished)
        m_cancelled.store(true); // a feed still running stops at its next frame
    stopFeed();
    releaseConsumer();
    (void)m_producer.release(); // left open with the consumer that holds it
    if (!m_finished) {
        std::error_code ec;
        fs::remove(m_temp, ec);
    }
}

void RenderJob::onFrameShown(void* self, void*)
{
    static_cast<RenderJob*>(self)->m_frames.fetch_add(1);
}

void RenderJob::onStopped(void* self)
{
    static_cast<RenderJob*>(self)->m_stopped.store(true);
}

void RenderJob::onFatalError(void* self)
{
    static_cast<RenderJob*>(self)->m_fatal.store(true);
}

void RenderJob::onWriterProperty(void* self, void* consumerProperties, const char* name)
{
    // The engine's file writer creates its thread first and marks itself running
    // only after that; the thread, once it has opened the encoders, writes frames
    // only while it is marked running and otherwise ends at once, without a frame
    // or an error. A thread that gets there first (a busy machine) would end
    // before its start. The thread sets properties of its own before it looks
    // (the channel count, always), so a property set on another thread while the
    // start is under way means the thread is there: it is marked running now,
    // which the starting code does anyway a moment later.
    auto* job = static_cast<RenderJob*>(self);
    if (!job->m_starting.load() || std::this_thread::get_id() == job->m_starter)
        return;
    if (name && std::strcmp(name, "running") == 0)
        return;
    mlt_properties_set_int(static_cast<mlt_properties>(consumerProperties), "running", 1);
}

namespace {

// Free space below which a failed write is put down to a full disk: less than a
// second of DV.
constexpr std::uintmax_t kFullDiskMargin = 4u * 1024 * 1024;

// Frames rendered ahead of the encoder in a file render (see startConsumer).
constexpr int kRenderAhead = 4;

// Render threads: one unless VK_WRITER_THREADS says otherwise (see
// startConsumer).
int renderThreads()
{
    int threads = 1;
    if (const char* env = std::getenv("VK_WRITER_THREADS"); env && std::atoi(env) > 0)
        threads = std::min(16, std::atoi(env));
    return threads;
}

void closeFrame(void* frame)
{
    mlt_frame_close(static_cast<mlt_frame>(frame));
}

void frameShown(mlt_properties, void* self, mlt_event_data)
{
    RenderJob::onFrameShown(self, nullptr);
}

void fatalError(mlt_properties, void* self, mlt_event_data)
{
    RenderJob::onFatalError(self);
}

void consumerStopped(mlt_properties, void* self, mlt_event_data)
{
    RenderJob::onStopped(self);
}

void consumerPropertyChanged(mlt_properties owner, void* self, mlt_event_data data)
{
    RenderJob::onWriterProperty(self, owner, mlt_event_data_to_string(data));
}

} // namespace

bool RenderJob::start(std::string& error)
{
    guardPartFileOnCrash(m_temp);
    m_producer = std::make_unique<Mlt::Producer>(m_profile, "xml-string", m_xml.c_str());
    if (!m_producer->is_valid()) {
        error = "描画エンジンがタイムラインを読み込めません。";
        return false;
    }
    // Before the range: a filter added to a producer makes the tractor
    // recompute its length.
    installFastScaler(m_producer->get_producer());
    m_producer->set_in_and_out(int(m_range.in), int(m_range.out));
    return m_output.kind == OutputKind::Mp4 ? startFeed(error) : startConsumer(error);
}

void RenderJob::releaseConsumer()
{
    if (!m_consumer)
        return;
    if (!m_consumer->is_stopped())
        m_consumer->stop();
    // The writer thread marks itself stopped just before it reports it; wait for the
    // report, so no callback can reach this job after it is gone.
    for (int i = 0; m_consumerStarted && i < 400 && !m_stopped.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The engine's consumer is left open, with its listeners: closing it races with
    // the engine's own worker threads (seen as a crash inside the engine's close on a
    // busy machine). The file is complete once the consumer has stopped, and the
    // program ends right after the render, so nothing is lost by leaving it.
    (void)m_consumer.release();
    m_showEvent = m_errorEvent = m_stopEvent = m_propertyEvent = nullptr;
    m_consumerStarted = false;
}

bool RenderJob::startConsumer(std::string& error)
{
    m_producer->seek(0); // positions count from the in point
    m_consumer = std::make_unique<Mlt::Consumer>(m_profile, "avformat", m_temp.c_str());
    if (!m_consumer->is_valid()) {
        error = "描画エンジンにファイル出力の機能がありません。";
        return false;
    }
    Mlt::Consumer& c = *m_consumer;
    c.set("f", m_output.muxer.c_str());
    if (m_output.videoCodec.empty()) {
        // Sound only. The engine still walks the (black, cheap) pictures: its
        // frame events and its stop at the end of the range come from there.
        c.set("vn", 1);
    } else {
        c.set("vcodec", m_output.videoCodec.c_str());
        if (!m_output.pixelFormat.empty())
            c.set("pix_fmt", m_output.pixelFormat.c_str());
        // The picture format handed to the encoder stays the engine's choice
        // (packed RGB for an RGB codec, 4:2:2 otherwise). Asking for planar
        // 4:2:0 would save one conversion per frame, but the engine's 4:2:0
        // path gives wrong colours (a red clip comes out green).
        if (m_output.videoKbps > 0) {
            c.set("vb", (std::to_string(m_output.videoKbps) + "k").c_str());
            c.set("g", 300);
        }
        // H.264: constant quality at a speed preset (libx264's own options).
        if (m_output.videoCrf >= 0)
            c.set("crf", m_output.videoCrf);
        if (!m_output.videoPreset.empty())
            c.set("preset", m_output.videoPreset.c_str());
        // No "profile" option: the engine hands its options to the sound
        // encoder as well, where "high" is refused. The presets from
        // superfast up give High for 8-bit 4:2:0 by themselves.
    }
    if (!m_output.muxerFlags.empty())
        c.set("movflags", m_output.muxerFlags.c_str());
    c.set("acodec", m_output.audioCodec.c_str());
    c.set("frequency", m_output.sampleRate);
    c.set("ar", m_output.sampleRate);
    c.set("channels", m_output.channels);
    c.set("ac", m_output.channels);
    if (m_output.audioKbps > 0)
        c.set("ab", (std::to_string(m_output.audioKbps) + "k").c_str());
    // Never pace a file render (real_time 1 drops frames to keep up). A
    // negative value renders ahead on that many threads while the encoder
    // runs on its own. One render thread is the default: with more, the
    // engine's still-picture producer sometimes hands out a wrong picture
    // (seen about once in eight renders of a letterboxed still after a fade).
    c.set("real_time", -renderThreads());
    // How many rendered frames may wait for the encoder. The engine's 25 hold
    // a second of 1080p pictures (about 100 MB), all allocated and zeroed at
    // the start, and gain nothing: the render only has to stay a frame or two
    // ahead of the encoder.
    c.set("buffer", kRenderAhead);
    c.set("terminate_on_pause", 1);
    c.set("rescale", "bilinear");
    c.set("deinterlace_method", "onefield");
    m_showEvent = c.listen("consumer-frame-show", this, reinterpret_cast<mlt_listener>(frameShown));
    m_errorEvent = c.listen("consumer-fatal-error", this, reinterpret_cast<mlt_listener>(fatalError));
    m_stopEvent = c.listen("consumer-stopped", this, reinterpret_cast<mlt_listener>(consumerStopped));
    m_propertyEvent = c.listen("property-changed", this, reinterpret_cast<mlt_listener>(consumerPropertyChanged));
    c.connect(*m_producer);
    // See onWriterProperty: the writer thread must not find itself "not running".
    m_starter = std::this_thread::get_id();
    m_starting.store(true);
    const int started = c.start();
    m_starting.store(false);
    // Only needed while starting; blocked rather than removed, as the writer thread
    // may be firing it right now.
    m_propertyEvent->block();
    if (started != 0) {
        error = "書き込みを開始できません。\n" + m_temp;
        return false;
    }
    m_consumerStarted = true;
    return true;
}

bool RenderJob::startFeed(std::string& error)
{
    m_producer->seek(0);
    // The engine's plain consumer, asked for one frame after the other: it
    // sets up each frame as its file writer would.
    m_feedConsumer = mlt_consumer_new(m_profile.get_profile());
    if (!m_feedConsumer) {
        error = "描画エンジンを開始できません。";
        return false;
    }
    mlt_properties c = MLT_CONSUMER_PROPERTIES(m_feedConsumer);
    mlt_properties_set(c, "rescale", "bilinear");
    mlt_properties_set(c, "deinterlace_method", "onefield");
    mlt_consumer_connect(m_feedConsumer, MLT_PRODUCER_SERVICE(m_producer->get_producer()));
    m_feedThread = std::thread([this] { feed(); });
    return true;
}

namespace {

// A frame the engine has rendered for the encoder: its picture (4:2:0 at the
// output size) and its sound (planar float), both held by the frame.
struct RenderedFrame {
    mlt_frame frame = nullptr;
    uint8_t* image = nullptr;
    const float* sound = nullptr;
    int samples = 0;
};

// The frames rendered ahead of the encoder: the render thread puts them in,
// at most `capacity` at a time, the feed thread takes them out in order.
class FrameQueue final {
public:
    explicit FrameQueue(size_t capacity) : m_capacity(capacity) {}
    ~FrameQueue()
    {
        for (RenderedFrame& f : m_frames)
            mlt_frame_close(f.frame);
    }

    // Waits for room; false (and the frame closed) once the taker stopped.
    bool put(const RenderedFrame& frame)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_closed || m_frames.size() < m_capacity; });
        if (m_closed) {
            mlt_frame_close(frame.frame);
            return false;
        }
        m_frames.push_back(frame);
        m_changed.notify_all();
        return true;
    }
    // No more frames; `error` says why, if the render stopped early.
    void end(const std::string& error)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_error = error;
        m_changed.notify_all();
    }
    // Waits for the next frame; false at the end.
    bool take(RenderedFrame& frame)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_ended || !m_frames.empty(); });
        if (m_frames.empty())
            return false;
        frame = m_frames.front();
        m_frames.pop_front();
        m_changed.notify_all();
        return true;
    }
    // The taker stops: the render thread stops at its next frame.
    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }
    std::string error()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<RenderedFrame> m_frames;
    size_t m_capacity;
    bool m_ended = false, m_closed = false;
    std::string m_error;
};

} // namespace

void RenderJob::feed()
{
    Mp4Encoder encoder;
    std::string error;
    bool ok = encoder.open(m_temp, m_output, error);
    const int width = m_output.width, height = m_output.height, channels = m_output.channels;
    const double fps = double(m_output.rate.num) / m_output.rate.den;

    // The engine renders on a thread of its own, a few frames ahead, while
    // this one hands the frames to the encoders (x264 codes on threads of
    // its own).
    FrameQueue queue(kRenderAhead);
    std::thread render([&] {
        std::string why;
        for (long long i = 0; i < m_range.count() && !m_cancelled.load(); ++i) {
            RenderedFrame r;
            r.frame = mlt_consumer_rt_frame(m_feedConsumer);
            if (!r.frame) {
                why = "描画エンジンがフレームを返しません。";
                break;
            }
            // The sound of this frame, planar float at the output's rate.
            mlt_audio_format soundFormat = mlt_audio_float;
            int rate = m_output.sampleRate, soundChannels = channels;
            r.samples = mlt_audio_calculate_frame_samples(float(fps), rate, i);
            void* pcm = nullptr;
            if (mlt_frame_get_audio(r.frame, &pcm, &soundFormat, &rate, &soundChannels, &r.samples) != 0 || !pcm ||
                soundFormat != mlt_audio_float || rate != m_output.sampleRate || soundChannels != channels) {
                mlt_frame_close(r.frame);
                why = "描画エンジンが音声を返しません。";
                break;
            }
            r.sound = static_cast<const float*>(pcm);
            // The picture in the encoder's own format: vk_scale makes it
            // straight from the decoded pictures where it can.
            mlt_image_format format = mlt_image_yuv420p;
            int w = width, h = height;
            if (mlt_frame_get_image(r.frame, &r.image, &format, &w, &h, 0) != 0 || !r.image ||
                format != mlt_image_yuv420p || w != width || h != height) {
                mlt_frame_close(r.frame);
                why = "描画エンジンが映像を返しません。";
                break;
            }
            if (!queue.put(r))
                break;
        }
        queue.end(why);
    });

    std::vector<const float*> planes(size_t(std::max(1, channels)));
    RenderedFrame r;
    while (ok && queue.take(r)) {
        for (int c = 0; c < channels; ++c)
            planes[size_t(c)] = r.sound + size_t(c) * size_t(r.samples);
        if (!encoder.addSound(planes.data(), r.samples, error)) {
            mlt_frame_close(r.frame);
            ok = false;
            break;
        }
        // The picture goes to the encoder with the frame that holds it.
        Picture420 picture;
        const size_t luma = size_t(width) * height, chroma = size_t(width / 2) * (height / 2);
        picture.planes[0] = r.image;
        picture.planes[1] = r.image + luma;
        picture.planes[2] = r.image + luma + chroma;
        picture.strides[0] = width;
        picture.strides[1] = picture.strides[2] = width / 2;
        picture.release = closeFrame;
        picture.owner = r.frame;
        if (!encoder.addPicture(picture, error)) {
            ok = false;
            break;
        }
        m_frames.fetch_add(1);
    }
    queue.close();
    render.join();
    if (ok && !queue.error().empty()) {
        error = queue.error();
        ok = false;
    }
    if (ok && !m_cancelled.load())
        ok = encoder.finish(error);
    if (!ok) {
        m_feedError = error;
        m_fatal.store(true);
    }
    m_stopped.store(true);
}

void RenderJob::stopFeed()
{
    if (m_feedThread.joinable())
        m_feedThread.join();
    if (m_feedConsumer) {
        // No thread of the engine's own works for it, so it can go.
        mlt_consumer_close(m_feedConsumer);
        m_feedConsumer = nullptr;
    }
}

bool RenderJob::running()
{
    if (m_feedConsumer)
        return !m_stopped.load();
    return m_consumer && !m_stopped.load() && !m_consumer->is_stopped();
}

void RenderJob::cancel()
{
    m_cancelled.store(true);
    if (m_consumer)
        m_consumer->stop();
}

bool RenderJob::finish(std::string& error)
{
    // Closing the consumer flushes and closes the file; the feed closes it
    // itself before it stops.
    stopFeed();
    releaseConsumer();
    (void)m_producer.release(); // left open with the consumer that holds it
    m_finished = true;
    std::error_code ec;
    auto discard = [&](const std::string& why) {
        fs::remove(m_temp, ec);
        error = why;
        return false;
    };
    if (m_cancelled.load())
        return discard("キャンセルされました。");
    // Before the engine's own errors: a source that vanished is the cause of those.
    m_gone = missingSources(m_sources);
    if (!m_gone.empty())
        return discard(missingSourcesMessage(m_gone));
    if (m_fatal.load()) {
        // The engine's file writer says only that a write failed; a file system left
        // without room is the usual reason, and the one the user can act on.
        std::string why = "書き込み中にエラーが発生しました。";
        const fs::path folder = fs::path(m_temp).parent_path();
        const fs::space_info room = fs::space(folder.empty() ? fs::path(".") : folder, ec);
        if (!ec && room.available < kFullDiskMargin)
            why += "\nディスクの空き容量が足りません（" + folder.string() + "）。";
        if (!m_feedError.empty())
            why += "\n" + m_feedError;
        return discard(why);
    }
    if (m_frames.load() < m_range.count())
        return discard("全 " + std::to_string(m_range.count()) + " フレーム中 " + std::to_string(m_frames.load()) +
                       " フレームで書き込みが止まりました。");
    if (!fs::is_regular_file(m_temp, ec) || fs::file_size(m_temp, ec) == 0)
        return discard("書き込まれたデータがありません。");
    fs::rename(m_temp, m_target, ec);
    if (ec)
        return discard("作成したファイルを出力先に移動できません（" + ec.message() + "）。");
    return true;
}

} // namespace vk
