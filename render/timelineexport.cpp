#include "render/timelineexport.h"

#include "base/numbers.h"
#include "render/timelinedocument.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

namespace vk {

namespace {

struct Rate {
    int num = 30;
    int den = 1;
    double fps() const { return double(num) / den; }
    long long frameAt(double seconds) const { return std::llround(seconds * num / den); }
};

struct DocClip {
    double start = 0, stop = 0, mstart = 0, mstop = 0;
    QString src;
    int track = 0;
};

struct DocTransition {
    double start = 0, stop = 0;
    QString clsid;
    int track = 0;
};

// One visible piece of a track of the export: a clip or a gap, in output frames
// counted from the first frame of the range.
struct Piece {
    bool gap = true;
    long long recIn = 0, recOut = 0; // [recIn, recOut)
    QString src;
    bool still = false;
    double speed = 1;         // 0 holds one picture
    double sourceFrame = 0;   // media frame (at the output rate) shown at recIn
    long long transition = 0; // frames of the transition that brings this piece in
    QString clsid;            // that transition's CLSID
    long long length() const { return recOut - recIn; }
};

// A number of the timeline document, 0 when it has none (pugixml's own reading would
// take the process locale's decimal point).
double attr(pugi::xml_node n, const char* name)
{
    double v = 0;
    return ReadDocumentNumber(n.attribute(name).value(), v) ? v : 0;
}

bool isStill(const QString& src)
{
    const QString ext = QFileInfo(src).suffix().toLower();
    return ext == QLatin1String("png") || ext == QLatin1String("jpg") || ext == QLatin1String("jpeg") ||
           ext == QLatin1String("bmp") || ext == QLatin1String("gif");
}

// The renderer's speed of a clip: media span over timeline span, exactly 1 when they
// agree to a microsecond, inside the time-warp limits.
double clipSpeed(double start, double stop, double mstart, double mstop)
{
    const double dur = stop - start, span = mstop - mstart;
    if (dur <= 0)
        return 0;
    if (std::fabs(span - dur) < 1e-6)
        return 1;
    const double s = span / dur;
    if (s <= 0)
        return 0;
    return std::clamp(s, 0.01, 20.0);
}

// The producer frame the renderer asks for at timeline frame `first`.
long long inPoint(double start, double mstart, double speed, long long first, const Rate& r)
{
    const double t = double(first) * r.den / r.num;
    const double media = mstart + (t - start) * speed;
    return std::max(0LL, std::llround(media * r.num / r.den / speed));
}

struct Document {
    std::vector<DocClip> video;
    std::vector<DocTransition> transitions;
    std::vector<DocClip> sound;
    double duration = 0;
};

Document readDocument(const QString& xml)
{
    pugi::xml_document doc;
    const QByteArray bytes = xml.toUtf8();
    if (!doc.load_buffer(bytes.constData(), size_t(bytes.size())))
        throw std::runtime_error("timeline document");
    Document d;
    int track = 0;
    for (pugi::xml_node group : doc.child("timeline").children("group")) {
        const bool video = std::string(group.attribute("type").value()) == "video";
        for (pugi::xml_node t : group.children("track")) {
            for (pugi::xml_node n : t.children()) {
                if (std::string(n.name()) == "clip") {
                    DocClip c{attr(n, "start"),
                              attr(n, "stop"),
                              attr(n, "mstart"),
                              attr(n, "mstop"),
                              QString::fromUtf8(n.attribute("src").value()),
                              track};
                    d.duration = std::max(d.duration, c.stop);
                    (video ? d.video : d.sound).push_back(c);
                } else if (video && std::string(n.name()) == "transition") {
                    d.transitions.push_back(DocTransition{attr(n, "start"), attr(n, "stop"),
                                                          QString::fromUtf8(n.attribute("clsid").value()), track});
                }
            }
            ++track;
        }
    }
    return d;
}

struct Range {
    long long in = 0, out = 0; // [in, out)
};

Range rangeOf(const ExportSettings& s, const Document& d, const Rate& r)
{
    Range range;
    range.in = std::max(0LL, r.frameAt(double(s.startMs) / 1000.0));
    long long end = s.endMs > s.startMs ? r.frameAt(double(s.endMs) / 1000.0) : r.frameAt(d.duration);
    range.out = std::max(range.in + 1, end);
    return range;
}

// Appends a piece, filling the time before it with a gap.
void appendPiece(std::vector<Piece>& pieces, Piece p, long long& at)
{
    if (p.recIn > at) {
        Piece g;
        g.recIn = at;
        g.recOut = p.recIn;
        pieces.push_back(g);
    }
    at = p.recOut;
    pieces.push_back(p);
}

// The visible picture: the clips of every track in the order they start, each until
// its stop or the next clip's start, cut to the range.
std::vector<Piece> videoPieces(const Document& d, const Range& range, const Rate& r)
{
    struct Placed {
        const DocClip* clip;
        long long a, b;
    };
    std::vector<Placed> placed;
    for (const DocClip& c : d.video) {
        const long long a = r.frameAt(c.start), b = r.frameAt(c.stop);
        if (b > a)
            placed.push_back({&c, a, b});
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& x, const Placed& y) { return x.a < y.a; });

