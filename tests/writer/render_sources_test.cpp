// End-to-end renders with T-VideoWrite on hard sources: H.264 with B-frames cut
// around key frames, every transition kind, and every output kind decoding without
// a warning.
#include "writer_render.h"

#include <gtest/gtest.h>

using namespace vkrender;

// H.264 sources with B-frames, cut the way a music video is: short spans that
// jump forwards and backwards around key frames, from an mp4 (which the
// renderer seeks by presentation time, without the engine's decoding run-up)
// and from an MPEG-TS copy of the same stream (which keeps the run-up), one
// span at double speed, a plain red clip, a gap and a fade. Every picture
// must be exactly the source frame the span maps it to, and the red clip red,
// in an uncompressed AVI and in an MP4.
TEST_F(WriterRender, H264CutsAreFrameExactAfterEverySeek)
{
    const std::string mp4 = m_dir / "numbered.mp4", ts = m_dir / "numbered.ts", red = m_dir / "red.mp4";
    ASSERT_TRUE(makeNumberedH264(mp4, 20));
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-i", mp4, "-c", "copy", ts}));
    ASSERT_TRUE(makeColourH264(red, "red", 2));

    struct Span {
        int track;          // 1 or 2
        double start, stop; // timeline seconds
        std::string src;
        int firstFrame; // source frame shown first
        double speed;
    };
    const std::vector<Span> spans = {
        {1, 0.0, 0.5, mp4, 28, 1},  {1, 0.5, 1.0, mp4, 88, 1},  {1, 1.0, 1.5, mp4, 59, 1}, {1, 1.5, 2.0, ts, 29, 1},
        {1, 2.0, 2.5, ts, 148, 1},  {1, 2.5, 3.0, ts, 119, 1},  {1, 3.0, 3.5, red, 0, 1},  {1, 4.0, 5.0, mp4, 200, 2},
        {1, 5.0, 6.5, mp4, 239, 1}, {2, 5.5, 6.5, mp4, 400, 1},
    };
    std::string doc = "<timeline><group type=\"video\" framerate=\"30\" width=\"320\" height=\"240\"><track>";
    for (int track = 1; track <= 2; ++track) {
        if (track == 2)
            doc += "</track><track>";
        for (const Span& s : spans)
            if (s.track == track)
                doc += "<clip start=\"" + num(s.start) + "\" stop=\"" + num(s.stop) + "\" mstart=\"" +
                       num(s.firstFrame / 30.0) + "\" mstop=\"" +
                       num(s.firstFrame / 30.0 + (s.stop - s.start) * s.speed) + "\" src=\"" + s.src + "\"/>";
    }
    doc += "<transition start=\"5.5\" stop=\"5.8\" clsid=\"" + std::string(kFade) + "\"/>";
    doc += "</track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"6.5\" "
           "start=\"0\" stop=\"6.5\" src=\"" +
           g_media->sound + "\"/></track></group></timeline>";
    const std::string engineXml = m_dir / "engine.mlt";
    // Uncompressed AVI at the timeline's size, and MP4 (H.264 at 640x360,
    // the pictures stretched to fill): the same pictures in both.
    const std::vector<std::pair<std::string, Mp4Profile>> outputs = {{"cuts.avi", {}}, {"cuts.mp4", {640, 360, "30"}}};
    for (const auto& [outName, profile] : outputs) {
        SCOPED_TRACE(outName);
        const RunResult r = render(doc, outName, 0, 6500, false, "640-2000k-stereo.prx", engineXml, profile);
        EXPECT_EQ(checkLine(r.out), "check: 195/195 frames, sound 6.500 s, picture 6.500 s, offset 0 ms");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // The mp4 spans run without the run-up, the MPEG-TS ones with it.
        // The sources are decoded on two threads, but on one for H.264
        // output, whose encoder is the limit.
        const std::string engine = readFile(engineXml);
        const std::string threads =
            "<property name=\"threads\">" + std::string(profile.empty() ? "2" : "1") + "</property>\n    <property ";
        EXPECT_NE(engine.find(mp4 + "</property>\n    " + threads + "name=\"_speed\">"), std::string::npos) << engine;
        EXPECT_NE(engine.find(ts + "</property>\n    " + threads), std::string::npos) << engine;
        EXPECT_EQ(engine.find(ts + "</property>\n    " + threads + "name=\"_speed\">"), std::string::npos) << engine;

        const int w = 160, h = 120;
        const std::vector<std::string> frames = decodeFrames(m_out, w, h);
        ASSERT_EQ(frames.size(), 195u);
        int exact = 0, reds = 0, blacks = 0;
        for (int f = 0; f < int(frames.size()); ++f) {
            const Span* top = nullptr;
            for (const Span& s : spans)
                if (f >= std::lround(s.start * 30) && f < std::lround(s.stop * 30) && (!top || s.track > top->track))
                    top = &s;
            const std::string& img = frames[size_t(f)];
            if (!top) {
                EXPECT_LT(meanLevel(img), 20) << "frame " << f << " should be black";
                ++blacks;
            } else if (f >= 165 && f < 174) {
                continue; // the fade
            } else if (top->src == red) {
                int r0, g0, b0;
                pixel(img, w, w / 2, h / 2, r0, g0, b0);
                EXPECT_TRUE(r0 > 200 && g0 < 40 && b0 < 40) << "frame " << f << " " << r0 << "," << g0 << "," << b0;
                ++reds;
            } else {
                const double source = top->firstFrame + (f - std::lround(top->start * 30)) * top->speed;
                const int got = readFrameNumber(img, w, h);
                EXPECT_EQ(got, int(source))
                    << "frame " << f << " of a span from " << top->src << " at speed " << top->speed;
                ++exact;
            }
        }
        EXPECT_EQ(exact, 156);
        EXPECT_EQ(reds, 15);
        EXPECT_EQ(blacks, 15);
    }
}

