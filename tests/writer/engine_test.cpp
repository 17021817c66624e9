// Start-up of the render engine inside the writer: only the needed modules
// load, no Qt 5 library is mapped next to Qt 6, and the writer's own blend is
// available to timelines. The writer's own scaler against the engine's.

#include "writer/mltengine.h"

#include <mlt++/Mlt.h>

#include <gtest/gtest.h>

#include <QtGlobal>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace {

std::string maps()
{
    std::ifstream in("/proc/self/maps");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(WriterEngine, LoadsOnlyTheNeededModulesAndNoQt5)
{
    std::string folder;
    {
        vk::MltEngine engine;
        std::string error;
        ASSERT_TRUE(engine.start(error)) << error;
        folder = engine.privateFolder();
        ASSERT_TRUE(std::filesystem::is_directory(engine.lumaFolder()));

        Mlt::Profile profile;
        // Everything a timeline of this program uses can be created...
        Mlt::Producer colour(profile, "color", "red");
        EXPECT_TRUE(colour.is_valid());
        Mlt::Transition luma(profile, "luma");
        EXPECT_TRUE(luma.is_valid());
        Mlt::Transition composite(profile, "composite");
        EXPECT_TRUE(composite.is_valid());
        Mlt::Transition blend(profile, "vk_blend");
        EXPECT_TRUE(blend.is_valid());
        Mlt::Producer xml(profile, "xml-string",
                          "<mlt><producer id=\"a\"><property name=\"mlt_service\">color</property></producer></mlt>");
        EXPECT_TRUE(xml.is_valid());
        Mlt::Consumer file(profile, "avformat", "/dev/null");
        EXPECT_TRUE(file.is_valid());

        const std::string m = maps();
        EXPECT_NE(m.find("libmltavformat.so"), std::string::npos);
        EXPECT_NE(m.find("libmltxml.so"), std::string::npos);
        EXPECT_EQ(m.find("libQt5"), std::string::npos) << "a Qt 5 library is mapped";
        EXPECT_EQ(m.find("libmltqt.so"), std::string::npos);
        EXPECT_EQ(m.find("libmltglaxnimate.so"), std::string::npos);
        // ...while modules outside the list are not there at all.
        Mlt::Producer qtext(profile, "qtext", "x");
        EXPECT_FALSE(qtext.is_valid());
        EXPECT_EQ(QT_VERSION_MAJOR, 6);
    }
    // The private folder goes away with the engine.
    EXPECT_FALSE(std::filesystem::exists(folder));
}

namespace {

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

struct Picture {
    std::vector<uint8_t> bytes; // packed 4:2:2 (Y U Y V), or planar 4:2:0
    int width = 0, height = 0;
    mlt_image_format format = mlt_image_yuv422;
};

// The picture the timeline gives at `position`, asked as the file renders
// ask: packed 4:2:2 (the engine's file writer), or planar 4:2:0 (MP4).
Picture pictureAt(Mlt::Producer& timeline, int position, int width, int height,
                  mlt_image_format wanted = mlt_image_yuv422)
{
    timeline.seek(position);
    std::unique_ptr<Mlt::Frame> frame(timeline.get_frame());
    Picture p;
    if (!frame)
        return p;
    frame->set("consumer.rescale", "bilinear"); // as the file renders set it
    frame->set("consumer.progressive", 1);
    mlt_image_format format = wanted;
    p.width = width;
    p.height = height;
    p.format = wanted;
    const uint8_t* image = frame->get_image(format, p.width, p.height);
    if (!image || format != wanted)
        return p;
    p.bytes.assign(image, image + mlt_image_format_size(wanted, p.width, p.height, nullptr));
    return p;
}

// Mean absolute difference of the luma or the chroma of two pictures of the
// same format.
double meanDifference(const Picture& a, const Picture& b, bool chroma)
{
    if (a.bytes.size() != b.bytes.size() || a.format != b.format || a.bytes.empty())
        return 1e9;
    double sum = 0;
    size_t n = 0;
    if (a.format == mlt_image_yuv422) { // luma on even bytes, chroma on odd
        for (size_t i = chroma ? 1 : 0; i < a.bytes.size(); i += 2, ++n)
            sum += std::abs(int(a.bytes[i]) - int(b.bytes[i]));
    } else { // planar: the luma plane, then the chroma planes
        const size_t luma = size_t(a.width) * a.height;
        for (size_t i = chroma ? luma : 0; i < (chroma ? a.bytes.size() : luma); ++i, ++n)
            sum += std::abs(int(a.bytes[i]) - int(b.bytes[i]));
    }
    return n ? sum / double(n) : 1e9;
}

// The filters of the file producer behind the n-th entry of a one-track timeline.
std::vector<mlt_filter> filtersOfEntry(Mlt::Producer& timeline, int entry)
{
    std::vector<mlt_filter> filters;
    mlt_multitrack multi = mlt_tractor_multitrack(MLT_TRACTOR(timeline.get_producer()));
    auto playlist = MLT_PLAYLIST(mlt_multitrack_track(multi, 0));
    mlt_producer file = mlt_producer_cut_parent(mlt_playlist_get_clip(playlist, entry));
    for (int i = 0; i < mlt_service_filter_count(MLT_PRODUCER_SERVICE(file)); ++i)
        filters.push_back(mlt_service_filter(MLT_PRODUCER_SERVICE(file), i));
    return filters;
}

std::string serviceOf(mlt_filter filter)
{
    const char* name = mlt_properties_get(MLT_FILTER_PROPERTIES(filter), "mlt_service");
    return name ? name : "";
}

} // namespace

// The scaler tests' engine, sources and timeline (1280x720, 30 fps).
class FastScaler : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(engine.start(error)) << error;
        const std::filesystem::path dir = std::filesystem::path(engine.privateFolder()) / "media";
        std::filesystem::create_directories(dir);
        // Frame n shows n in binary as ten vertical bars; the second source has
        // colour everywhere; the third is the colour picture coded interlaced.
        bars = (dir / "bars.mp4").string();
        colour = (dir / "colour.mp4").string();
        fields = (dir / "fields.mp4").string();
        ASSERT_TRUE(run("ffmpeg -v error -y -f lavfi -i \"color=c=black:s=320x240:r=30:d=2,format=gray,"
                        "geq=lum='255*mod(floor(N/pow(2\\,floor(X/32)))\\,2)'\" -c:v libx264 -preset veryfast -crf 12 "
                        "-g 30 -pix_fmt yuv420p " +
                        bars));
        ASSERT_TRUE(
            run("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=30:d=2 -c:v libx264 -preset veryfast -crf 12 "
                "-g 30 -pix_fmt yuv420p " +
                colour));
        ASSERT_TRUE(
            run("ffmpeg -v error -y -f lavfi -i testsrc2=s=320x240:r=30:d=2 -c:v libx264 -preset veryfast -crf 12 "
                "-g 30 -flags +ildct+ilme -x264-params interlaced=1:tff=1 -pix_fmt yuv420p " +
                fields));

        // The bars stretched to 16:9; the colour picture kept at 4:3, between bars.
        xml = "<mlt><profile width=\"1280\" height=\"720\" progressive=\"1\" sample_aspect_num=\"1\" "
              "sample_aspect_den=\"1\" "
              "display_aspect_num=\"16\" display_aspect_den=\"9\" frame_rate_num=\"30\" frame_rate_den=\"1\" "
              "colorspace=\"601\"/>"
              "<producer id=\"bars\"><property name=\"mlt_service\">avformat</property><property name=\"resource\">" +
              bars +
              "</property><property name=\"force_aspect_ratio\">1.333333333</property></producer>"
              "<producer id=\"colour\"><property name=\"mlt_service\">avformat</property><property name=\"resource\">" +
              colour +
              "</property></producer>"
              "<producer id=\"fields\"><property name=\"mlt_service\">avformat</property><property name=\"resource\">" +
              fields +
              "</property><property name=\"force_aspect_ratio\">1.333333333</property></producer>"
              "<playlist id=\"track\"><entry producer=\"bars\" in=\"0\" out=\"29\"/>"
              "<entry producer=\"colour\" in=\"0\" out=\"29\"/><entry producer=\"fields\" in=\"0\" out=\"29\"/>"
              "</playlist>"
              "<tractor id=\"main\"><multitrack><track producer=\"track\"/></multitrack></tractor></mlt>";
        profileHolder = std::make_unique<Mlt::Profile>();
        Mlt::Profile& profile = *profileHolder;
        profile.set_width(w);
        profile.set_height(h);
        profile.set_sample_aspect(1, 1);
        profile.set_display_aspect(16, 9);
        profile.set_frame_rate(30, 1);
        profile.set_progressive(1);
        profile.set_explicit(1);
    }

    Mlt::Profile& profile() { return *profileHolder; }

    // The timeline as the engine has it, and with the writer's scaler.
    void makeTimelines()
    {
        plain = std::make_unique<Mlt::Producer>(profile(), "xml-string", xml.c_str());
        fast = std::make_unique<Mlt::Producer>(profile(), "xml-string", xml.c_str());
        ASSERT_TRUE(plain->is_valid());
        ASSERT_TRUE(fast->is_valid());
        ASSERT_EQ(vk::installFastScaler(fast->get_producer()), 3);
    }

    // The picture at `position` with the writer's scaler, asked for in
    // `format`, against the engine's own: the luma and the chroma each within
    // a mean difference.
    void likeTheEngines(int position, mlt_image_format format, double luma, double chroma, Picture& mine)
    {
        mine = pictureAt(*fast, position, w, h, format);
        const Picture engines = pictureAt(*plain, position, w, h, format);
        const size_t size = size_t(mlt_image_format_size(format, w, h, nullptr));
        ASSERT_EQ(mine.bytes.size(), size);
        ASSERT_EQ(engines.bytes.size(), size);
        EXPECT_EQ(mine.width, w);
        EXPECT_EQ(mine.height, h);
        EXPECT_LT(meanDifference(mine, engines, false), luma);
        EXPECT_LT(meanDifference(mine, engines, true), chroma);
    }

    static constexpr int w = 1280, h = 720;
    vk::MltEngine engine;
    std::unique_ptr<Mlt::Profile> profileHolder;
    std::string bars, colour, fields, xml;
    std::unique_ptr<Mlt::Producer> plain, fast;
};

