#pragma once
// Renders the engine timeline into a file, written into a temporary file
// beside the target (same folder, so the final rename is atomic); only a
// complete render replaces the target, so a failure or a cancel leaves no
// partial file and never harms an existing one.
//
// MP4 is encoded by the writer itself (writer/mp4encoder.h) from frames the
// engine renders in 4:2:0 on its own thread; every other format is written by
// the engine's file writer.

#include "writer/mltbuilder.h"
#include "writer/outputformat.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

struct mlt_consumer_s;

namespace Mlt {
class Profile;
class Producer;
class Consumer;
class Event;
} // namespace Mlt

namespace vk {

// An engine profile with the output's picture size, pixel shape and rate.
std::unique_ptr<Mlt::Profile> makeProfile(const OutputSettings& output);

// Temporary name used while rendering `target`.
std::string temporaryOutputPath(const std::string& target);

class RenderJob final {
public:
    RenderJob(Mlt::Profile& profile, std::string engineXml, OutputSettings output, FrameRange range,
              std::string target);
    ~RenderJob();
    RenderJob(const RenderJob&) = delete;
    RenderJob& operator=(const RenderJob&) = delete;

    // Opens the timeline and starts the engine on its own threads.
    bool start(std::string& error);

    long long framesDone() const { return m_frames.load(); }
    long long framesTotal() const { return m_range.count(); }
    // True while the render goes on.
    bool running();
    void cancel();
    bool cancelled() const { return m_cancelled.load(); }

    // The source files the render reads. Each must still be there when the render ends:
    // the engine may read a file again at any time, and one that vanished gives black
    // pictures or silence. They are looked for once the engine has stopped, before the
    // finished file replaces the target.
    void watchSources(std::vector<std::string> sources) { m_sources = std::move(sources); }
    // The sources found missing when the render ended; empty while all are there.
    const std::vector<std::string>& gone() const { return m_gone; }

    // After the engine stopped: keeps the result (rename over the target) when
    // every frame was written, otherwise removes the temporary file. Returns
    // false with a reason when there is no result.
    bool finish(std::string& error);

    const std::string& target() const { return m_target; }

    static void onFrameShown(void* self, void* frame);
    static void onFatalError(void* self);
    static void onStopped(void* self);
    // A property of the engine's writer changed (on whichever thread changed it).
    static void onWriterProperty(void* self, void* consumerProperties, const char* name);

private:
    bool startConsumer(std::string& error);
    void releaseConsumer();
    // MP4: the engine renders ahead on its own thread, the feed thread
    // encodes.
    bool startFeed(std::string& error);
    void feed();
    void stopFeed();

    Mlt::Profile& m_profile;
    std::string m_xml;
    OutputSettings m_output;
    FrameRange m_range;
    std::string m_target;
    std::string m_temp;
    std::unique_ptr<Mlt::Producer> m_producer;
    std::unique_ptr<Mlt::Consumer> m_consumer;
    Mlt::Event* m_showEvent = nullptr;
    Mlt::Event* m_errorEvent = nullptr;
    Mlt::Event* m_stopEvent = nullptr;
    Mlt::Event* m_propertyEvent = nullptr;
    std::atomic<long long> m_frames{0};
    std::atomic<bool> m_cancelled{false};
    std::vector<std::string> m_sources;
    std::vector<std::string> m_gone;
    std::atomic<bool> m_fatal{false};
    std::atomic<bool> m_stopped{false};
    std::atomic<bool> m_starting{false}; // inside the engine's start of the writer
    std::thread::id m_starter;           // the thread that starts it
    bool m_finished = false;
    bool m_consumerStarted = false;
    mlt_consumer_s* m_feedConsumer = nullptr; // renders ahead for the feed
    std::thread m_feedThread;
    std::string m_feedError; // why the feed stopped early (set before m_stopped)
};

} // namespace vk
