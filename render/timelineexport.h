#pragma once
// Exports of the timeline to other editors' formats written by this program itself:
// OpenTimelineIO (.otio, JSON) and CMX 3600 EDL (.edl).
//
// Both are built from the timeline document the renderer reads (TimelineDocumentText)
// and place every cut where T-VideoWrite does: a clip covers output frames
// round(start·fps) … round(stop·fps)−1, a clip above another covers it, a clip gives
// way to the next clip that starts under it, and its first frame shows media frame
// p·speed, p being the in point the renderer chooses (round(media time·fps/speed)).
// Only the frames of the range are exported; the exported timeline starts at the
// range's first frame.
//
// The transitions of the exports: OTIO knows only the dissolve; the EDL has the
// dissolve and the SMPTE wipes, and takes the horizontal wipe and the vertical barn
// door. Every other kind becomes a dissolve and its CLSID is listed in `replaced`.
//
// The EDL's numbers have three digits. A list of more than 999 events goes on in
// further files (EdlFilePath), each numbered from 001 with the record times of the whole
// timeline; a transition longer than 999 frames is written as one of 999.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace vk {

// A point the exports mark: a section start (named with its row) or a beat or bar of
// the beat grid. The time is in sound clip ms, scaled by the time factor like the cuts.
struct ExportMarker final {
    enum class Kind { Section, Beat, Bar };
    Kind kind = Kind::Section;
    double soundMs = 0;
    QString name;
};

struct ExportSettings final {
    int rateNum = 30000; // output frame rate as a fraction (the MP4 profile's)
    int rateDen = 1001;
    int width = 1280;
    int height = 720;
    long long startMs = 0; // the range, timeline ms as in the writer parameters; an end
    long long endMs = 0;   // equal to the start means "to the end"
    double timeFactor = 1; // 1 over the sound playback rate, for the markers
    QString title;         // the project's name
};

constexpr int kEdlMaxEvents = 999;
constexpr long long kEdlMaxTransition = 999;

struct ExportResult final {
    QByteArray text;
    std::vector<QByteArray> continued; // the EDL's further files, past 999 events each
    QStringList replaced;              // CLSIDs (as in the document) of the transitions written as dissolves
};

// The timeline document (as TimelineDocumentText gives it) as OpenTimelineIO JSON and
// as a CMX 3600 EDL. Throws std::runtime_error when the document cannot be read.
ExportResult OtioExport(const QString& timelineXml, const ExportSettings& settings,
                        const std::vector<ExportMarker>& markers);
ExportResult EdlExport(const QString& timelineXml, const ExportSettings& settings);

// The n-th file (from 1) of an EDL written to `target`: the target itself, then
// "name_2.edl", "name_3.edl" ... beside it.
QString EdlFilePath(const QString& target, int n);

// Frame rate fraction of a profile rate: 29.97 → 30000/1001, 59.94 → 60000/1001,
// 23.976 → 24000/1001, otherwise rate/1 (rounded to a whole number of frames).
void ExportRateFraction(double rate, int& num, int& den);

} // namespace vk