    std::vector<Piece> pieces;
    long long at = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        const DocClip& c = *placed[i].clip;
        long long a = placed[i].a, b = placed[i].b;
        if (i + 1 < placed.size())
            b = std::min(b, placed[i + 1].a);
        const long long from = std::max(a, range.in), to = std::min(b, range.out);
        if (to <= from)
            continue;
        Piece p;
        p.gap = false;
        p.recIn = from - range.in;
        p.recOut = to - range.in;
        p.src = c.src;
        p.still = isStill(c.src);
        p.speed = p.still ? 0 : clipSpeed(c.start, c.stop, c.mstart, c.mstop);
        if (p.still)
            p.sourceFrame = 0;
        else if (p.speed <= 0)
            p.sourceFrame = double(r.frameAt(c.mstart));
        else
            p.sourceFrame = double(inPoint(c.start, c.mstart, p.speed, a, r) + (from - a)) * p.speed;
        // The transition of this clip's track that starts with it.
        for (const DocTransition& x : d.transitions) {
            const long long ta = r.frameAt(x.start), tb = r.frameAt(x.stop);
            if (x.track == c.track && ta == a && tb > ta && from == a) {
                p.transition = tb - ta;
                p.clsid = x.clsid;
            }
        }
        appendPiece(pieces, p, at);
    }
    if (at < range.out - range.in) {
        Piece g;
        g.recIn = at;
        g.recOut = range.out - range.in;
        pieces.push_back(g);
    }
    // A transition longer than the piece it brings in (or than the piece before it)
    // cannot be expressed: keep it within both.
    for (size_t i = 1; i < pieces.size(); ++i)
        pieces[i].transition = std::min(pieces[i].transition, pieces[i].length());
    if (!pieces.empty())
        pieces[0].transition = 0;
    return pieces;
}

// The sound pieces: contiguous pieces of one speed are joined.
std::vector<Piece> soundPieces(const Document& d, const Range& range, const Rate& r)
{
    std::vector<Piece> pieces;
    long long at = 0;
    for (const DocClip& c : d.sound) {
        const long long a = r.frameAt(c.start), b = r.frameAt(c.stop);
        const long long from = std::max(a, range.in), to = std::min(b, range.out);
        const double speed = clipSpeed(c.start, c.stop, c.mstart, c.mstop);
        if (to <= from || speed <= 0)
            continue;
        Piece p;
        p.gap = false;
        p.recIn = from - range.in;
        p.recOut = to - range.in;
        p.src = c.src;
        p.speed = speed;
        p.sourceFrame = double(inPoint(c.start, c.mstart, speed, a, r) + (from - a)) * speed;
        if (!pieces.empty()) {
            Piece& last = pieces.back();
            if (!last.gap && last.src == p.src && last.speed == p.speed && last.recOut == p.recIn &&
                std::fabs(last.sourceFrame + double(last.length()) * last.speed - p.sourceFrame) < 1e-6) {
                last.recOut = p.recOut;
                at = last.recOut;
                continue;
            }
        }
        appendPiece(pieces, p, at);
    }
    return pieces;
}

bool isDissolve(const QString& clsid)
{
    return clsid.compare(TransitionClsid(true, QStringLiteral("ﾌｪｰﾄﾞ")), Qt::CaseInsensitive) == 0;
}

// ---- OpenTimelineIO ------------------------------------------------------------------

QString S(const char* text)
{
    return QString::fromLatin1(text);
}

QJsonObject rationalTime(double value, const Rate& r)
{
    return QJsonObject{{S("OTIO_SCHEMA"), S("RationalTime.1")}, {S("rate"), r.fps()}, {S("value"), value}};
}

