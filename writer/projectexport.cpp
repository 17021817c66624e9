#include "writer/projectexport.h"

#include "writer/numbertext.h"
#include "writer/transitionstyle.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace vk {

namespace {

pugi::xml_node findProperty(pugi::xml_node node, const char* name)
{
    for (pugi::xml_node p : node.children("property"))
        if (std::string(p.attribute("name").value()) == name)
            return p;
    return {};
}

std::string property(pugi::xml_node node, const char* name)
{
    return findProperty(node, name).text().get();
}

void setProperty(pugi::xml_node node, const char* name, const std::string& value)
{
    pugi::xml_node p = findProperty(node, name);
    if (!p) {
        p = node.append_child("property");
        p.append_attribute("name") = name;
    }
    p.text() = value.c_str();
}

void removeProperty(pugi::xml_node node, const char* name)
{
    if (pugi::xml_node p = findProperty(node, name))
        node.remove_child(p);
}

std::string fileName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "HH:MM:SS.mmm" of a frame, the clock form both programs read.
std::string clockOf(long long frame, const FrameRate& r)
{
    const long long ms = std::llround(double(frame) * 1000.0 * r.den / r.num);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, (ms / 60000) % 60, (ms / 1000) % 60,
                  ms % 1000);
    return buf;
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// A clip of Kdenlive's bin: a source file, stretched as the producers of the
// timeline that show it (a file shown both stretched and not is two clips).
struct BinClip {
    std::string resource;
    std::string aspect; // force_aspect_ratio, empty for none
    bool video = false; // a producer of the timeline shows its picture
    std::string id;     // kdenlive:id
};

BinClip& binClipFor(std::vector<BinClip>& clips, pugi::xml_node producer, const std::string& resource)
{
    const bool video = property(producer, "video_index") != "-1";
    const std::string aspect = property(producer, "force_aspect_ratio");
    for (BinClip& c : clips) {
        if (c.resource != resource || (video && c.video && c.aspect != aspect))
            continue;
        if (video && !c.video) {
            c.video = true;
            c.aspect = aspect;
        }
        return c;
    }
    // Ids from 2, as Kdenlive numbers the clips of its own projects.
    clips.push_back({resource, video ? aspect : std::string(), video, std::to_string(clips.size() + 2)});
    return clips.back();
}

// The order of the kinds of marker, most important first; also the guide type
// (colour) Kdenlive shows for each.
int rank(ProjectMarker::Kind kind)
{
    return kind == ProjectMarker::Kind::Section ? 0 : kind == ProjectMarker::Kind::Bar ? 1 : 2;
}

// Keeps frames [from, to] of a playlist, moved to start at 0.
void cutPlaylist(pugi::xml_node playlist, long long from, long long to)
{
    long long at = 0;
    std::vector<pugi::xml_node> drop;
    for (pugi::xml_node n : playlist.children()) {
        const std::string kind = n.name();
        if (kind != "entry" && kind != "blank")
            continue;
        const bool blank = kind == "blank";
        const long long in = blank ? 0 : n.attribute("in").as_llong(0);
        const long long length = blank ? n.attribute("length").as_llong(0) : n.attribute("out").as_llong(0) - in + 1;
        const long long start = at, end = at + length; // [start, end) on the timeline
        at = end;
        const long long keepFrom = std::max(start, from), keepTo = std::min(end, to + 1);
        if (keepTo <= keepFrom) {
            drop.push_back(n);
            continue;
        }
        if (blank) {
            n.attribute("length") = std::to_string(keepTo - keepFrom).c_str();
        } else {
            n.attribute("in") = std::to_string(in + keepFrom - start).c_str();
            n.attribute("out") = std::to_string(in + keepTo - start - 1).c_str();
        }
    }
    for (pugi::xml_node n : drop)
        playlist.remove_child(n);
}

// The playlist entry of tractor track `track` that starts at frame `start` and lasts
// at least `frames`, or none.
pugi::xml_node entryStartingAt(pugi::xml_node root, pugi::xml_node tractor, int track, long long start,
                               long long frames)
{
    pugi::xml_node t = tractor.child("multitrack").child("track");
    for (int i = 0; t && i < track; ++i)
        t = t.next_sibling("track");
    if (!t)
        return {};
    pugi::xml_node pl = root.find_child_by_attribute("playlist", "id", t.attribute("producer").value());
    long long at = 0;
    for (pugi::xml_node n : pl.children()) {
        const std::string kind = n.name();
        if (kind == "blank") {
            at += n.attribute("length").as_llong(0);
        } else if (kind == "entry") {
            const long long length = n.attribute("out").as_llong(0) - n.attribute("in").as_llong(0) + 1;
            if (at == start)
                return length >= frames ? n : pugi::xml_node();
            at += length;
        }
        if (at > start)
            break;
    }
    return {};
}

// Shotcut's timeline shows only its own fades: the "Fade In Video" filter of a clip's
// producer, the length it shows in shotcut:animIn. A cross-fade from the track below is
// there the upper clip's opacity rising over the lower track, laid over it by a blend
// (Shotcut makes it its own track blend). The engine's dissolve mixes frame i of n at
// i / n, and so does the opacity: melt draws the same pictures. The blend lasts only
// as long as the fade, which leaves every other picture as it was. Wipes and moves
// have no such form and stay as they are.
void makeShotcutFades(pugi::xml_node root, pugi::xml_node tractor)
{
    int count = 0;
    for (pugi::xml_node t : tractor.children("transition")) {
        if (property(t, "mlt_service") != "luma" || !property(t, "resource").empty())
            continue;
        const long long in = std::atoll(property(t, "in").c_str());
        const long long frames = std::atoll(property(t, "out").c_str()) - in + 1;
        pugi::xml_node entry = entryStartingAt(root, tractor, std::atoi(property(t, "b_track").c_str()), in, frames);
        if (!entry || frames < 1)
            continue;
        // Shotcut keeps a clip's filters on a producer of its own.
        const std::string id = entry.attribute("producer").value();
        pugi::xml_node shared = root.find_child_by_attribute("producer", "id", id.c_str());
        if (!shared)
            continue;
        pugi::xml_node own = root.insert_copy_after(shared, shared);
        const std::string ownId = id + "-fade" + std::to_string(++count);
        own.attribute("id") = ownId.c_str();
        entry.attribute("producer") = ownId.c_str();
        pugi::xml_node f = own.append_child("filter");
        f.append_attribute("in") = entry.attribute("in").value();
        f.append_attribute("out") = entry.attribute("out").value();
        setProperty(f, "mlt_service", "brightness");
        setProperty(f, "shotcut:filter", "fadeInBrightness");
        setProperty(f, "level", "1");
        setProperty(f, "alpha", "0=0;" + std::to_string(frames) + "=1");
        setProperty(f, "shotcut:animIn", std::to_string(frames));
        setProperty(t, "mlt_service", "composite");
        setProperty(t, "fill", "1");
        setProperty(t, "distort", "1");
    }
}

} // namespace

