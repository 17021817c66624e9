#include "media/mpv/mediastackversion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <mpv/client.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vk {

namespace {

constexpr int kStackVersion = 0x900;

bool playerStarts()
{
    if ((mpv_client_api_version() >> 16) < 1)
        return false;
    std::setlocale(LC_NUMERIC, "C");
    mpv_handle* mpv = mpv_create();
    if (!mpv)
        return false;
    mpv_set_option_string(mpv, "config", "no");
    mpv_set_option_string(mpv, "terminal", "no");
    mpv_set_option_string(mpv, "vo", "null");
    mpv_set_option_string(mpv, "ao", "null");
    // None of the built-in scripts: each would start (and, at the end, stop) a Lua state.
    mpv_set_option_string(mpv, "load-scripts", "no");
    mpv_set_option_string(mpv, "osc", "no");
    mpv_set_option_string(mpv, "ytdl", "no");
    mpv_set_option_string(mpv, "load-stats-overlay", "no");
    mpv_set_option_string(mpv, "load-osd-console", "no");
    mpv_set_option_string(mpv, "load-auto-profiles", "no");
    const bool ok = mpv_initialize(mpv) >= 0;
    mpv_terminate_destroy(mpv);
    return ok;
}

bool containersReadable()
{
    return avformat_version() > 0 && av_find_input_format("wav") && av_find_input_format("mov");
}

} // namespace

int DirectXProbe()
{
    return containersReadable() && playerStarts() ? kStackVersion : 0;
}

QByteArray MediaStackStamp()
{
    struct File {
        QByteArray path;
        bool required;
    };
    const File files[] = {
        {QByteArray(VK_MPV_LIBDIR "/libmpv.so.") + QByteArray::number(int(MPV_CLIENT_API_VERSION >> 16)), true},
        {QByteArray(VK_AVFORMAT_LIBDIR "/libavformat.so.") + QByteArray::number(LIBAVFORMAT_VERSION_MAJOR), true},
        {QByteArrayLiteral("/proc/self/exe"), true},
        {QByteArrayLiteral("/var/lib/dpkg/status"), false},
    };
    QByteArray stamp;
    for (const File& f : files) {
        struct stat st {};
        if (stat(f.path.constData(), &st) != 0) {
            if (f.required)
                return QByteArray();
            continue;
        }
        stamp += f.path + ' ' + QByteArray::number(qint64(st.st_size)) + ' ' +
                 QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(st.st_mtim.tv_nsec)) +
                 ' ' + QByteArray::number(quint64(st.st_ino)) + '\n';
    }
    return stamp;
}

MediaStackCheck::MediaStackCheck(const QString& cacheFile) : m_cacheFile(cacheFile)
{
    if (!m_cacheFile.isEmpty()) {
        m_stamp = MediaStackStamp();
        QFile file(m_cacheFile);
        if (!m_stamp.isEmpty() && file.open(QIODevice::ReadOnly)) {
            const QByteArray kept = file.readAll();
            const qsizetype lineEnd = kept.indexOf('\n');
            bool ok = false;
            const int version = lineEnd > 0 ? kept.left(lineEnd).toInt(&ok) : 0;
            if (ok && version >= 0x800 && kept.mid(lineEnd + 1) == m_stamp) {
                m_done = true;
                m_result = version;
                return;
            }
        }
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int version = DirectXProbe();
        const ssize_t written = write(fds[1], &version, sizeof version);
        _exit(written == ssize_t(sizeof version) ? 0 : 1);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return;
    }
    m_pid = pid;
    m_fd = fds[0];
}

MediaStackCheck::~MediaStackCheck()
{
    reap(true);
}

int MediaStackCheck::result(int timeoutMs)
{
    if (m_done)
        return m_result;
    m_done = true;
    if (m_pid < 0) {
        m_result = DirectXProbe();
        if (m_result >= 0x800)
            keep();
        return m_result;
    }
    // The child writes its answer and ends; a crash or a hang gives none.
    int version = 0;
    size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(&version);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got < sizeof version) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{m_fd, POLLIN, 0};
        const int ready = poll(&p, 1, int(std::min<long long>(left, 1000)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        const ssize_t n = read(m_fd, bytes + got, sizeof version - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    m_result = got == sizeof version ? version : 0;
    reap(got != sizeof version);
    if (m_result >= 0x800)
        keep();
    return m_result;
}

void MediaStackCheck::keep() const
{
    if (m_cacheFile.isEmpty() || m_stamp.isEmpty())
        return;
    QDir().mkpath(QFileInfo(m_cacheFile).absolutePath());
    QSaveFile file(m_cacheFile);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QByteArray::number(m_result) + '\n' + m_stamp);
    file.commit();
}

void MediaStackCheck::reap(bool kill)
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    if (m_pid < 0)
        return;
    if (kill)
        ::kill(m_pid, SIGKILL);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

} // namespace vk
