#include "writer_testkit.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace vktest {

TempDir::TempDir()
{
    std::string t = (fs::temp_directory_path() / "vkwriter-test-XXXXXX").string();
    m_path = mkdtemp(t.data());
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!std::getenv("VK_KEEP_TEST_FILES"))
        fs::remove_all(m_path, ec);
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

RunResult runProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                     int timeoutSec, const std::function<bool(const std::string&)>& terminateWhen, int signal)
{
    RunResult r;
    char outName[] = "/tmp/vkwriter-out-XXXXXX";
    char errName[] = "/tmp/vkwriter-err-XXXXXX";
    const int outFd = mkstemp(outName), errFd = mkstemp(errName);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        for (const auto& [k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSec);
    int status = 0;
    bool signalled = false;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (terminateWhen && !signalled && terminateWhen(readFile(outName))) {
            kill(pid, signal);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.exitCode = status == -1 ? -1 : (WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    r.out = readFile(outName);
    r.err = readFile(errName);
    close(outFd);
    close(errFd);
    unlink(outName);
    unlink(errName);
    return r;
}

bool runOk(const std::vector<std::string>& argv, std::string* err)
{
    const RunResult r = runProgram(argv, {}, 300);
    if (err)
        *err = r.err;
    return r.exitCode == 0;
}

std::map<std::string, std::string> probeStream(const std::string& file, const std::string& selector)
{
    const RunResult r = runProgram({"ffprobe", "-v", "error", "-select_streams", selector, "-count_packets",
                                    "-show_entries", "stream", "-of", "default=noprint_wrappers=1", file});
    std::map<std::string, std::string> out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && !out.count(line.substr(0, eq)))
            out[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return out;
}

double probeDuration(const std::string& file)
{
    const RunResult r = runProgram({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                                    "default=noprint_wrappers=1:nokey=1", file});
    return std::atof(r.out.c_str());
}

std::string probeFormat(const std::string& file)
{
    const RunResult r = runProgram({"ffprobe", "-v", "error", "-show_entries", "format=format_name", "-of",
                                    "default=noprint_wrappers=1:nokey=1", file});
    std::string s = r.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

std::vector<std::string> decodeFrames(const std::string& file, int w, int h)
{
    TempDir dir;
    const std::string raw = dir / "frames.rgb";
    // Every stored frame once: no duplicates for containers whose first
    // timestamp is not 0 (ASF preroll).
    runOk({"ffmpeg", "-v", "error", "-y", "-i", file, "-fps_mode", "passthrough", "-vf",
           "scale=" + std::to_string(w) + ":" + std::to_string(h) + ":flags=area", "-f", "rawvideo", "-pix_fmt",
           "rgb24", raw});
    const std::string all = readFile(raw);
    const size_t size = size_t(w) * h * 3;
    std::vector<std::string> frames;
    for (size_t at = 0; at + size <= all.size(); at += size)
        frames.push_back(all.substr(at, size));
    return frames;
}

std::vector<short> decodeSound(const std::string& file, int rate)
{
    TempDir dir;
    const std::string raw = dir / "sound.s16";
    runOk({"ffmpeg", "-v", "error", "-y", "-i", file, "-vn", "-ac", "1", "-ar", std::to_string(rate), "-f", "s16le",
           raw});
    const std::string all = readFile(raw);
    std::vector<short> s(all.size() / 2);
    std::memcpy(s.data(), all.data(), s.size() * 2);
    return s;
}

double toneStrength(const std::vector<short>& s, int rate, double freq, size_t from, size_t to)
{
    to = std::min(to, s.size());
    if (from >= to)
        return 0;
    const double k = 2 * std::cos(2 * M_PI * freq / rate);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < to; ++i) {
        const double v = s[i] + k * s1 - s2;
        s2 = s1;
        s1 = v;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - k * s1 * s2) / double(to - from);
}

bool makeNumberedVideo(const std::string& path, int seconds, int fps)
{
    const std::string dur = std::to_string(seconds);
    return runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "color=c=black:s=320x240:r=" + std::to_string(fps) + ":d=" + dur +
                      ",format=gray,geq=lum='255*mod(floor(N/pow(2\\,floor(X/32)))\\,2)'",
                  "-f", "lavfi", "-i", "sine=f=300:d=" + dur, "-c:v", "ffv1", "-c:a", "pcm_s16le", "-shortest", path});
}

bool makeNumberedH264(const std::string& path, int seconds)
{
    const std::string dur = std::to_string(seconds);
    return runOk(
        {"ffmpeg",
         "-v",
         "error",
         "-y",
         "-f",
         "lavfi",
         "-i",
         "color=c=black:s=320x240:r=30:d=" + dur + ",format=gray,geq=lum='255*mod(floor(N/pow(2\\,floor(X/32)))\\,2)'",
         "-c:v",
         "libx264",
         "-preset",
         "veryfast",
         "-crf",
         "12",
         "-g",
         "30",
         "-bf",
         "3",
         "-pix_fmt",
         "yuv420p",
         path});
}

bool makeColourH264(const std::string& path, const std::string& colour, int seconds)
{
    return runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "color=c=" + colour + ":s=320x240:r=30:d=" + std::to_string(seconds), "-c:v", "libx264", "-preset",
                  "veryfast", "-pix_fmt", "yuv420p", path});
}

bool makeStill(const std::string& path, const std::string& colour, int w, int h)
{
    return runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                  "color=c=" + colour + ":s=" + std::to_string(w) + "x" + std::to_string(h), "-frames:v", "1", path});
}

bool makeTones(const std::string& path, const std::vector<int>& freqs, double secondsEach)
{
    std::vector<std::string> args = {"ffmpeg", "-v", "error", "-y"};
    std::string graph;
    for (size_t i = 0; i < freqs.size(); ++i) {
        args.insert(args.end(), {"-f", "lavfi", "-i",
                                 "sine=f=" + std::to_string(freqs[i]) + ":d=" + std::to_string(secondsEach) +
                                     ":sample_rate=48000"});
        graph += "[" + std::to_string(i) + "]";
    }
    graph += "concat=n=" + std::to_string(freqs.size()) + ":v=0:a=1";
    args.insert(args.end(), {"-filter_complex", graph, "-ac", "1", path});
    return runOk(args);
}

void pixel(const std::string& rgb, int w, int x, int y, int& r, int& g, int& b)
{
    const size_t at = (size_t(y) * w + x) * 3;
    r = static_cast<unsigned char>(rgb[at]);
    g = static_cast<unsigned char>(rgb[at + 1]);
    b = static_cast<unsigned char>(rgb[at + 2]);
}

int readFrameNumber(const std::string& rgb, int w, int h)
{
    int n = 0;
    for (int bit = 0; bit < 10; ++bit) {
        const int x = int((bit + 0.5) * w / 10);
        int sum = 0;
        // Average a small patch in the middle of the bar.
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                int r, g, b;
                pixel(rgb, w, x + dx, h / 2 + dy * (h / 8), r, g, b);
                sum += (r + g + b) / 3;
            }
        const int level = sum / 15;
        if (level > 60 && level < 195)
            return -1;
        if (level >= 195)
            n |= 1 << bit;
    }
    return n;
}

double meanLevel(const std::string& rgb)
{
    double sum = 0;
    for (unsigned char c : rgb)
        sum += c;
    return rgb.empty() ? 0 : sum / rgb.size();
}

} // namespace vktest