// The writer's own scaler (vk_scale) takes decoded 4:2:0 pictures straight to
// the engine's packed 4:2:2 at the output size. Its pictures must be the ones
// the engine's own conversion and scaler would make: the same size and place
// (stretched to fill, and kept in shape with black bars), the same colours and
// the same source frame.
TEST_F(FastScaler, MakesTheEnginesPictureInOnePass)
{
    Mlt::Profile& profile = this->profile();
    ASSERT_NO_FATAL_FAILURE(makeTimelines());
    Mlt::Producer& plain = *this->plain;
    EXPECT_EQ(fast->get_length(), 90); // adding the filter keeps the timeline's length
    // Right above both file producers, below the engine's deinterlacer and
    // scaler.
    std::vector<mlt_filter> scalers;
    for (int entry : {0, 1, 2}) {
        const std::vector<mlt_filter> filters = filtersOfEntry(*fast, entry);
        ASSERT_GE(filters.size(), 2u);
        EXPECT_EQ(serviceOf(filters[0]), "vk_scale");
        EXPECT_EQ(serviceOf(filters[1]), "deinterlace"); // the engine's first choice, as in melt
        EXPECT_NE(std::find_if(filters.begin(), filters.end(), [](mlt_filter f) { return serviceOf(f) == "swscale"; }),
                  filters.end());
        scalers.push_back(filters[0]);
    }

    for (int position : {0, 1, 13, 28}) { // the bars
        SCOPED_TRACE("bars at " + std::to_string(position));
        Picture mine;
        ASSERT_NO_FATAL_FAILURE(likeTheEngines(position, mlt_image_yuv422, 2.0, 1.0, mine));
        // The neighbouring frame is far off: a frame out of place would show.
        EXPECT_GT(meanDifference(mine, pictureAt(plain, position + 1, w, h), false), 15.0);
    }
    // Every picture of the bars but the first (which tells that the source is
    // progressive) came from the writer's scaler.
    EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(scalers[0]), "vk_pictures"), 3);
    for (int position : {30, 47}) { // the colour picture between black bars
        SCOPED_TRACE("colour at " + std::to_string(position));
        Picture mine;
        ASSERT_NO_FATAL_FAILURE(likeTheEngines(position, mlt_image_yuv422, 2.0, 1.0, mine));
        // 4:3 in 16:9: 160 black columns either side, picture in between.
        for (int y : {10, h / 2, h - 10}) {
            for (int x : {0, 100, 150, 1130, 1200, 1278}) {
                const uint8_t* px = &mine.bytes[(size_t(y) * w + x) * 2];
                EXPECT_NEAR(px[0], 16, 2) << x << "," << y;
                EXPECT_NEAR(px[1], 128, 2) << x << "," << y;
            }
        }
        double inside = 0;
        for (int x = 200; x < 1080; ++x)
            inside += mine.bytes[(size_t(h / 2) * w + x) * 2];
        EXPECT_GT(inside / 880, 40) << "the picture is missing between the bars";
    }
    EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(scalers[1]), "vk_pictures"), 1);

    // Interlaced pictures are the engine's to deinterlace and scale: handed
    // up as they come, and the same as the engine's.
    for (int position : {60, 75}) {
        SCOPED_TRACE("interlaced at " + std::to_string(position));
        Picture mine;
        ASSERT_NO_FATAL_FAILURE(likeTheEngines(position, mlt_image_yuv422, 0.5, 0.5, mine));
    }
    EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(scalers[2]), "vk_pictures"), 0);

    // The filter alone on a file producer, asked the way the engine's scaler
    // asks (the source size, the wanted size in rescale_width/height): it must
    // hand back exactly the wanted size in packed 4:2:2, of the right frame.
    // (In a timeline the engine's scaler would quietly fix a wrong size.)
    Mlt::Producer file(profile, "avformat", bars.c_str());
    ASSERT_TRUE(file.is_valid());
    Mlt::Filter alone(profile, "vk_scale");
    ASSERT_TRUE(alone.is_valid());
    alone.set("vk_planar420", 1);
    file.attach(alone);
    // The first picture only tells the filter that the source is progressive
    // and comes back as the producer made it (at the source size here, with
    // no engine scaler above).
    struct Asked {
        std::unique_ptr<Mlt::Frame> frame; // holds the picture
        const uint8_t* image = nullptr;
        mlt_image_format format = mlt_image_yuv422;
        int width = 320, height = 240; // the source size, as the engine's scaler asks
    };
    auto askAlone = [&file](int position, int ow, int oh) {
        Asked a;
        file.seek(position);
        a.frame.reset(file.get_frame());
        if (!a.frame)
            return a;
        a.frame->set("rescale_width", ow);
        a.frame->set("rescale_height", oh);
        a.frame->set("consumer.rescale", "bilinear");
        a.image = a.frame->get_image(a.format, a.width, a.height);
        return a;
    };
    for (int position : {0, 5, 22}) {
        SCOPED_TRACE("the filter alone at " + std::to_string(position));
        const Asked a = askAlone(position, w, h);
        ASSERT_NE(a.image, nullptr);
        EXPECT_EQ(a.format, mlt_image_yuv422);
        if (position == 0) {
            EXPECT_EQ(a.width, 320);
            EXPECT_EQ(a.height, 240);
            continue;
        }
        ASSERT_EQ(a.width, w);
        ASSERT_EQ(a.height, h);
        Picture mine;
        mine.bytes.assign(a.image, a.image + size_t(w) * h * 2);
        mine.width = w;
        mine.height = h;
        EXPECT_LT(meanDifference(mine, pictureAt(plain, position, w, h), false), 2.0);
        EXPECT_LT(meanDifference(mine, pictureAt(plain, position, w, h), true), 1.0);
        EXPECT_GT(meanDifference(mine, pictureAt(plain, position + 1, w, h), false), 15.0);
    }
    EXPECT_EQ(alone.get_int("vk_pictures"), 2);

    // A width whose pixel pairs do not come in whole groups of eight (854,
    // the 480-line MP4 profile): the last pixels of each row are packed too.
    // Frame n shows bit k of n as the k-th of ten bars, so the last bar is
    // black and the first is white in frame 5 and black in frame 22.
    const int nw = 854, nh = 480;
    for (int position : {5, 22}) {
        SCOPED_TRACE("854 wide at " + std::to_string(position));
        const Asked a = askAlone(position, nw, nh);
        ASSERT_NE(a.image, nullptr);
        ASSERT_EQ(a.format, mlt_image_yuv422);
        ASSERT_EQ(a.width, nw);
        ASSERT_EQ(a.height, nh);
        for (int y : {0, nh / 2, nh - 1}) {
            const uint8_t* row = a.image + size_t(y) * nw * 2;
            for (int x = nw - 6; x < nw; ++x) {
                EXPECT_NEAR(row[2 * x], 16, 4) << x << "," << y;
                EXPECT_NEAR(row[2 * x + 1], 128, 3) << x << "," << y;
            }
            EXPECT_NEAR(row[2 * 40], position == 5 ? 235 : 16, 6) << y;
        }
    }
    EXPECT_EQ(alone.get_int("vk_pictures"), 4);
}

