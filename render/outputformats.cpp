#include "render/outputformats.h"

#include "base/numbers.h"

#include <stdexcept>

namespace vk {

namespace {

// cmboAVI, in list order. The DV entry keeps 480 as its height; the timeline writes
// 720 x 480 for it whatever the height holds.
const AviListEntry kAviList[kAviListCount] = {
    {"DV圧縮 (Type2)", -1, 480, 29.97},
    {"176x144 30fps 非圧縮", 176, 144, 30},
    {"176x144 29.97fps 非圧縮", 176, 144, 29.97},
    {"176x144 24fps 非圧縮", 176, 144, 24},
    {"240x180 30fps 非圧縮", 240, 180, 30},
    {"240x180 29.97fps 非圧縮", 240, 180, 29.97},
    {"240x180 24fps 非圧縮", 240, 180, 24},
    {"320x240 30fps 非圧縮", 320, 240, 30},
    {"320x240 29.97fps 非圧縮", 320, 240, 29.97},
    {"320x240 24fps 非圧縮", 320, 240, 24},
    {"352x288 30fps 非圧縮", 352, 288, 30},
    {"352x288 29.97fps 非圧縮", 352, 288, 29.97},
    {"352x288 24fps 非圧縮", 352, 288, 24},
    {"640x480 30fps 非圧縮", 640, 480, 30},
    {"640x480 29.97fps 非圧縮", 640, 480, 29.97},
    {"640x480 24fps 非圧縮", 640, 480, 24},
    {"720x480 30fps 非圧縮", 720, 480, 30},
    {"720x480 29.97fps 非圧縮", 720, 480, 29.97},
    {"720x480 24fps 非圧縮", 720, 480, 24},
    {"1280x720 30fps 非圧縮", 1280, 720, 30},
    {"1280x720 29.97fps 非圧縮", 1280, 720, 29.97},
    {"1280x720 24fps 非圧縮", 1280, 720, 24},
    {"1440x1080 30fps 非圧縮", 1440, 1080, 30},
    {"1440x1080 29.97fps 非圧縮", 1440, 1080, 29.97},
    {"1440x1080 24fps 非圧縮", 1440, 1080, 24},
    {"1920x1080 30fps 非圧縮", 1920, 1080, 30},
    {"1920x1080 29.97fps 非圧縮", 1920, 1080, 29.97},
    {"1920x1080 24fps 非圧縮", 1920, 1080, 24},
    {"512x384 30fps 非圧縮", 512, 384, 30},
    {"512x288 30fps 非圧縮", 512, 288, 30},
};

// cmboWMV, in list order.
const WmvListEntry kWmvList[kWmvListCount] = {
    {"240x176 56Kbps", "240-0056k-mono.prx"},         {"240x176 150Kbps", "240-0150k-stereo.prx"},
    {"240x176 300Kbps", "240-0300k-stereo.prx"},      {"320x240 150Kbps", "320-0150k-stereo.prx"},
    {"320x240 300Kbps", "320-0300k-stereo.prx"},      {"320x240 700Kbps", "320-0700k-stereo.prx"},
    {"640x480 700Kbps", "640-0700k-stereo.prx"},      {"640x480 1500Kbps", "640-1500k-stereo.prx"},
    {"640x480 2000Kbps", "640-2000k-stereo.prx"},     {"208x160 PocketPC", "208-259K-POCKETPC.PRX"},
    {"[WMV9] 640x480 DVD", "640-2073K-DVD.PRX"},      {"[WMV9] 1280x720 HD", "1280-5201K-HD.PRX"},
    {"[WMV9] 1440x1080 HD", "1440-7073K-HD.PRX"},     {"[WMV9] 1920x1080 HD", "1920-9073K-HD.PRX"},
    {"[WMV9] 512x384 1.0M", "512-1000k-stereo.prx"},  {"[WMV9] 512x384 1.5M", "512-1500k-stereo.prx"},
    {"[WMV9] 512x384 2.0M", "512-2000k-stereo.prx"},  {"[WMV9] 512x288 1.0M", "512H-1000k-stereo.prx"},
    {"[WMV9] 512x288 1.5M", "512H-1500k-stereo.prx"}, {"[WMV9] 512x288 2.0M", "512H-2000k-stereo.prx"},
};

// cmboMP4, in list order.
const Mp4ListEntry kMp4List[kMp4ListCount] = {
    {"640x360 29.97fps H.264", 640, 360, 29.97, "29.97"},     {"640x360 30fps H.264", 640, 360, 30, "30"},
    {"854x480 29.97fps H.264", 854, 480, 29.97, "29.97"},     {"854x480 30fps H.264", 854, 480, 30, "30"},
    {"1280x720 29.97fps H.264", 1280, 720, 29.97, "29.97"},   {"1280x720 30fps H.264", 1280, 720, 30, "30"},
    {"1920x1080 29.97fps H.264", 1920, 1080, 29.97, "29.97"}, {"1920x1080 30fps H.264", 1920, 1080, 30, "30"},
    {"1920x1080 59.94fps H.264", 1920, 1080, 59.94, "59.94"}, {"1920x1080 60fps H.264", 1920, 1080, 60, "60"},
};

int frameIntervalOf(const OutputFormat& format)
{
    // No frame rate chosen yet (no selection since start-up): no interval either.
    if (!(format.frameRate > 0))
        return 0;
    return RoundToInt32(1000.0 / format.frameRate);
}

} // namespace

QString OutputListToolTip()
{
    return QStringLiteral("出力形式選択");
}

const AviListEntry& AviListAt(int index)
{
    if (index < 0 || index >= kAviListCount)
        throw std::out_of_range("AVI list index");
    return kAviList[index];
}

const WmvListEntry& WmvListAt(int index)
{
    if (index < 0 || index >= kWmvListCount)
        throw std::out_of_range("WMV list index");
    return kWmvList[index];
}

const Mp4ListEntry& Mp4ListAt(int index)
{
    if (index < 0 || index >= kMp4ListCount)
        throw std::out_of_range("MP4 list index");
    return kMp4List[index];
}

QStringList AviListTexts()
{
    QStringList texts;
    for (const AviListEntry& e : kAviList)
        texts << QString::fromUtf8(e.text);
    return texts;
}

QStringList WmvListTexts()
{
    QStringList texts;
    for (const WmvListEntry& e : kWmvList)
        texts << QString::fromUtf8(e.text);
    return texts;
}

QStringList Mp4ListTexts()
{
    QStringList texts;
    for (const Mp4ListEntry& e : kMp4List)
        texts << QString::fromUtf8(e.text);
    return texts;
}

int OutputProfileGet(int aviIndex, int wmvIndex, OutputFormat& format, QString& prxFile)
{
    format.samplingRate = 48000;
    format.bitDepth = 24;
    if (aviIndex >= 0 && aviIndex < kAviListCount) {
        const AviListEntry& e = kAviList[aviIndex];
        format.width = e.width;
        format.height = e.height;
        format.frameRate = e.frameRate;
    }
    if (wmvIndex >= 0 && wmvIndex < kWmvListCount)
        prxFile = QString::fromUtf8(kWmvList[wmvIndex].profileFile);
    return frameIntervalOf(format);
}

int Mp4ProfileGet(int mp4Index, OutputFormat& format)
{
    format.samplingRate = 48000;
    format.bitDepth = 24;
    if (mp4Index >= 0 && mp4Index < kMp4ListCount) {
        const Mp4ListEntry& e = kMp4List[mp4Index];
        format.width = e.width;
        format.height = e.height;
        format.frameRate = e.frameRate;
    }
    return frameIntervalOf(format);
}

} // namespace vk