QJsonObject timeRange(double start, double duration, const Rate& r)
{
    return QJsonObject{{S("OTIO_SCHEMA"), S("TimeRange.1")},
                       {S("start_time"), rationalTime(start, r)},
                       {S("duration"), rationalTime(duration, r)}};
}

QJsonObject otioPiece(const Piece& p, const Rate& r)
{
    if (p.gap)
        return QJsonObject{{S("OTIO_SCHEMA"), S("Gap.1")},
                           {S("name"), S("")},
                           {S("metadata"), QJsonObject()},
                           {S("source_range"), timeRange(0, double(p.length()), r)},
                           {S("effects"), QJsonArray()},
                           {S("markers"), QJsonArray()},
                           {S("enabled"), true}};
    QJsonArray effects;
    if (!p.still && p.speed != 1) {
        const bool freeze = p.speed <= 0;
        effects.append(QJsonObject{{S("OTIO_SCHEMA"), freeze ? S("FreezeFrame.1") : S("LinearTimeWarp.1")},
                                   {S("name"), S("")},
                                   {S("metadata"), QJsonObject()},
                                   {S("effect_name"), freeze ? S("FreezeFrame") : S("LinearTimeWarp")},
                                   {S("time_scalar"), freeze ? 0.0 : p.speed}});
    }
    const QString name = QFileInfo(p.src).fileName();
    QJsonObject reference{{S("OTIO_SCHEMA"), S("ExternalReference.1")},
                          {S("name"), name},
                          {S("metadata"), QJsonObject()},
                          {S("available_range"), QJsonValue()},
                          {S("available_image_bounds"), QJsonValue()},
                          {S("target_url"), QUrl::fromLocalFile(p.src).toString(QUrl::FullyEncoded)}};
    return QJsonObject{{S("OTIO_SCHEMA"), S("Clip.2")},
                       {S("name"), name},
                       {S("metadata"), QJsonObject{{S("videokadro"), QJsonObject{{S("still"), p.still}}}}},
                       {S("source_range"), timeRange(p.sourceFrame, double(p.length()), r)},
                       {S("effects"), effects},
                       {S("markers"), QJsonArray()},
                       {S("enabled"), true},
                       {S("media_references"), QJsonObject{{S("DEFAULT_MEDIA"), reference}}},
                       {S("active_media_reference_key"), S("DEFAULT_MEDIA")}};
}

QJsonObject otioTrack(const QString& name, const QString& kind, const std::vector<Piece>& pieces, const Rate& r,
                      QStringList& replaced)
{
    QJsonArray children;
    for (const Piece& p : pieces) {
        if (p.transition > 0) {
            // The cut is where the new piece starts; the piece before runs on under it.
            if (!isDissolve(p.clsid) && !replaced.contains(p.clsid))
                replaced << p.clsid;
            children.append(
                QJsonObject{{S("OTIO_SCHEMA"), S("Transition.1")},
                            {S("name"), S("")},
                            {S("metadata"), QJsonObject{{S("videokadro"), QJsonObject{{S("clsid"), p.clsid}}}}},
                            {S("transition_type"), S("SMPTE_Dissolve")},
                            {S("in_offset"), rationalTime(0, r)},
                            {S("out_offset"), rationalTime(double(p.transition), r)}});
        }
        children.append(otioPiece(p, r));
    }
    return QJsonObject{{S("OTIO_SCHEMA"), S("Track.1")},
                       {S("name"), name},
                       {S("metadata"), QJsonObject()},
                       {S("source_range"), QJsonValue()},
                       {S("effects"), QJsonArray()},
                       {S("markers"), QJsonArray()},
                       {S("enabled"), true},
                       {S("kind"), kind},
                       {S("children"), children}};
}

// ---- CMX 3600 ------------------------------------------------------------------------

QString timecode(long long frame, int base)
{
    const long long f = frame % base, s = frame / base;
    return QString::asprintf("%02lld:%02lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60, f);
}

// Comment text on one line.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// An event line without its number, which is given when the events are split into files.
QString edlLine(const QString& reel, const QString& channel, const QString& transition, long long srcIn,
                long long srcOut, long long recIn, long long recOut, int base)
{
    return QString::asprintf("  %-8s %-5s %-8s ", reel.toLatin1().constData(), channel.toLatin1().constData(),
                             transition.toLatin1().constData()) +
           timecode(srcIn, base) + QLatin1Char(' ') + timecode(srcOut, base) + QLatin1Char(' ') +
           timecode(recIn, base) + QLatin1Char(' ') + timecode(recOut, base);
}

// One event of the list: its lines, those of the event itself (one, or two for a
// transition) first without their number.
struct EdlEvent {
    QStringList numbered;
    QStringList notes; // the speed line and the comments
};

} // namespace

