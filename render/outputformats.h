#pragma once
// The three output-format lists of the main window and the output format they select.
//
// The AVI list decides the picture of the preview, AVI/WAV and WMV/ASF outputs: the
// size, the frame rate and, for its first entry, the DV compressors. The WMV list only
// names the profile file handed to T-VideoWrite, which is passed for every kind of
// output but MP4. The MP4 list gives the size and the frame rate of an MP4 output
// (H.264 and AAC; the rest of the encoding is the writer's). The item texts are the
// ones the lists show.
//
// The format record and the profile name belong to the output driver and keep their
// values between outputs: a list index outside its list leaves the fields it would set
// as they were.

#include <QString>
#include <QStringList>

namespace vk {

// The format of the rendered picture and sound, read by the timeline document.
struct OutputFormat final {
    int width = 0;        // -1 means DV (720 x 480 in the timeline)
    int height = 0;       // ignored when width is -1
    double frameRate = 0; // 30, 29.97 or 24
    int bitDepth = 0;     // always 24 once chosen
    int samplingRate = 0; // always 48000 once chosen
};

struct AviListEntry final {
    const char* text; // UTF-8 item text
    int width;
    int height;
    double frameRate;
};

struct WmvListEntry final {
    const char* text;        // UTF-8 item text
    const char* profileFile; // bare profile file name, no folder
};

struct Mp4ListEntry final {
    const char* text; // UTF-8 item text
    int width;
    int height;
    double frameRate;          // 29.97 and 59.94 stand for 30000/1001 and 60000/1001
    const char* frameRateText; // the frame rate as the parameters document writes it
};

constexpr int kAviListCount = 30;
constexpr int kWmvListCount = 20;
constexpr int kMp4ListCount = 10;
// The selections used when the settings hold none.
constexpr int kDefaultAviIndex = 0;
constexpr int kDefaultWmvIndex = 15;
constexpr int kDefaultMp4Index = 4; // 1280x720 29.97fps
// The picture quality of every MP4 output: x264's constant rate factor.
constexpr int kMp4VideoQuality = 18;
// Tool tip of the three lists.
QString OutputListToolTip();

// Entries 0 .. count-1; any other index throws std::out_of_range.
const AviListEntry& AviListAt(int index);
const WmvListEntry& WmvListAt(int index);
const Mp4ListEntry& Mp4ListAt(int index);
// The item texts in list order, for filling the combo boxes.
QStringList AviListTexts();
QStringList WmvListTexts();
QStringList Mp4ListTexts();

// Sets sampling rate 48000 and bit depth 24, then width, height and frame rate from the
// AVI index and the profile file name from the WMV index; an index outside its list
// leaves those fields unchanged. Returns the frame interval of the output in whole ms
// (1000 / frame rate, halves to even: 33 for 30 and 29.97, 42 for 24), or 0 while no
// frame rate has been chosen yet.
//
// The returned interval is the output's own; the section starts of the row table are
// always read with the sound clip's frame interval, never with this one, so that
// choosing a 24 fps output cannot shift them.
int OutputProfileGet(int aviIndex, int wmvIndex, OutputFormat& format, QString& prxFile);

// The same for an MP4 output: sampling rate 48000 and bit depth 24, then width, height
// and frame rate from the MP4 index (an index outside the list leaves them unchanged).
// Returns the frame interval in whole ms (33 for 30 and 29.97, 17 for 60 and 59.94), or
// 0 while no frame rate has been chosen.
int Mp4ProfileGet(int mp4Index, OutputFormat& format);

} // namespace vk