bool readProjectMarkers(const std::string& path, std::vector<ProjectMarker>& out, std::string& error)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) {
        error = "マーカーファイルを読み込めません。\n" + path;
        return false;
    }
    out.clear();
    for (pugi::xml_node m : doc.child("markers").children("marker")) {
        ProjectMarker marker;
        const std::string kind = m.attribute("kind").value();
        marker.kind = kind == "beat"  ? ProjectMarker::Kind::Beat
                      : kind == "bar" ? ProjectMarker::Kind::Bar
                                      : ProjectMarker::Kind::Section;
        if (!parseNumberText(m.attribute("seconds").value(), marker.seconds))
            marker.seconds = -1;
        marker.name = m.attribute("name").value();
        if (!(marker.seconds >= 0) || marker.seconds > 2147483.647) {
            error = "マーカーファイルの時刻が正しくありません。\n" + path;
            return false;
        }
        out.push_back(marker);
    }
    return true;
}

ProjectResult projectXml(const std::string& engineXml, ProjectDialect dialect, const Timeline& timeline,
                         const OutputSettings& output, const MediaLookup& media,
                         const std::vector<ProjectMarker>& markers, const std::string& title)
{
    ProjectResult result;
    pugi::xml_document doc;
    doc.load_string(engineXml.c_str());
    pugi::xml_node root = doc.child("mlt");
    const bool shotcut = dialect == ProjectDialect::Shotcut;
    const FrameRate& rate = output.rate;
    root.append_attribute("title") = title.c_str();
    pugi::xml_node tractor = root.child("tractor");
    const long long rangeIn = tractor.attribute("in").as_llong(0);
    const long long rangeOut = tractor.attribute("out").as_llong(0);

    // The colour space of the standard profiles of that size: Kdenlive keeps a project
    // whose profile matches none of its own as a custom profile of the user's. It also
    // takes any profile of the same name for a match, a custom one saved from an
    // earlier export included: the project's profile goes without a name.
    pugi::xml_node profile = root.child("profile");
    profile.attribute("colorspace") = output.height >= 720 ? 709 : 601;
    if (!shotcut)
        profile.remove_attribute("description");

    // Producers: the engine's own time warp for other speeds, and the names both
    // programs show. Kdenlive lists one clip per source file in its bin and makes the
    // producers of the timeline from it (a time warp from the bin clip's file at the
    // producer's speed): every producer names its bin clip by its id.
    std::vector<BinClip> binClips;
    for (pugi::xml_node p : root.children("producer")) {
        const std::string id = p.attribute("id").value();
        std::string resource = property(p, "resource");
        if (!property(p, "force_fps").empty()) {
            const SourceInfo info = media(resource);
            double fps = 0;
            const double speed =
                info.frameRate > 0 && parseNumberText(property(p, "force_fps"), fps) ? fps / info.frameRate : 1.0;
            // The writer keeps the speed it checked its frames against.
            const std::string warp = property(p, "warp_speed").empty() ? numberText(speed) : property(p, "warp_speed");
            setProperty(p, "mlt_service", "timewarp");
            setProperty(p, "resource", warp + ":" + resource);
            setProperty(p, "warp_speed", warp);
            setProperty(p, "warp_resource", resource);
            removeProperty(p, "force_fps");
            removeProperty(p, "_speed");
        } else if (property(p, "mlt_service") == "timewarp") {
            // Both programs read the speed from warp_speed.
            const size_t colon = resource.find(':');
            setProperty(p, "warp_speed", resource.substr(0, colon));
            resource = resource.substr(colon + 1);
            setProperty(p, "warp_resource", resource);
        }
        if (id == "black")
            continue;
        if (shotcut) {
            setProperty(p, "shotcut:caption", fileName(resource));
            if (property(p, "mlt_service") == "timewarp")
                setProperty(p, "shotcut:producer", "avformat");
        } else {
            setProperty(p, "kdenlive:clipname", fileName(resource));
            setProperty(p, "kdenlive:id", binClipFor(binClips, p, resource).id);
            setProperty(p, "kdenlive:folderid", "-1");
        }
    }

    // Transitions only this renderer draws become dissolves.
    for (pugi::xml_node t : tractor.children("transition")) {
        const std::string service = property(t, "mlt_service");
        const bool privateMap = service == "luma" && !property(t, "resource").empty();
        if (service != "vk_blend" && !privateMap)
            continue;
        setProperty(t, "mlt_service", "luma");
        removeProperty(t, "resource");
        removeProperty(t, "softness");
        const long long in = std::atoll(property(t, "in").c_str());
        const int bTrack = std::atoi(property(t, "b_track").c_str());
        const size_t k = size_t(std::max(1, bTrack) - 1);
        if (k < timeline.video.tracks.size())
            for (const TimelineTransition& x : timeline.video.tracks[k].transitions)
                if (std::llround(x.start * rate.num / rate.den) == in &&
                    std::find(result.replaced.begin(), result.replaced.end(), x.clsid) == result.replaced.end())
                    result.replaced.push_back(x.clsid);
    }

    // Only the range is exported: every track is cut to it and starts at 0.
    for (pugi::xml_node pl : root.children("playlist"))
        cutPlaylist(pl, rangeIn, rangeOut);
    std::vector<pugi::xml_node> outside;
    for (pugi::xml_node t : tractor.children("transition")) {
        const long long in = std::atoll(property(t, "in").c_str()) - rangeIn;
        const long long out = std::min(std::atoll(property(t, "out").c_str()), rangeOut) - rangeIn;
        if (out < 0 || out < in) {
            outside.push_back(t);
            continue;
        }
        setProperty(t, "in", std::to_string(std::max(0LL, in)));
        setProperty(t, "out", std::to_string(out));
    }
    for (pugi::xml_node t : outside)
        tractor.remove_child(t);
    tractor.attribute("in") = "0";
    tractor.attribute("out") = std::to_string(rangeOut - rangeIn).c_str();

    // A time warp lasts as long as its file at its speed, as both programs make them
    // (Shotcut shows it as the clip's length), and at least up to its last frame used.
    for (pugi::xml_node p : root.children("producer")) {
        if (property(p, "mlt_service") != "timewarp")
            continue;
        long long length = 0;
        for (pugi::xml_node pl : root.children("playlist"))
            for (pugi::xml_node e : pl.children("entry"))
                if (std::string(e.attribute("producer").value()) == p.attribute("id").value())
                    length = std::max(length, e.attribute("out").as_llong(0) + 1);
        double speed = 0;
        parseNumberText(property(p, "warp_speed"), speed);
        const SourceInfo info = media(property(p, "warp_resource"));
        if (speed > 0 && info.seconds > 0)
            length = std::max(length, static_cast<long long>(info.seconds * rate.num / rate.den / speed));
        if (length <= 0)
            continue;
        p.remove_attribute("in");
        p.remove_attribute("out");
        pugi::xml_attribute in = p.insert_attribute_after("in", p.attribute("id"));
        in = "0";
        p.insert_attribute_after("out", in) = std::to_string(length - 1).c_str();
        setProperty(p, "length", std::to_string(length));
    }

    // The black background as a playlist, under the name each program keeps for it
    // (Kdenlive takes any other playlist of the tractor for a track of bin clips).
    const char* backgroundId = shotcut ? "background" : "black_track";
    pugi::xml_node black = root.find_child_by_attribute("producer", "id", "black");
    pugi::xml_node background = root.insert_child_after("playlist", black);
    background.append_attribute("id") = backgroundId;
    pugi::xml_node entry = background.append_child("entry");
    entry.append_attribute("producer") = "black";
    entry.append_attribute("in") = "0";
    entry.append_attribute("out") = std::to_string(rangeOut - rangeIn).c_str();
    pugi::xml_node multi = tractor.child("multitrack");
    multi.first_child().attribute("producer") = backgroundId;

    if (shotcut)
        makeShotcutFades(root, tractor);

    // The tracks: V1.. from the bottom, then the sound.
    int v = 0;
    for (pugi::xml_node track : multi.children("track")) {
        const std::string id = track.attribute("producer").value();
        pugi::xml_node pl = root.find_child_by_attribute("playlist", "id", id.c_str());
        if (!pl || id == backgroundId)
            continue;
        const bool sound = id == "sound";
        const std::string name = sound ? "A1" : "V" + std::to_string(++v);
        if (shotcut) {
            setProperty(pl, sound ? "shotcut:audio" : "shotcut:video", "1");
            setProperty(pl, "shotcut:name", name);
        } else {
            setProperty(pl, "kdenlive:track_name", name);
            if (sound)
                setProperty(pl, "kdenlive:audio_track", "1");
        }
    }

    // Kdenlive keeps its sound tracks below the pictures, first in the tractor (else
    // it shows A1 above the video tracks): the sound moves there, and the tracks the
    // transitions name move with it.
    if (!shotcut) {
        int index = 0, soundIndex = -1;
        pugi::xml_node sound;
        for (pugi::xml_node track : multi.children("track")) {
            if (std::string(track.attribute("producer").value()) == "sound") {
                sound = track;
                soundIndex = index;
            }
            ++index;
        }
        if (soundIndex > 1) {
            multi.insert_move_after(sound, multi.first_child());
            for (pugi::xml_node t : tractor.children("transition"))
                for (const char* name : {"a_track", "b_track"}) {
                    const int k = std::atoi(property(t, name).c_str());
                    if (k >= 1 && k < soundIndex)
                        setProperty(t, name, std::to_string(k + 1));
                }
        }
    }

    // The markers of the range, in frames of the project.
    struct Placed {
        long long frame;
        const ProjectMarker* marker;
    };
    std::vector<Placed> placed;
    for (const ProjectMarker& m : markers) {
        const long long frame = std::llround(m.seconds * rate.num / rate.den);
        if (frame >= rangeIn && frame <= rangeOut)
            placed.push_back({frame - rangeIn, &m});
    }

    // Kdenlive reads the document version from the first playlist of the file and
    // its bin from this playlist's entries: it comes first, after every producer (an
    // entry names a producer defined before it), with one entry per source.
    if (!shotcut) {
        for (const BinClip& c : binClips) {
            pugi::xml_node p = root.insert_child_before("producer", root.child("playlist"));
            p.append_attribute("id") = ("bin" + c.id).c_str();
            setProperty(p, "mlt_service", "avformat");
            setProperty(p, "resource", c.resource);
            if (!c.aspect.empty())
                setProperty(p, "force_aspect_ratio", c.aspect);
            setProperty(p, "kdenlive:clipname", fileName(c.resource));
            setProperty(p, "kdenlive:id", c.id);
            setProperty(p, "kdenlive:folderid", "-1");
        }
        std::vector<pugi::xml_node> producers;
        for (pugi::xml_node p : root.children("producer"))
            producers.push_back(p);
        for (pugi::xml_node p : producers)
            root.insert_move_before(p, root.child("playlist"));
    }
    pugi::xml_node bin = shotcut ? root.insert_child_before("playlist", tractor)
                                 : root.insert_child_before("playlist", root.child("playlist"));
    bin.append_attribute("id") = "main_bin";
    setProperty(bin, "xml_retain", "1");
    if (!shotcut)
        for (const BinClip& c : binClips)
            bin.append_child("entry").append_attribute("producer") = ("bin" + c.id).c_str();
    if (shotcut) {
        // Shotcut reads a project through a rewriting pass that keeps an element's
        // properties only up to its first child element: the tractor's own properties
        // and the marker list come before its tracks and transitions, as Shotcut
        // writes them.
        pugi::xml_node first = tractor.first_child();
        for (const auto& [name, value] : {std::pair<const char*, std::string>{"shotcut", "1"},
                                          {"shotcut:projectAudioChannels", std::to_string(output.channels)},
                                          {"shotcut:projectFolder", "0"}}) {
            pugi::xml_node p = tractor.insert_child_before("property", first);
            p.append_attribute("name") = name;
            p.text() = value.c_str();
        }
        pugi::xml_node list = tractor.insert_child_before("properties", first);
        list.append_attribute("name") = "shotcut:markers";
        int n = 0;
        for (const Placed& p : placed) {
            pugi::xml_node m = list.append_child("properties");
            m.append_attribute("name") = std::to_string(n++).c_str();
            setProperty(m, "text", p.marker->name);
            setProperty(m, "start", clockOf(p.frame, rate));
            setProperty(m, "end", clockOf(p.frame, rate));
            const char* colour = p.marker->kind == ProjectMarker::Kind::Section ? "#ff0000"
                                 : p.marker->kind == ProjectMarker::Kind::Bar   ? "#00c000"
                                                                                : "#00a0ff";
            setProperty(m, "color", colour);
        }
    } else {
        setProperty(bin, "kdenlive:docproperties.version", "1.04");
        setProperty(bin, "kdenlive:docproperties.kdenliveversion", "20.08.0");
        setProperty(bin, "kdenlive:docproperties.audioChannels", std::to_string(output.channels));
        // Kdenlive keeps one guide per frame: markers that share a frame become one
        // guide, its names joined (section, bar, beat) and the colour of the first.
        std::vector<Placed> byFrame = placed;
        std::stable_sort(byFrame.begin(), byFrame.end(), [](const Placed& a, const Placed& b) {
            return a.frame != b.frame ? a.frame < b.frame : rank(a.marker->kind) < rank(b.marker->kind);
        });
        std::string guides = "[";
        for (size_t i = 0; i < byFrame.size();) {
            size_t j = i;
            std::vector<std::string> names;
            for (; j < byFrame.size() && byFrame[j].frame == byFrame[i].frame; ++j)
                if (std::find(names.begin(), names.end(), byFrame[j].marker->name) == names.end())
                    names.push_back(byFrame[j].marker->name);
            std::string name;
            for (const std::string& n : names)
                name += (name.empty() ? "" : " \u00b7 ") + n;
            if (guides.size() > 1)
                guides += ",";
            guides += "{\"comment\":" + jsonString(name) + ",\"pos\":" + std::to_string(byFrame[i].frame) +
                      ",\"type\":" + std::to_string(rank(byFrame[i].marker->kind)) + "}";
            i = j;
        }
        guides += "]";
        setProperty(bin, "kdenlive:docproperties.guides", guides);
        setProperty(tractor, "kdenlive:projectTractor", "1");
    }

    std::ostringstream out;
    doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    result.xml = out.str();
    return result;
}

} // namespace vk
