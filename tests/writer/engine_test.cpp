// Start-up of the render engine inside the writer: only the needed modules
// load, no Qt 5 library is mapped next to Qt 6, and the writer's own blend is
// available to timelines.

#include "writer/mltengine.h"

#include <mlt++/Mlt.h>

#include <gtest/gtest.h>

#include <QtGlobal>
#include <filesystem>
#include <fstream>
#include <sstream>

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