QString EdlFilePath(const QString& target, int n)
{
    if (n <= 1)
        return target;
    const QFileInfo info(target);
    const QString suffix = info.suffix();
    QString name = info.completeBaseName() + QStringLiteral("_%1").arg(n);
    if (!suffix.isEmpty())
        name += QLatin1Char('.') + suffix;
    return info.dir().filePath(name);
}

void ExportRateFraction(double rate, int& num, int& den)
{
    for (int whole : {24, 30, 60}) {
        if (std::fabs(rate - whole * 1000.0 / 1001.0) < 0.005) {
            num = whole * 1000;
            den = 1001;
            return;
        }
    }
    num = int(std::lround(rate));
    den = 1;
}

ExportResult OtioExport(const QString& timelineXml, const ExportSettings& s, const std::vector<ExportMarker>& markers)
{
    const Rate r{s.rateNum, s.rateDen};
    const Document d = readDocument(timelineXml);
    const Range range = rangeOf(s, d, r);
    ExportResult result;

    QJsonArray marks;
    for (const ExportMarker& m : markers) {
        const long long frame = r.frameAt(RoundTo3(m.soundMs / 1000.0 * s.timeFactor)) - range.in;
        if (frame < 0 || frame >= range.out - range.in)
            continue;
        const QString color = m.kind == ExportMarker::Kind::Section ? S("RED")
                              : m.kind == ExportMarker::Kind::Bar   ? S("GREEN")
                                                                    : S("CYAN");
        marks.append(QJsonObject{{S("OTIO_SCHEMA"), S("Marker.2")},
                                 {S("name"), m.name},
                                 {S("metadata"), QJsonObject()},
                                 {S("color"), color},
                                 {S("comment"), S("")},
                                 {S("marked_range"), timeRange(double(frame), 0, r)}});
    }
    QJsonArray tracks;
    tracks.append(otioTrack(S("V1"), S("Video"), videoPieces(d, range, r), r, result.replaced));
    tracks.append(otioTrack(S("A1"), S("Audio"), soundPieces(d, range, r), r, result.replaced));
    const QJsonObject stack{{S("OTIO_SCHEMA"), S("Stack.1")},
                            {S("name"), S("tracks")},
                            {S("metadata"), QJsonObject()},
                            {S("source_range"), QJsonValue()},
                            {S("effects"), QJsonArray()},
                            {S("markers"), marks},
                            {S("enabled"), true},
                            {S("children"), tracks}};
    const QJsonObject format{{S("format"), S("OpenTimelineIO JSON (Timeline.1, Clip.2)")},
                             {S("width"), s.width},
                             {S("height"), s.height},
                             {S("range_start_frame"), double(range.in)}};
    const QJsonObject timeline{{S("OTIO_SCHEMA"), S("Timeline.1")},
                               {S("name"), s.title},
                               {S("metadata"), QJsonObject{{S("videokadro"), format}}},
                               {S("global_start_time"), rationalTime(0, r)},
                               {S("tracks"), stack}};
    result.text = QJsonDocument(timeline).toJson(QJsonDocument::Indented);
    return result;
}