// Slowed spans read late in a file: slowed down, the later part of a 10-second source
// lies past the end the engine measures for the file at the output rate. Each
// picture must still be the source frame its span maps it to, not one held from an
// earlier part of the file; a span from the start of the file is the control.
TEST_F(WriterRender, SlowedSpansLateInAFileShowTheirOwnFrames)
{
    const std::string mp4 = m_dir / "numbered10.mp4";
    ASSERT_TRUE(makeNumberedH264(mp4, 10));
    struct Span {
        double start, stop; // timeline seconds
        int firstFrame;     // source frame shown first
        double speed;
    };
    const std::vector<Span> spans = {{0.0, 1.0, 240, 0.6}, {1.0, 2.0, 30, 0.4}, {2.0, 3.0, 270, 0.8}};
    std::string doc = "<timeline><group type=\"video\" framerate=\"30\" width=\"320\" height=\"240\"><track>";
    for (const Span& s : spans)
        doc += "<clip start=\"" + num(s.start) + "\" stop=\"" + num(s.stop) + "\" mstart=\"" +
               num(s.firstFrame / 30.0) + "\" mstop=\"" + num(s.firstFrame / 30.0 + (s.stop - s.start) * s.speed) +
               "\" src=\"" + mp4 + "\"/>";
    doc += "</track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" mstop=\"3\" "
           "start=\"0\" stop=\"3\" src=\"" +
           g_media->sound + "\"/></track></group></timeline>";
    const RunResult r = render(doc, "slowed.avi", 0, 3000, false, "640-2000k-stereo.prx");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const int w = 160, h = 120;
    const std::vector<std::string> frames = decodeFrames(m_out, w, h);
    ASSERT_EQ(frames.size(), 90u);
    for (int f = 0; f < 90; ++f) {
        const Span& s = spans[size_t(f / 30)];
        const double source = s.firstFrame + (f - std::lround(s.start * 30)) * s.speed;
        // The first picture of a span is its in-point's frame; after it the engine steps
        // the slowed file on the output's frame grid, within a frame of the exact time.
        const int got = readFrameNumber(frames[size_t(f)], w, h);
        if (f % 30 == 0) {
            EXPECT_EQ(got, s.firstFrame) << "frame " << f;
        }
        EXPECT_NEAR(got, source, 1.0) << "frame " << f << " of the span from source frame " << s.firstFrame
                                      << " at speed " << s.speed;
    }
}

