// The Shotcut and Kdenlive projects T-VideoWrite writes (--export): played with melt,
// every output frame shows the same source frame as the writer's own render of the
// same range (transitions aside); their markers and names read back.
#include "writer_render.h"

#include <pugixml.hpp>

#include <map>
#include <set>

namespace vkrender {
namespace {

struct Shown {
    Expected::Kind kind;
    int number = -1; // the source frame read from the picture
    double level = 0;
};

std::vector<Shown> shownFrames(const std::string& file, const vk::Timeline& t, long long first)
{
    const int w = 160, h = 120;
    std::vector<Shown> shown;
    const std::vector<std::string> frames = decodeFrames(file, w, h);
    for (size_t i = 0; i < frames.size(); ++i) {
        Shown s;
        s.kind = expectedAt(t, 30, first + (long long)i).kind;
        if (s.kind == Expected::Source)
            s.number = readFrameNumber(frames[i], w, h);
        s.level = meanLevel(frames[i]);
        shown.push_back(s);
    }
    return shown;
}

// Kdenlive's bin: one clip per source file (the clips of the timeline are made from
// it); every producer of the timeline, a time warp included, names the bin clip of
// its file by id, and a time warp reads that file at its speed.
void expectKdenliveBin(const pugi::xml_document& doc, const std::vector<std::string>& files)
{
    const pugi::xml_node root = doc.child("mlt");
    std::map<std::string, std::string> idOfFile; // resource -> kdenlive:id
    std::set<std::string> binProducers;
    auto prop = [](pugi::xml_node n, const char* name) {
        return std::string(n.select_node(("property[@name='" + std::string(name) + "']").c_str()).node().text().get());
    };
    for (pugi::xml_node e : root.find_child_by_attribute("playlist", "id", "main_bin").children("entry")) {
        const std::string id = e.attribute("producer").value();
        binProducers.insert(id);
        const pugi::xml_node p = root.find_child_by_attribute("producer", "id", id.c_str());
        ASSERT_TRUE(p) << id;
        EXPECT_EQ(prop(p, "mlt_service"), "avformat") << id;
        EXPECT_FALSE(prop(p, "kdenlive:id").empty()) << id;
        EXPECT_TRUE(idOfFile.emplace(prop(p, "resource"), prop(p, "kdenlive:id")).second)
            << "two bin clips for " << prop(p, "resource");
    }
    std::set<std::string> binFiles;
    for (const auto& [file, id] : idOfFile)
        binFiles.insert(file);
    EXPECT_EQ(binFiles, std::set<std::string>(files.begin(), files.end()));
    int warps = 0;
    for (pugi::xml_node p : root.children("producer")) {
        const std::string id = p.attribute("id").value();
        if (id == "black" || binProducers.count(id))
            continue;
        const bool warp = prop(p, "mlt_service") == "timewarp";
        const std::string file = warp ? prop(p, "warp_resource") : prop(p, "resource");
        EXPECT_EQ(prop(p, "kdenlive:id"), idOfFile[file]) << id << " reads " << file;
        if (warp) {
            ++warps;
            EXPECT_EQ(prop(p, "resource"), prop(p, "warp_speed") + ":" + file) << id;
        }
    }
    EXPECT_GT(warps, 0);
}

class ProjectExport : public WriterRender {
protected:
    std::string exportProject(const std::string& dialect, const std::string& name, const std::string& markers)
    {
        const std::string project = m_dir / name;
        const RunResult r =
            runProgram({VK_WRITER_EXE, "--export", dialect, project, m_dir / "T-KaDro-Params.xml", markers},
                       {{"VK_WRITER_NO_DIALOGS", "1"}}, 120);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("Exported: " + project), std::string::npos) << r.out;
        return project;
    }
};

TEST_F(ProjectExport, MeltPlaysTheSameSourceFrameInEveryFrameAsTheRender)
{
    // A source whose name has a blank, Japanese and '&'.
    const std::string video = m_dir / "映像 & clip.mkv";
    fs::copy_file(g_media->video, video);
    std::string doc = testTimeline(1.0, 320, 240, 30);
    for (size_t at = doc.find(g_media->video); at != std::string::npos; at = doc.find(g_media->video, at))
        doc.replace(at, g_media->video.size(), video);
    const vk::Timeline t = parsed(doc);
    const std::string markers = m_dir / "markers.xml";
    writeFile(markers, "<markers><marker kind=\"section\" seconds=\"2\" name=\"行 2 &amp; 拍\"/>"
                       "<marker kind=\"section\" seconds=\"4\" name=\"行 3\"/>"
                       "<marker kind=\"bar\" seconds=\"4\" name=\"小節 3\"/>"
                       "<marker kind=\"beat\" seconds=\"7.5\" name=\"拍\"/></markers>");

    // The whole timeline, and a range that starts inside the 3x clip and ends inside
    // the half-speed one.
    for (const auto& [start, end] : {std::pair<long long, long long>{0, 0}, {3000, 7600}}) {
        SCOPED_TRACE("range " + std::to_string(start) + ".." + std::to_string(end));
        const RunResult r = render(doc, "render.mp4", start, end, false, "", "", Mp4Profile{320, 240, "30"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const long long first = std::llround(start * 30 / 1000.0);
        const std::vector<Shown> want = shownFrames(m_out, t, first);
        ASSERT_EQ(want.size(), size_t(std::llround((end > 0 ? end : 8000) * 30 / 1000.0) - first));

        for (const std::string dialect : {"shotcut", "kdenlive"}) {
            SCOPED_TRACE(dialect);
            const std::string project = exportProject(dialect, dialect + " & 名前.mlt", markers);
            const std::string played = m_dir / (dialect + ".mkv");
            std::string err;
            ASSERT_TRUE(runOk(
                {"melt", "-quiet", project, "-consumer", "avformat:" + played, "vcodec=ffv1", "an=1", "real_time=-1"},
                &err))
                << err;
            const std::vector<Shown> got = shownFrames(played, t, first);
            ASSERT_EQ(got.size(), want.size());
            int sources = 0, stills = 0, blacks = 0, fades = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                switch (want[i].kind) {
                case Expected::Source:
                    EXPECT_GE(want[i].number, 0) << "frame " << first + (long long)i;
                    EXPECT_EQ(got[i].number, want[i].number) << "frame " << first + (long long)i;
                    ++sources;
                    break;
                case Expected::Still:
                case Expected::Black:
                    EXPECT_NEAR(got[i].level, want[i].level, 12) << "frame " << first + (long long)i;
                    ++(want[i].kind == Expected::Still ? stills : blacks);
                    break;
                case Expected::Transition:
                    // The dissolve's pictures: the mix of the two (a fade in Shotcut's form).
                    EXPECT_NEAR(got[i].level, want[i].level, 3) << "frame " << first + (long long)i;
                    ++fades;
                    break;
                }
            }
            EXPECT_GT(sources, 40);
            EXPECT_GT(stills, 10);
            EXPECT_EQ(fades, 15);
            if (start == 0) {
                EXPECT_GT(blacks, 20);
            }
        }
    }

    // Markers and names read back (the last range: 3.0 .. 7.6 s, frames 90 .. 227, which
    // the projects hold as 0 .. 137).
    pugi::xml_document shotcut, kdenlive;
    ASSERT_TRUE(shotcut.load_file((m_dir / "shotcut & 名前.mlt").c_str()));
    ASSERT_TRUE(kdenlive.load_file((m_dir / "kdenlive & 名前.mlt").c_str()));
    std::vector<std::string> texts;
    for (pugi::xpath_node m : shotcut.select_nodes("//properties[@name='shotcut:markers']/properties"))
        texts.push_back(m.node().select_node("property[@name='text']").node().text().get() + std::string("@") +
                        m.node().select_node("property[@name='start']").node().text().get());
    EXPECT_EQ(texts, (std::vector<std::string>{"行 3@00:00:01.000", "小節 3@00:00:01.000", "拍@00:00:04.500"}));
    EXPECT_TRUE(shotcut.select_node("//tractor/property[@name='shotcut'][text()='1']"));
    // Shotcut's loader keeps an element's properties only up to its first child element
    // (a track list, a transition): the tractor's own come first, or Shotcut opens the
    // project as a plain clip, without its timeline and markers.
    bool pastChildren = false;
    for (pugi::xml_node n : shotcut.child("mlt").child("tractor").children()) {
        const std::string kind = n.name();
        if (kind == "property" || kind == "properties")
            EXPECT_FALSE(pastChildren) << "tractor property " << n.attribute("name").value() << " after its tracks";
        else
            pastChildren = true;
    }
    EXPECT_TRUE(pastChildren);
    EXPECT_EQ(shotcut.select_nodes("//playlist/property[@name='shotcut:video']").size(), 2u);
    EXPECT_EQ(shotcut.select_nodes("//playlist/property[@name='shotcut:audio']").size(), 1u);
    EXPECT_TRUE(shotcut.select_node("//producer/property[@name='shotcut:caption'][text()='映像 & clip.mkv']"));
    // The speeds are the engine's time warp, each as long as the 16 s file at its
    // speed (Shotcut shows it as the clip's length), not the project's.
    std::map<std::string, std::string> warpLengths;
    for (pugi::xpath_node n : shotcut.select_nodes("//producer[property[@name='mlt_service'][text()='timewarp']]"))
        warpLengths[n.node().select_node("property[@name='warp_speed']").node().text().get()] =
            n.node().select_node("property[@name='length']").node().text().get();
    EXPECT_EQ(warpLengths, (std::map<std::string, std::string>{{"0.5", "960"}, {"3", "160"}}));
    EXPECT_FALSE(shotcut.select_node("//property[@name='force_fps']"));
    // The dissolve (4.0 .. 4.5 s, 15 frames from frame 30 of the range) as Shotcut's
    // timeline shows a fade: the upper clip's "Fade In Video" filter, its opacity
    // rising over the fade as the dissolve mixes, laid over V1 by a blend as long as the
    // fade (melt plays its pictures above).
    const pugi::xml_node fade =
        shotcut.select_node("//producer/filter[property[@name='shotcut:filter'][text()='fadeInBrightness']]").node();
    ASSERT_TRUE(fade);
    auto prop = [](pugi::xml_node n, const char* name) {
        return std::string(n.select_node(("property[@name='" + std::string(name) + "']").c_str()).node().text().get());
    };
    EXPECT_EQ(prop(fade, "mlt_service"), "brightness");
    EXPECT_EQ(prop(fade, "shotcut:animIn"), "15");
    EXPECT_EQ(prop(fade, "alpha"), "0=0;15=1");
    EXPECT_EQ(prop(fade, "level"), "1");
    EXPECT_TRUE(prop(fade, "disable").empty());
    // The filter is on a producer of the faded clip's own (where Shotcut looks for it),
    // over the clip's frames.
    const pugi::xpath_node_set users = shotcut.select_nodes(
        ("//playlist/entry[@producer='" + std::string(fade.parent().attribute("id").value()) + "']").c_str());
    ASSERT_EQ(users.size(), 1u);
    EXPECT_STREQ(fade.attribute("in").value(), users.first().node().attribute("in").value());
    EXPECT_STREQ(fade.attribute("out").value(), users.first().node().attribute("out").value());
    const pugi::xml_node blend = shotcut.select_node("//tractor/transition").node();
    EXPECT_EQ(prop(blend, "mlt_service"), "composite");
    EXPECT_EQ(prop(blend, "in") + ".." + prop(blend, "out"), "30..44");
    EXPECT_FALSE(shotcut.select_node("//transition[property[@name='mlt_service'][text()='luma']]"));
    EXPECT_TRUE(kdenlive.select_node("//transition[property[@name='mlt_service'][text()='luma']]"));
    const std::string guides =
        kdenlive.select_node("//playlist[@id='main_bin']/property[@name='kdenlive:docproperties.guides']")
            .node()
            .text()
            .get();
    // Kdenlive keeps one guide per frame: a section and a bar on the same frame are one
    // guide with both names.
    EXPECT_EQ(guides, "[{\"comment\":\"行 3 · 小節 3\",\"pos\":30,\"type\":0},{\"comment\":\"拍\",\"pos\":135,"
                      "\"type\":2}]");
    EXPECT_TRUE(kdenlive.select_node("//producer/property[@name='kdenlive:clipname'][text()='映像 & clip.mkv']"));
    // Kdenlive reads the document version from the first playlist and builds its bin
    // from main_bin's entries, and takes the background for a track of bin clips unless
    // it is the black track: else it opens the project with a warning or a repair.
    const pugi::xml_node firstPlaylist = kdenlive.child("mlt").child("playlist");
    EXPECT_STREQ(firstPlaylist.attribute("id").value(), "main_bin");
    EXPECT_FALSE(firstPlaylist.select_node("property[@name='kdenlive:docproperties.version']").node().empty());
    EXPECT_FALSE(firstPlaylist.child("entry").empty()) << "main_bin without the sources";
    EXPECT_TRUE(kdenlive.select_node("//playlist[@id='black_track']"));
    for (pugi::xml_node n = firstPlaylist.previous_sibling(); n; n = n.previous_sibling())
        EXPECT_STRNE(n.name(), "playlist");
    expectKdenliveBin(kdenlive, {video, g_media->still, g_media->sound});
    // The sound track comes first, below the pictures, as Kdenlive keeps its own.
    const pugi::xml_node multitrack = kdenlive.select_node("//tractor/multitrack").node();
    const pugi::xml_node firstTrack = multitrack.child("track").next_sibling("track");
    EXPECT_TRUE(kdenlive
                    .select_node(("//playlist[@id='" + std::string(firstTrack.attribute("producer").value()) +
                                  "']/property[@name='kdenlive:audio_track'][text()='1']")
                                     .c_str())
                    .node());
    // At 320x240 the profile is SD (601), without a name Kdenlive would match its
    // custom profiles by.
    const pugi::xml_node profile = kdenlive.child("mlt").child("profile");
    EXPECT_STREQ(profile.attribute("colorspace").value(), "601");
    EXPECT_TRUE(profile.attribute("description").empty());
}

// The time warps of a 25 fps source at 1.5x: every other output frame falls half-way
// between two source frames. melt plays both projects as the writer renders the
// document, frame for frame; and at HD size the projects' profile is the standard
// profiles' colour space (709).
TEST_F(ProjectExport, HalfWayFramesOfATimeWarpMatchTheRenderAndHdIs709)
{
    const std::string video = m_dir / "numbered 25.mkv";
    ASSERT_TRUE(makeNumberedVideo(video, 30, 25));
    // 1.5x over 0-8 s (media 1-13 s), 0.75x over 8-12 s (media 14-17 s): frames
    // 0..299 at 25 fps, positions up to 25 s into the source.
    const std::string doc =
        "<timeline><group type=\"video\" buffering=\"32\" previewmode=\"1\" bitdepth=\"24\" framerate=\"25\" "
        "width=\"320\" height=\"240\"><track><clip start=\"0\" stop=\"8\" mstart=\"1\" mstop=\"13\" src=\"" +
        video + "\"/><clip start=\"8\" stop=\"12\" mstart=\"14\" mstop=\"17\" src=\"" + video +
        "\"/></track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"8\" "
        "start=\"0\" stop=\"12\" src=\"" +
        g_media->sound + "\"/></track></group></timeline>";
    const RunResult r = render(doc, "render.mkv", 0, 0, false, "", "", Mp4Profile{320, 240, "25"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const int w = 160, h = 120;
    std::vector<int> want;
    for (const std::string& f : decodeFrames(m_out, w, h))
        want.push_back(readFrameNumber(f, w, h));
    ASSERT_EQ(want.size(), 300u);
    // At 1.5x the source steps by 1 and 2 frames in turn: every other frame was
    // half-way.
    int ones = 0, twos = 0;
    for (size_t i = 1; i < 200; ++i) {
        ones += want[i] - want[i - 1] == 1;
        twos += want[i] - want[i - 1] == 2;
    }
    EXPECT_GE(ones, 95);
    EXPECT_GE(twos, 95);

    const std::string markers = m_dir / "markers.xml";
    writeFile(markers, "<markers/>");
    for (const std::string dialect : {"shotcut", "kdenlive"}) {
        SCOPED_TRACE(dialect);
        const std::string project = exportProject(dialect, dialect + ".mlt", markers);
        const std::string played = m_dir / (dialect + ".mkv");
        std::string err;
        ASSERT_TRUE(
            runOk({"melt", "-quiet", project, "-consumer", "avformat:" + played, "vcodec=ffv1", "an=1", "real_time=-1"},
                  &err))
            << err;
        std::vector<int> got;
        for (const std::string& f : decodeFrames(played, w, h))
            got.push_back(readFrameNumber(f, w, h));
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], want[i]) << "frame " << i;
    }

    // The same projects at 1280x720: a standard HD profile.
    writeFile(m_dir / "T-KaDro-Params.xml", paramsDoc(m_dir / "T-KaDro-Clips.xml", m_dir / "hd.mp4", 0, 0, false, "",
                                                      "", Mp4Profile{1280, 720, "25"}));
    for (const std::string dialect : {"shotcut", "kdenlive"}) {
        pugi::xml_document project;
        ASSERT_TRUE(project.load_file(exportProject(dialect, dialect + " hd.mlt", markers).c_str()));
        EXPECT_STREQ(project.child("mlt").child("profile").attribute("colorspace").value(), "709") << dialect;
    }
}

// An export follows a render's rules: a progress line per step, and a stop signal
// (here as the test hook makes it arrive: at the first step, and once the part file is
// written) ends it with status 2, the old project as it was and no part file left.
TEST_F(ProjectExport, AStopLeavesTheOldProjectAndNoPartFile)
{
    const std::string xtl = m_dir / "T-KaDro-Clips.xml";
    writeFile(xtl, testTimeline(1.0, 320, 240, 30));
    const std::string project = m_dir / "stopped.kdenlive";
    writeFile(project, "the previous project");
    const std::string params = m_dir / "T-KaDro-Params.xml";
    writeFile(params, paramsDoc(xtl, project, 0, 0, false, "", "", Mp4Profile{320, 240, "30"}));
    for (const char* at : {"10", "95"}) {
        SCOPED_TRACE(std::string("stop at ") + at);
        const RunResult r = runProgram({VK_WRITER_EXE, "--export", "kdenlive", project, params},
                                       {{"VK_WRITER_NO_DIALOGS", "1"}, {"VK_WRITER_TEST_STOP_EXPORT", at}}, 120);
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_NE(r.err.find("キャンセルしました。"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(project), "the previous project");
        EXPECT_FALSE(fs::exists(project + ".part"));
    }
    const RunResult r =
        runProgram({VK_WRITER_EXE, "--export", "kdenlive", project, params}, {{"VK_WRITER_NO_DIALOGS", "1"}}, 120);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("progress  10%"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("progress 100%"), std::string::npos) << r.out;
    EXPECT_NE(readFile(project).find("<mlt"), std::string::npos);
    EXPECT_FALSE(fs::exists(project + ".part"));
}

} // namespace
} // namespace vkrender