ExportResult EdlExport(const QString& timelineXml, const ExportSettings& s)
{
    const Rate r{s.rateNum, s.rateDen};
    const int base = int(std::lround(r.fps()));
    const Document d = readDocument(timelineXml);
    const Range range = rangeOf(s, d, r);
    ExportResult result;

    // Reels: eight characters at most, so every file gets a short reel of its own
    // (V001.. for pictures, A001.. for sound) and its full name goes to the comments.
    std::map<QString, QString> reels;
    int videoReels = 0, soundReels = 0;
    auto reelOf = [&](const Piece& p, bool sound) {
        if (p.gap)
            return QStringLiteral("BL");
        auto it = reels.find(p.src);
        if (it != reels.end())
            return it->second;
        const QString reel = QString::asprintf(sound ? "A%03d" : "V%03d", sound ? ++soundReels : ++videoReels);
        reels.emplace(p.src, reel);
        return reel;
    };

    std::vector<EdlEvent> events;
    auto writeEvents = [&](const std::vector<Piece>& pieces, bool sound) {
        const QString channel = sound ? QStringLiteral("A") : QStringLiteral("V");
        for (size_t i = 0; i < pieces.size(); ++i) {
            const Piece& p = pieces[i];
            if (p.gap && (sound || p.transition == 0))
                continue; // nothing recorded there: black and silence
            EdlEvent event;
            const long long srcIn = std::llround(p.sourceFrame);
            const long long srcOut = srcIn + std::llround(double(p.length()) * (p.speed > 0 ? p.speed : 1));
            const QString reel = reelOf(p, sound);
            if (p.transition > 0 && i > 0) {
                const Piece& before = pieces[i - 1];
                const long long outFrame =
                    before.gap
                        ? 0
                        : std::llround(before.sourceFrame + double(before.length()) * std::max(0.0, before.speed));
                event.numbered << edlLine(reelOf(before, sound), channel, QStringLiteral("C"), outFrame, outFrame,
                                          p.recIn, p.recIn, base);
                QString kind = QStringLiteral("D");
                if (p.clsid.compare(TransitionClsid(true, QStringLiteral("ﾜｲﾌﾟ")), Qt::CaseInsensitive) == 0)
                    kind = QStringLiteral("W001");
                else if (p.clsid.compare(TransitionClsid(true, QStringLiteral("ﾊﾞｱｰﾝ")), Qt::CaseInsensitive) == 0)
                    kind = QStringLiteral("W021");
                else if (!isDissolve(p.clsid) && !result.replaced.contains(p.clsid))
                    result.replaced << p.clsid;
                // The length has three digits: a longer transition ends at 999 frames,
                // and the incoming clip is shown alone from there.
                const long long length = std::min(p.transition, kEdlMaxTransition);
                event.numbered << edlLine(reel, channel, kind + QString::asprintf(" %03lld", length), srcIn, srcOut,
                                          p.recIn, p.recOut, base);
            } else {
                event.numbered << edlLine(reel, channel, QStringLiteral("C"), srcIn, srcOut, p.recIn, p.recOut, base);
            }
            if (!p.gap && (p.speed != 1 || p.still)) {
                // Speed as frames per second of the source; 0 holds the picture.
                const double fps = p.still ? 0.0 : p.speed * base;
                event.notes << QStringLiteral("M2   %1 %2 %3")
                                   .arg(reel, -8)
                                   .arg(QString::asprintf("%05.1f", fps), 11)
                                   .arg(timecode(srcIn, base));
            }
            if (!p.gap) {
                event.notes << QStringLiteral("* FROM CLIP NAME: ") + oneLine(QFileInfo(p.src).fileName());
                event.notes << QStringLiteral("* SOURCE FILE: ") + oneLine(p.src);
            }
            events.push_back(std::move(event));
        }
    };
    writeEvents(videoPieces(d, range, r), false);
    writeEvents(soundPieces(d, range, r), true);

    // Event numbers have three digits: past 999 events the list goes on in another file,
    // numbered from 001 again. The record times stay those of the whole timeline.
    QString title = oneLine(s.title);
    if (title.size() > 70)
        title.truncate(70);
    const size_t files = std::max<size_t>(1, (events.size() + kEdlMaxEvents - 1) / kEdlMaxEvents);
    for (size_t file = 0; file < files; ++file) {
        QStringList lines;
        lines << QStringLiteral("TITLE: ") + title;
        lines << QStringLiteral("FCM: NON-DROP FRAME");
        lines << QStringLiteral("* CMX 3600, written by videokadro; timecode base %1 frames").arg(base);
        if (files > 1)
            lines << QStringLiteral("* file %1 of %2").arg(file + 1).arg(files);
        const size_t first = file * kEdlMaxEvents;
        const size_t last = std::min(events.size(), first + kEdlMaxEvents);
        for (size_t e = first; e < last; ++e) {
            const QString number = QString::asprintf("%03d", int(e - first + 1));
            for (const QString& line : events[e].numbered)
                lines << number + line;
            lines << events[e].notes;
        }
        const QByteArray text = (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
        if (file == 0)
            result.text = text;
        else
            result.continued.push_back(text);
    }
    return result;
}

} // namespace vk