// Every transition kind, one after the other on two tracks: a one-second
// transition from a blue picture (track 1) into a red one (track 2) every two
// seconds; pixelate goes from a fine blue/white chequer into a red/black one,
// so that its blocks show. Each kind is checked at a quarter, half and three
// quarters of its span against what it should look like, and the engine must
// not complain about any transition.
TEST_F(WriterRender, EveryTransitionKindDrawsAsIntended)
{
    struct Kind {
        const char* clsid;
        vk::TransitionStyle style;
    };
    const std::vector<Kind> kinds = {
        {"{16B280C5-EE70-11D1-9066-00C04FD9189D}", vk::TransitionStyle::Fade},
        {"{C3BDF740-0B58-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Barn},
        {"{00C429C0-0BA9-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Blinds},
        {"{107045D1-06E0-11D2-8D6D-00C04F8EF8E0}", vk::TransitionStyle::Burn},
        {"{93073C40-0BA5-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Inset},
        {"{3F69F351-0379-11D2-A484-00C04F8EFB69}", vk::TransitionStyle::Iris},
        {"{4CCEA634-FBE0-11d1-906A-00C04FD9189D}", vk::TransitionStyle::Pixelate},
        {"{424B71AF-0695-11D2-A484-00C04F8EFB69}", vk::TransitionStyle::RadialWipe},
        {"{810E402F-056B-11D2-A484-00C04F8EFB69}", vk::TransitionStyle::Slide},
        {"{ACA97E00-0C7D-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Spiral},
        {"{7658F2A2-0A83-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Stretch},
        {"{5AE1DAE0-1461-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Wheel},
        {"{AF279B30-86EB-11D1-81BF-0000F87557DB}", vk::TransitionStyle::Wipe},
        {"{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}", vk::TransitionStyle::Zigzag},
    };
    const int w = 320, h = 240, fps = 30;
    const std::string blue = m_dir / "blue.png", red = m_dir / "red.png";
    const std::string oldChequer = m_dir / "old-chequer.png", newChequer = m_dir / "new-chequer.png";
    ASSERT_TRUE(makeStill(blue, "blue", w, h));
    ASSERT_TRUE(makeStill(red, "red", w, h));
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const std::string cell = "mod(floor(X/2)+floor(Y/2),2)";
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                       "color=c=black:s=" + size + ",format=rgb24,geq=r='255*" + cell + "':g='255*" + cell + "':b=255",
                       "-frames:v", "1", oldChequer}));
    ASSERT_TRUE(runOk({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                       "color=c=black:s=" + size + ",format=rgb24,geq=r='255*" + cell + "':g=0:b=0", "-frames:v", "1",
                       newChequer}));

    std::string lower, upper;
    for (size_t k = 0; k < kinds.size(); ++k) {
        const int s = int(2 * k);
        const bool chequer = kinds[k].style == vk::TransitionStyle::Pixelate;
        lower += "<clip start=\"" + std::to_string(s) + "\" stop=\"" + std::to_string(s + 2) +
                 "\" mstart=\"0\" mstop=\"0\" src=\"" + (chequer ? oldChequer : blue) + "\"/>";
        upper += "<clip start=\"" + std::to_string(s + 1) + "\" stop=\"" + std::to_string(s + 2) +
                 "\" mstart=\"0\" mstop=\"0\" src=\"" + (chequer ? newChequer : red) + "\"/>";
        upper += "<transition start=\"" + std::to_string(s + 1) + "\" stop=\"" + std::to_string(s + 2) + "\" clsid=\"" +
                 kinds[k].clsid + "\"/>";
    }
    const int seconds = int(2 * kinds.size());
    const std::string doc = "<timeline><group type=\"video\" framerate=\"30\" width=\"320\" height=\"240\"><track>" +
                            lower + "</track><track>" + upper +
                            "</track></group><group type=\"audio\" samplingrate=\"48000\"><track><clip mstart=\"0\" "
                            "mstop=\"8\" start=\"0\" stop=\"8\" src=\"" +
                            g_media->sound + "\"/></track></group></timeline>";
    const RunResult r = render(doc, "transitions.avi", 0, seconds * 1000, false);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("invalid transition type"), std::string::npos) << r.err.substr(0, 2000);
    EXPECT_EQ(r.err.find("[transition "), std::string::npos) << r.err.substr(0, 2000);

    const std::vector<std::string> frames = decodeFrames(m_out, w, h);
    ASSERT_EQ(frames.size(), size_t(seconds * fps));
    auto isRed = [](int r0, int g0, int b0) { return r0 > 200 && g0 < 50 && b0 < 50; };
    auto isBlue = [](int r0, int g0, int b0) { return b0 > 200 && r0 < 50 && g0 < 50; };
    for (size_t k = 0; k < kinds.size(); ++k) {
        const vk::TransitionStyle style = kinds[k].style;
        const std::string name = vk::transitionStyleName(style);
        const int first = int(2 * k + 1) * fps; // the transition's first frame
        const std::vector<unsigned char> map =
            vk::usesLumaMap(style) ? vk::lumaMap(style, w, h) : std::vector<unsigned char>();
        // Just before its start: the old picture alone.
        {
            int r0, g0, b0;
            pixel(frames[size_t(first - 1)], w, w / 2, h / 2, r0, g0, b0);
            if (style != vk::TransitionStyle::Pixelate) {
                EXPECT_TRUE(isBlue(r0, g0, b0)) << name << " before its start: " << r0 << "," << g0 << "," << b0;
            }
        }
        for (int at : {8, 15, 22}) {
            const std::string& img = frames[size_t(first + at)];
            const double p = double(at) / fps;       // the engine's progress on this frame
            const double q = double(at) / (fps - 1); // key-framed geometry: 0 on the first, 1 on the last frame
            int wrong = 0, checked = 0;
            std::ostringstream firstWrong;
            auto expect = [&](bool ok, int x, int y, int r0, int g0, int b0, const char* what) {
                ++checked;
                if (!ok && wrong++ == 0)
                    firstWrong << " first at " << x << "," << y << ": " << r0 << "," << g0 << "," << b0 << " (" << what
                               << ")";
            };
            for (int y = 1; y < h; y += 4) {
                for (int x = 1; x < w; x += 4) {
                    int r0, g0, b0;
                    pixel(img, w, x, y, r0, g0, b0);
                    const double cx = x + 0.5;
                    switch (style) {
                    case vk::TransitionStyle::Fade: {
                        const double share = double(r0) / std::max(1, r0 + b0);
                        expect(std::fabs(share - p) < 0.12 && g0 < 50, x, y, r0, g0, b0, "dissolve");
                        break;
                    }
                    case vk::TransitionStyle::Burn:
                        // Hot: much brighter than either picture, with a glow neither has.
                        expect(r0 > 180 && g0 > 90, x, y, r0, g0, b0, "glow");
                        break;
                    case vk::TransitionStyle::Pixelate: {
                        // Blocks: no trace of the 2-pixel chequer, the colour of the old
                        // picture before the middle and of the new one after it.
                        int r1, g1, b1;
                        pixel(img, w, x + 2, y, r1, g1, b1);
                        const bool flat = std::abs(r0 - r1) + std::abs(g0 - g1) + std::abs(b0 - b1) < 60;
                        const bool colour = p < 0.5 ? (b0 > 200 && r0 > 70 && r0 < 190 && g0 > 70 && g0 < 190)
                                                    : (r0 > 70 && r0 < 190 && g0 < 50 && b0 < 50);
                        expect(flat && colour, x, y, r0, g0, b0, "block");
                        break;
                    }
                    case vk::TransitionStyle::Slide: { // the new picture's left edge at (1 - q) * w
                        const double edge = (1 - q) * w;
                        if (std::fabs(cx - edge) > 4)
                            expect(cx > edge ? isRed(r0, g0, b0) : isBlue(r0, g0, b0), x, y, r0, g0, b0, "slide");
                        break;
                    }
                    case vk::TransitionStyle::Stretch: { // a band round the centre line
                        const double half = (0.01 + 0.99 * q) * w / 2;
                        const double d = std::fabs(cx - w / 2.0);
                        if (std::fabs(d - half) > 4)
                            expect(d < half ? isRed(r0, g0, b0) : isBlue(r0, g0, b0), x, y, r0, g0, b0, "stretch");
                        break;
                    }
                    default: { // wipes: a pixel has turned once the progress has passed its map value
                        const double m = map[size_t(y) * w + x] / 255.0;
                        if (m < p - 0.05)
                            expect(isRed(r0, g0, b0), x, y, r0, g0, b0, "new");
                        else if (m > p + 0.05)
                            expect(isBlue(r0, g0, b0), x, y, r0, g0, b0, "old");
                        break;
                    }
                    }
                }
            }
            EXPECT_GT(checked, 1000) << name << " frame " << at;
            EXPECT_LE(wrong, checked / 100) << name << " at progress " << p << ": " << wrong << " of " << checked
                                            << " pixels wrong," << firstWrong.str();
        }
    }
}

// Every kind of file the writer makes must decode from start to end with
// nothing to report: `ffmpeg -v warning -i FILE -f null -` prints no line.
// The one line allowed is ffmpeg's note that it assumed the usual layout for
// the sound's channels ("Guessed Channel Layout ... : stereo"): these formats
// store PCM and WMA sound with the plain wave header, which names the number
// of channels but no speaker layout, and ffmpeg prints the same note for the
// files it writes itself. The writer's own muxer must not complain either.
TEST_F(WriterRender, EveryOutputDecodesWithoutErrorsOrWarnings)
{
    struct Output {
        const char* name;
        bool dv;
    };
    const std::vector<Output> outputs = {
        {"dv.avi", true}, {"raw.avi", false}, {"sound.wav", false}, {"movie.wmv", false}, {"movie.mp4", false}};
    const std::string doc = testTimeline(1.0, 320, 240, 30);
    for (const Output& o : outputs) {
        const bool mp4 = std::string(o.name) == "movie.mp4";
        const RunResult r = render(doc, o.name, 0, 3000, o.dv, "320-0300k-stereo.prx", "",
                                   mp4 ? Mp4Profile{854, 480, "29.97"} : Mp4Profile{});
        ASSERT_EQ(r.exitCode, 0) << o.name << "\n" << r.err;
        for (const char* muxer : {"[avi @", "[wav @", "[asf @", "[mp4 @", "[libx264 @", "[aac @"})
            EXPECT_EQ(r.err.find(muxer), std::string::npos) << o.name << ": the muxer complained\n" << r.err;

        const RunResult d = runProgram({"ffmpeg", "-nostdin", "-v", "warning", "-i", m_out, "-f", "null", "-"});
        EXPECT_EQ(d.exitCode, 0) << o.name << "\n" << d.err;
        std::istringstream lines(d.out + d.err);
        std::string line;
        int reported = 0;
        while (std::getline(lines, line)) {
            if (line.empty() || line.rfind("Guessed Channel Layout for Input Stream", 0) == 0)
                continue;
            ADD_FAILURE() << o.name << " does not decode cleanly: " << line;
            ++reported;
        }
        EXPECT_EQ(reported, 0) << o.name;
        // Nothing was dropped to get there: the sound is complete.
        EXPECT_NEAR(probeDuration(m_out), 3.0, 0.1) << o.name;
        const std::vector<short> sound = decodeSound(m_out, 48000);
        EXPECT_NEAR(double(sound.size()), 3.0 * 48000, 48000 * 0.05) << o.name;
    }
}
