// Writes the files the editor ships in its own folder: the confirmation sound pi.wav
// (a short sine burst) and the solid-colour stills Slides/Black.bmp, Grey.bmp, White.bmp.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <cmath>
#include <cstdio>

namespace {

bool writeBeep(const QString& path)
{
    const int rate = 44100;
    const int samples = rate * 120 / 1000; // 120 ms
    QByteArray pcm;
    pcm.resize(samples * 2);
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / rate;
        const double fade = std::min(1.0, std::min(i, samples - i) / (rate * 0.005));
        const auto v = qint16(std::lround(12000.0 * fade * std::sin(2.0 * M_PI * 1760.0 * t)));
        qToLittleEndian<qint16>(v, pcm.data() + 2 * i);
    }
    QByteArray h;
    auto u32 = [&h](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        h.append(b, 4);
    };
    auto u16 = [&h](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        h.append(b, 2);
    };
    h.append("RIFF", 4);
    u32(36 + quint32(pcm.size()));
    h.append("WAVE", 4);
    h.append("fmt ", 4);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    h.append("data", 4);
    u32(quint32(pcm.size()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(h) == h.size() && f.write(pcm) == pcm.size();
}

bool writeSolid(const QString& path, QColor colour)
{
    QImage img(640, 480, QImage::Format_RGB888);
    img.fill(colour);
    return img.save(path, "BMP");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkassets <folder>\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir + QStringLiteral("/Slides"));
    bool ok = writeBeep(dir + QStringLiteral("/pi.wav"));
    ok = writeSolid(dir + QStringLiteral("/Slides/Black.bmp"), QColor(0, 0, 0)) && ok;
    ok = writeSolid(dir + QStringLiteral("/Slides/Grey.bmp"), QColor(128, 128, 128)) && ok;
    ok = writeSolid(dir + QStringLiteral("/Slides/White.bmp"), QColor(255, 255, 255)) && ok;
    return ok ? 0 : 1;
}
