#pragma once
// The whole editor in the test's own process, as a user runs it: the Application with
// its real players (libmpv, no sound device, no picture output), its windows offscreen,
// its automation object on a private session bus, and the real T-VideoWrite for
// previews and renders. The test drives it with key events and over the bus, and reads
// the process's own figures (resident memory, open files, threads).
//
// The private bus must be running and named in DBUS_SESSION_BUS_ADDRESS before the
// QApplication exists (QtDBus reads the address once): see StartPrivateSessionBus.

#include "tests/integration/rawbus.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

class QWidget;

namespace vk {
class Application;
class frmMain;
namespace test {
class PrivateBus;
}
} // namespace vk

namespace vk::test {

// Starts a bus of the process's own (with the limits of a desktop session bus) and names
// it in DBUS_SESSION_BUS_ADDRESS; also sets the headless defaults the players and the
// renderer need. Call first in main(), before the application object.
std::unique_ptr<PrivateBus> StartPrivateSessionBus();

// This process's resident memory, open file descriptors and threads, from /proc.
struct ProcessFigures {
    long rssKb = 0;
    // Of which the allocator has handed out and not had back (small blocks and mapped
    // ones): growth here is memory kept, growth of RSS alone is the allocator's pools.
    long heapInUseKb = 0;
    int fds = 0;
    int threads = 0;
};
ProcessFigures ReadProcessFigures();

// The media a session loads, generated with ffmpeg into `folder`: two songs (WAV and
// MP3, with a click every half second) and two videos (25 and 30 fps).
struct SessionMedia {
    QStringList songs;
    QStringList videos;
    QString error;
};
SessionMedia MakeSessionMedia(const QString& folder, int seconds);

// The flood of calls and the key presses posted to the main window while it lasts.
struct FloodOutcome {
    std::vector<RawAnswer> answers;
    std::string clientError;
    double seconds = 0;
    int callsServedBeforeFirstKeyHandled = -1;
    // Keys posted while the calls were being served, and handled before the last call
    // was served.
    int keysHandledDuringFlood = 0;
    int keysPosted = 0;
    int keysHandled = 0;
    // From posting a key press to the end of its handling, milliseconds.
    std::vector<double> keyResponseMs;
    double slowestKeyMs() const;
    int replies() const;
    int errors() const;
};

class LiveEditor final {
public:
    // `work`: a folder for the session's files. `writerFolder`: where T-VideoWrite is.
    LiveEditor(const QString& work, const QString& writerFolder);
    ~LiveEditor();
    LiveEditor(const LiveEditor&) = delete;
    LiveEditor& operator=(const LiveEditor&) = delete;

    // Builds and starts the editor and waits until it answers on the bus.
    bool start(QString* error);
    Application& app() { return *m_app; }
    frmMain& window();
    QWidget* soundSlider();
    QWidget* videoSlider();
    std::string busAddress() const;

    // One call over the bus from a client of its own, while this thread keeps serving.
    RawAnswer callOverBus(const RawCall& call, int timeoutMs = 30000);

    // Sends `calls` pipelined from a client on its own thread; meanwhile a second thread
    // posts a key press (one frame forward or back) to the sound slider every few
    // milliseconds, as the window system would queue it. Runs the event loop until the
    // client has every answer or `timeoutMs` passes.
    FloodOutcome flood(const std::vector<RawCall>& calls, int timeoutMs = 120000);

    // A key press and release delivered to `w` as an event (the path the window's own
    // key handling takes).
    static void key(QWidget* w, int qtKey, int modifiers = 0);
    // A shortcut key through the window system, as a user types it (Ctrl+Z ...).
    void shortcut(int qtKey, int modifiers);

    // One loop of a working session: loads song `round`%2 through the sound file field,
    // taps A while it plays, loads a video over the bus, registers three spans with Z, X
    // and S, undoes and redoes, starts a preview, saves the project, renders (WAV, DV AVI
    // and MP4 in turn) and floods the bus with `floodCalls` calls. False with the step
    // that failed in `error`.
    bool sessionLoop(int round, const SessionMedia& media, int floodCalls, FloodOutcome* flood, QString* error);

private:
    QString m_work;
    QString m_writerFolder;
    std::unique_ptr<Application> m_app;
};

// `count` calls of every kind the editor answers (reads, writes of the same values,
// unknown actions, getVersion), in a fixed order.
std::vector<RawCall> MixedCalls(int count, const std::string& song, const std::string& dest);

} // namespace vk::test