// Asked for planar 4:2:0 (as the MP4 render asks), the instance of vk_scale
// above the engine's filters scales the decoded picture straight to 4:2:0
// where the engine fills the picture (the stretched bars), and converts the
// engine's packed picture where it letterboxes (the colour picture) or
// deinterlaces (the interlaced one). Every picture must be the engine's own
// 4:2:0 picture: the same frame, place and colours.
TEST_F(FastScaler, AboveTheEnginesFiltersItMakesThe420PictureStraightFromTheDecodedOne)
{
    ASSERT_NO_FATAL_FAILURE(makeTimelines());
    // Above all of the engine's filters of each file producer.
    std::vector<mlt_filter> above;
    for (int entry : {0, 1, 2}) {
        const std::vector<mlt_filter> filters = filtersOfEntry(*fast, entry);
        ASSERT_GE(filters.size(), 3u);
        EXPECT_EQ(serviceOf(filters.back()), "vk_scale");
        EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(filters.back()), "vk_above"), 1);
        above.push_back(filters.back());
    }
    const size_t luma = size_t(w) * h;
    for (int position : {0, 1, 13, 28}) { // the bars, stretched
        SCOPED_TRACE("bars at " + std::to_string(position));
        Picture mine;
        ASSERT_NO_FATAL_FAILURE(likeTheEngines(position, mlt_image_yuv420p, 2.0, 1.0, mine));
        EXPECT_GT(meanDifference(mine, pictureAt(*plain, position + 1, w, h, mlt_image_yuv420p), false), 15.0);
    }
    // All but the first picture (which tells that the source is progressive
    // and what size the engine wants) scaled straight to 4:2:0.
    EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(above[0]), "vk_pictures"), 3);
    for (int position : {30, 47}) { // the colour picture between black bars
        SCOPED_TRACE("colour at " + std::to_string(position));
        Picture mine;
        ASSERT_NO_FATAL_FAILURE(likeTheEngines(position, mlt_image_yuv420p, 2.0, 1.0, mine));
        const uint8_t* u = mine.bytes.data() + luma;
        for (int y : {10, h / 2, h - 10}) {
            for (int x : {0, 100, 150, 1130, 1200, 1278}) {
                EXPECT_NEAR(mine.bytes[size_t(y) * w + x], 16, 2) << x << "," << y;
                EXPECT_NEAR(u[size_t(y / 2) * (w / 2) + x / 2], 128, 2) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(above[1]), "vk_pictures"), 0);
    for (int position : {60, 75}) { // interlaced: the engine deinterlaces
        SCOPED_TRACE("interlaced at " + std::to_string(position));
        Picture mine;
        ASSERT_NO_FATAL_FAILURE(likeTheEngines(position, mlt_image_yuv420p, 0.5, 0.5, mine));
    }
    EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(above[2]), "vk_pictures"), 0);

    // Asked for the packed picture, the instance above hands it through: the
    // same picture as before.
    const Picture packed = pictureAt(*fast, 13, w, h), enginesPacked = pictureAt(*plain, 13, w, h);
    ASSERT_EQ(packed.bytes.size(), luma * 2);
    EXPECT_LT(meanDifference(packed, enginesPacked, false), 2.0);
    EXPECT_EQ(mlt_properties_get_int(MLT_FILTER_PROPERTIES(above[0]), "vk_pictures"), 3);
}
