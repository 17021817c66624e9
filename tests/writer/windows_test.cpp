// The writer's two windows, off screen: what they say (the editor's language,
// Japanese), what Cancel does to the progress window, and how the preview
// reads its list of timed test keys.

#include "writer/mltengine.h"
#include "writer/previewwindow.h"
#include "writer/progresswindow.h"
#include "writer/renderjob.h"

#include <mlt++/Mlt.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <memory>

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "writer_windows_test";
    static char* argv[] = {name, nullptr};
    static QApplication a(argc, argv);
    return a;
}

QStringList labelTexts(const QWidget& w)
{
    QStringList out;
    for (const QLabel* l : w.findChildren<QLabel*>())
        out << l->text();
    return out;
}

const QPushButton* button(const QWidget& w, const QString& text)
{
    for (const QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

class WriterWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        std::string error;
        ASSERT_TRUE(m_engine.start(error)) << error;
        vk::OutputSettings o;
        o.kind = vk::OutputKind::RawAvi;
        o.width = 320;
        o.height = 240;
        m_profile = vk::makeProfile(o);
    }

    vk::MltEngine m_engine;
    std::unique_ptr<Mlt::Profile> m_profile;
};

} // namespace

TEST_F(WriterWindows, ProgressWindowSpeaksJapaneseAndCancelSaysSo)
{
    const std::string target = "/tmp/出力 test.avi";
    vk::RenderJob job(*m_profile, "<mlt/>", vk::OutputSettings{}, vk::FrameRange{0, 9}, target);
    vk::ProgressWindow window(job);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("T-VideoWrite"));
    const QStringList labels = labelTexts(window);
    EXPECT_TRUE(labels.contains(QStringLiteral("書き込み中:"))) << labels.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(labels.contains(QString::fromStdString(target)));
    EXPECT_TRUE(labels.contains(QStringLiteral("経過時間:")));
    EXPECT_TRUE(labels.contains(QStringLiteral("残り時間:")));
    const QPushButton* cancel = button(window, QStringLiteral("キャンセル"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_TRUE(cancel->isEnabled());

    window.cancel();
    EXPECT_TRUE(job.cancelled());
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_TRUE(labelTexts(window).contains(QStringLiteral("キャンセル中...")));

    // The job never ran, so the first poll reports the end.
    int finished = 0;
    QObject::connect(&window, &vk::ProgressWindow::finished, [&finished] { ++finished; });
    window.begin();
    EXPECT_TRUE(window.done());
    EXPECT_EQ(finished, 1);
    // The remaining time keeps saying that it is cancelling.
    EXPECT_TRUE(labelTexts(window).contains(QStringLiteral("キャンセル中...")));
}

TEST_F(WriterWindows, PreviewWindowSpeaksJapanese)
{
    vk::PreviewWindow window(*m_profile, "<mlt/>", vk::FrameRange{30, 89});
    EXPECT_EQ(window.windowTitle(), QStringLiteral("T-VideoWrite - プレビュー"));
    const QPushButton* play = button(window, QStringLiteral("一時停止"));
    const QPushButton* close = button(window, QStringLiteral("閉じる"));
    ASSERT_NE(play, nullptr);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(play->toolTip(), QStringLiteral("再生／一時停止 (Space)"));
    EXPECT_EQ(close->toolTip(), QStringLiteral("閉じる (Esc)"));
    // The read-out starts at the range's first frame (1 s at 30 fps) out of its end.
    EXPECT_TRUE(labelTexts(window).contains(QStringLiteral("0:01.00 / 0:03.00")))
        << labelTexts(window).join(QLatin1Char('|')).toStdString();
}

TEST(WriterPreviewTestKeys, ParsesTheListAndRefusesWhatItDoesNotKnow)
{
    std::string error;
    const auto keys = vk::PreviewWindow::parseTestKeys("space@500,look@900,,esc@2500", error);
    EXPECT_TRUE(error.empty()) << error;
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].name, "space");
    EXPECT_EQ(keys[0].afterMs, 500);
    EXPECT_EQ(keys[1].name, "look");
    EXPECT_EQ(keys[1].afterMs, 900);
    EXPECT_EQ(keys[2].name, "esc");
    EXPECT_EQ(keys[2].afterMs, 2500);

    for (const char* bad : {"enter@100", "space", "space@", "space@-5", "space@1x", "esc@99999999"}) {
        error.clear();
        EXPECT_TRUE(vk::PreviewWindow::parseTestKeys(bad, error).empty()) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << bad << ": " << error;
    }
}
