// Draw time of the waveform strip: a 10-minute song's waveform, 1,200 beats and 600
// section lines, drawn whole and zoomed into a strip 1,400 pixels wide, as the editor
// draws it on every play-position update. Target: a few ms per frame.

#include "app/waveformstrip.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int rate = 44100;
    const double seconds = 600.0;
    std::vector<float> mono(size_t(rate * seconds));
    for (size_t i = 0; i < mono.size(); ++i) {
        const double t = double(i) / rate;
        const double beat = std::fmod(t, 0.5);
        mono[i] = float(std::exp(-beat * 12.0) * std::sin(2.0 * M_PI * 110.0 * t) * 0.8 +
                        0.1 * std::sin(2.0 * M_PI * 440.0 * t));
    }
    auto analysis = std::make_shared<vk::AudioAnalysis>();
    analysis->sampleRate = rate;
    analysis->durationMs = seconds * 1000.0;
    analysis->peaks = vk::WaveformPeaks::build(mono.data(), mono.size(), rate);
    std::vector<double> beats, bars, starts;
    for (double t = 0; t < seconds * 1000.0; t += 500.0) {
        beats.push_back(t);
        if (beats.size() % 4 == 1)
            bars.push_back(t);
        if (beats.size() % 2 == 1)
            starts.push_back(t);
    }

    vk::WaveformStrip strip;
    strip.setAnalysis(analysis, seconds * 1000.0);
    strip.setBeats(beats, bars);
    strip.setSectionStarts(starts);
    QImage image(1400, 56, QImage::Format_RGB32);

    auto bench = [&](const char* what, double from, double to) {
        strip.setView(from, to);
        const int frames = 200;
        QElapsedTimer wall;
        const std::clock_t cpu0 = std::clock();
        wall.start();
        for (int f = 0; f < frames; ++f) {
            strip.setPosition(from + (to - from) * f / frames, false);
            QPainter p(&image);
            strip.render(p, image.rect());
        }
        const double wallMs = double(wall.nsecsElapsed()) / 1e6 / frames;
        const double cpuMs = double(std::clock() - cpu0) * 1000.0 / CLOCKS_PER_SEC / frames;
        std::printf("%-28s %7.3f ms/frame wall  %7.3f ms/frame cpu  (target < 5 ms)\n", what, wallMs, cpuMs);
    };
    std::printf("waveform strip, 10-minute song, 1400 x 56 pixels\n");
    bench("whole song", 0.0, seconds * 1000.0);
    bench("one minute", 120000.0, 180000.0);
    bench("ten seconds", 300000.0, 310000.0);
    bench("one second", 300000.0, 301000.0);
    return 0;
}
