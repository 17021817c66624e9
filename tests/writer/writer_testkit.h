#pragma once
// Helpers for the writer's end-to-end tests: running programs, generating
// media with ffmpeg, and reading rendered files back (frames, sound, streams).

#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vktest {

struct RunResult {
    int exitCode = -1; // -1: did not finish in time (killed)
    std::string out;
    std::string err;
};

// Runs argv[0] (searched in PATH) with extra environment entries, waiting at
// most timeoutSec seconds. When `terminateWhen` is given, the program gets
// SIGTERM (or `signal`) as soon as the predicate holds for what it has printed so far.
RunResult runProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
                     int timeoutSec = 120, const std::function<bool(const std::string&)>& terminateWhen = {},
                     int signal = SIGTERM);

// Runs a shell-free command and asserts nothing; true when it exited 0.
bool runOk(const std::vector<std::string>& argv, std::string* err = nullptr);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

// ffprobe of one stream: codec_name, width, height, r_frame_rate, pix_fmt,
// sample_rate, channels, nb_frames, duration ...; empty map when absent.
std::map<std::string, std::string> probeStream(const std::string& file, const std::string& selector);
double probeDuration(const std::string& file);
std::string probeFormat(const std::string& file);

// Decoded video scaled to w x h, RGB24, one string of w*h*3 bytes per frame.
std::vector<std::string> decodeFrames(const std::string& file, int w, int h);

// Decoded sound, mono 16-bit at `rate`.
std::vector<short> decodeSound(const std::string& file, int rate);

// Strength of `freq` Hz in samples [from, to) (Goertzel).
double toneStrength(const std::vector<short>& s, int rate, double freq, size_t from, size_t to);

// The test video: frame n carries n in binary as ten vertical bars (bar b
// white when bit b is set), so every frame number is readable after scaling
// and lossy coding. It has its own 300 Hz sound, which must never be heard
// in a render.
bool makeNumberedVideo(const std::string& path, int seconds, int fps = 30);
// The same numbered pictures as H.264 with B-frames (key frame every 30
// frames, closed groups), 4:2:0, in the container the name asks for, and a
// plain H.264 picture of one colour.
bool makeNumberedH264(const std::string& path, int seconds);
bool makeColourH264(const std::string& path, const std::string& colour, int seconds);
bool makeStill(const std::string& path, const std::string& colour, int w, int h);
// Consecutive 2-second sine tones at the given frequencies, 48 kHz mono.
bool makeTones(const std::string& path, const std::vector<int>& freqs, double secondsEach);

// Frame number read from a decoded w x h RGB frame; -1 if the bars are not clean.
int readFrameNumber(const std::string& rgb, int w, int h);
// Mean brightness of a frame, 0..255.
double meanLevel(const std::string& rgb);
// Colour of one pixel.
void pixel(const std::string& rgb, int w, int x, int y, int& r, int& g, int& b);

} // namespace vktest
