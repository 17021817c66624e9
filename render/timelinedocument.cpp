#include "render/timelinedocument.h"

#include "base/numbers.h"
#include "timeline/rowtable.h"

#include <QSaveFile>

namespace vk {

namespace {

class ByteArrayWriter final : public pugi::xml_writer {
public:
    explicit ByteArrayWriter(QByteArray& out) : m_out(out) {}
    void write(const void* data, size_t size) override
    {
        m_out.append(static_cast<const char*>(data), qsizetype(size));
    }

private:
    QByteArray& m_out;
};

struct Transition {
    const char* name;
    const char* clsid;
};

const char kFadeClsid[] = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";
const char kAudioClsid[] = "{036A9790-C153-11D2-9EF7-006008039E37}";

const Transition kTransitions[] = {
    {"ﾌｪｰﾄﾞ", kFadeClsid},
    {"ﾊﾞｱｰﾝ", "{C3BDF740-0B58-11d2-A484-00C04F8EFB69}"},
    {"ﾌﾞﾗｲﾝﾄﾞ", "{00C429C0-0BA9-11d2-A484-00C04F8EFB69}"},
    {"ﾊﾞｰﾝ", "{107045D1-06E0-11D2-8D6D-00C04F8EF8E0}"},
    {"ｲﾝｾｯﾄ", "{93073C40-0BA5-11d2-A484-00C04F8EFB69}"},
    {"ｱｲﾘｽ", "{3F69F351-0379-11D2-A484-00C04F8EFB69}"},
    {"ﾋﾟｸｾﾚｰﾄ", "{4CCEA634-FBE0-11d1-906A-00C04FD9189D}"},
    {"ﾗｼﾞｱﾙ", "{424B71AF-0695-11D2-A484-00C04F8EFB69}"},
    {"ｽﾗｲﾄﾞ", "{810E402F-056B-11D2-A484-00C04F8EFB69}"},
    {"ｽﾊﾟｲﾗﾙ", "{ACA97E00-0C7D-11d2-A484-00C04F8EFB69}"},
    {"ｽﾄﾚｯﾁ", "{7658F2A2-0A83-11d2-A484-00C04F8EFB69}"},
    {"ﾎｲｰﾙ", "{5AE1DAE0-1461-11d2-A484-00C04F8EFB69}"},
    {"ﾜｲﾌﾟ", "{AF279B30-86EB-11D1-81BF-0000F87557DB}"},
    {"ｼﾞｸﾞｻﾞｸﾞ", "{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}"},
};

// Seconds on the timeline: scaled by the time factor, three decimals.
QString timelineSeconds(double seconds, double f)
{
    return ShortestDecimal(RoundTo3(seconds * f));
}

// A transition's length: none reads as 0.
double durationMsec(const RowTable& grid, int row)
{
    return grid.effectLength(row).value_or(0.0);
}

// A registered row's in or out point; a row without one cannot be written.
int videoPoint(std::optional<int> point)
{
    if (!point)
        throw ConversionError(ConversionError::Kind::Type, "no video point");
    return *point;
}

void buildTimeline(pugi::xml_document& doc, const TimelineInputs& in, const OutputFormat& format, double f)
{
    if (!doc.load_string("<timeline/>"))
        throw DocumentWriteError("timeline root");
    pugi::xml_node root = doc.document_element();
    const RowTable& grid = in.grid;
    const int n = grid.Rows() - 1;

    // Section start and end of a row in ms, as the table holds them: a start snapped to
    // a beat is cut on the beat, not on the sound frame its time text shows.
    auto sectionStart = [&](int r) { return grid.sectionStart(r); };
    auto sectionEnd = [&](int r) { return r < n ? sectionStart(r + 1) : in.soundLength; };

    pugi::xml_node video = root.append_child("group");
    SetXmlAttribute(video, "type", QStringLiteral("video"));
    SetXmlAttribute(video, "buffering", QStringLiteral("32"));
    SetXmlAttribute(video, "previewmode", QStringLiteral("1"));
    SetXmlAttribute(video, "bitdepth", QString::number(format.bitDepth));
    SetXmlAttribute(video, "framerate", ShortestDecimal(format.frameRate));
    const bool dv = format.width == -1;
    SetXmlAttribute(video, "width", dv ? QStringLiteral("720") : QString::number(format.width));
    SetXmlAttribute(video, "height", dv ? QStringLiteral("480") : QString::number(format.height));

    pugi::xml_node track;
    for (int r = 1; r <= n; ++r) {
        if (r == 1)
            track = video.append_child("track");
        if (!grid.hasVideo(r))
            continue; // no video for this section, whatever its effect says

        if (!grid.frameInterval(r))
            throw ConversionError(ConversionError::Kind::Type, "no frame interval");
        const int tStart = sectionStart(r);
        const int tEnd = sectionEnd(r);
        const int mIn = videoPoint(grid.inPoint(r));
        double mOut = 0;
        if (grid.speed(r).isNormal()) {
            // Normal speed: the media span is the exact section length from the in point.
            mOut = double(tEnd) - double(tStart) + mIn;
        } else {
            mOut = videoPoint(grid.outPoint(r));
        }

        const QString& effect = grid.effect(r);
        if (!effect.isEmpty())
            track = video.append_child("track");
        pugi::xml_node clip = track.append_child("clip");

        SetXmlAttribute(clip, "start", timelineSeconds(tStart / 1000.0, f));
        double stopSec = tEnd / 1000.0;
        if (r < n && !grid.effect(r + 1).isEmpty())
            stopSec = tEnd / 1000.0 + durationMsec(grid, r + 1) / 1000.0; // held under the next transition
        SetXmlAttribute(clip, "stop", timelineSeconds(stopSec, f));
        SetXmlAttribute(clip, "mstart", ShortestDecimal(mIn / 1000.0));
        SetXmlAttribute(clip, "mstop", ShortestDecimal(mOut / 1000.0));
        SetXmlAttribute(clip, "src", grid.videoFile(r));

        if (!effect.isEmpty()) {
            pugi::xml_node transition = track.append_child("transition");
            SetXmlAttribute(transition, "start", timelineSeconds(tStart / 1000.0, f));
            SetXmlAttribute(transition, "stop", timelineSeconds(tStart / 1000.0 + durationMsec(grid, r) / 1000.0, f));
            SetXmlAttribute(transition, "clsid", TransitionClsid(true, effect));
        }

        // Taller than wide, by plain text order of the two numbers (as the cells were
        // always compared, "720" is above "1280"); an unknown size is never taller.
        const std::optional<MediaSize> size = grid.mediaSize(r);
        if (size &&
            QString::compare(QString::number(size->height), QString::number(size->width), Qt::CaseSensitive) > 0)
            SetXmlAttribute(clip, "stretchmode", QStringLiteral("PreserveAspectRatio"));
    }

    pugi::xml_node audio = root.append_child("group");
    SetXmlAttribute(audio, "type", QStringLiteral("audio"));
    SetXmlAttribute(audio, "samplingrate", QString::number(format.samplingRate));
    pugi::xml_node audioTrack = audio.append_child("track");
    for (int r = 1; r <= n; ++r) {
        const int t = sectionStart(r);
        const int e = sectionEnd(r);
        pugi::xml_node clip = audioTrack.append_child("clip");
        SetXmlAttribute(clip, "mstart", ShortestDecimal(t / 1000.0));
        SetXmlAttribute(clip, "mstop", ShortestDecimal(e / 1000.0));
        SetXmlAttribute(clip, "start", timelineSeconds(t / 1000.0, f));
        SetXmlAttribute(clip, "stop", timelineSeconds(e / 1000.0, f));
        SetXmlAttribute(clip, "src", in.soundFile);
    }
}

} // namespace

QString TransitionClsid(bool video, const QString& effectName)
{
    if (!video)
        return QString::fromLatin1(kAudioClsid);
    const QByteArray name = effectName.toUtf8();
    for (const Transition& t : kTransitions)
        if (name == t.name)
            return QString::fromLatin1(t.clsid);
    return QString::fromLatin1(kFadeClsid);
}

void SetXmlAttribute(pugi::xml_node element, const char* name, const QString& value)
{
    pugi::xml_attribute attribute = element.append_attribute(name);
    if (!attribute || !attribute.set_value(value.toUtf8().constData()))
        throw DocumentWriteError("attribute");
}

QByteArray RawXmlBytes(const pugi::xml_document& doc)
{
    QByteArray bytes;
    ByteArrayWriter writer(bytes);
    doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return bytes;
}

void SaveXmlBytes(const QString& path, const QByteArray& bytes)
{
    // Unbuffered, so that a write that fails (a full disk) is seen before the commit.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() ||
        !file.flush() || !file.commit()) {
        QString reason = file.errorString();
        // Qt reports a full disk (ENOSPC) as a resource error.
        if (file.error() == QFileDevice::ResourceError)
            reason = QStringLiteral("ディスクの空き容量が足りません。") + QStringLiteral("\r\n") + reason;
        file.cancelWriting();
        throw DocumentWriteError(path, reason);
    }
}

QString TimelineDocumentText(const TimelineInputs& inputs, const OutputFormat& format, int /*fileType*/, double f)
{
    pugi::xml_document doc;
    buildTimeline(doc, inputs, format, f);
    return QString::fromUtf8(RawXmlBytes(doc));
}

void TimelineWrite(const TimelineInputs& inputs, const QString& path, const OutputFormat& format, int /*fileType*/,
                   double f)
{
    pugi::xml_document doc;
    buildTimeline(doc, inputs, format, f);
    SaveXmlBytes(path, RawXmlBytes(doc));
}

} // namespace vk
