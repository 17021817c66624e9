// The video registration panel driven with the scripted player and dialogs: the
// registrations into the table and showing the selected row's video.
#include "tests/media/videopanel_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <tuple>

namespace vk {
namespace {

// ---- registration -------------------------------------------------------------------------

TEST_F(VideoPanelTest, RegistrationWritesTheRangeAndAdvances)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04, 720, 576));
    markRange(1000, 3000);
    const RowTable before = editor.Grid();
    editor.setModified(false);

    panel.keyCommand(Key::S, 0);

    EXPECT_EQ(cell(1, Col::VideoFile), QStringLiteral("/media/a.mp4"));
    EXPECT_EQ(cell(1, Col::InPoint), QStringLiteral("00:00:01:00"));
    EXPECT_EQ(cell(1, Col::OutPoint), QStringLiteral("00:00:03:00"));
    EXPECT_EQ(cell(1, Col::VideoInterval), QStringLiteral("40"));
    EXPECT_EQ(cell(1, Col::Width), QStringLiteral("720"));
    EXPECT_EQ(cell(1, Col::Height), QStringLiteral("576"));
    EXPECT_EQ(cell(1, Col::Speed), QStringLiteral("2x")); // 2000 ms over a 1000 ms section
    EXPECT_TRUE(cell(1, Col::Effect).isEmpty());
    EXPECT_TRUE(editor.modified());
    // The snapshot was taken before the change.
    EXPECT_EQ(editor.history().undogrid().videoFile(1), before.videoFile(1));
    EXPECT_EQ(editor.history().undogrid().Rows(), before.Rows());
    // Advanced to the next row.
    EXPECT_EQ(editor.Grid().currentRow, 2);
    EXPECT_EQ(editor.Grid().currentCol, 0);
    EXPECT_EQ(editor.Grid().marker(1), kMarkerPlain);
    EXPECT_EQ(editor.Grid().marker(2), kMarkerSelected);
    EXPECT_EQ(ui.visibleRequests, QList<int>{2});
    EXPECT_TRUE(TableInvariants(editor));
    // Other rows untouched.
    for (int r = 2; r <= editor.lastRow(); ++r)
        EXPECT_TRUE(cell(r, Col::VideoFile).isEmpty()) << r;
}

TEST_F(VideoPanelTest, RegistrationOnTheLastRowKeepsIt)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(0, 4000);
    editor.selection().SelectRow(4);
    panel.VidRegister();
    EXPECT_EQ(cell(4, Col::InPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(cell(4, Col::OutPoint), QStringLiteral("00:00:04:00"));
    EXPECT_EQ(cell(4, Col::Speed), QStringLiteral("2x")); // the last section runs to 5000
    EXPECT_EQ(editor.Grid().currentRow, 4);
    EXPECT_EQ(editor.Grid().marker(4), kMarkerSelected);
    EXPECT_TRUE(TableInvariants(editor));
}

TEST_F(VideoPanelTest, RegistrationNeedsAFileASoundClipAndASpan)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(1000, 2000);
    const RowTable before = editor.Grid();

    // The undo point a refused registration must keep: no step opened since.
    const std::uint64_t step = editor.history().generation();

    // No sound clip: the message, the table as it was, the undo point kept.
    editor.setSoundClip(0, 33);
    panel.VidRegister();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, kNoSound);
    EXPECT_EQ(ui.messages[0].icon, UserDialogs::Icon::Warning);
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_EQ(editor.history().generation(), step);
    // Continuous registration gives the same message.
    panel.VidContRegister();
    EXPECT_EQ(ui.messages.size(), 2);
    EXPECT_EQ(editor.Grid(), before);
    editor.setSoundClip(5000, 33);

    // Empty file box: nothing at all.
    panel.setFileText(QString());
    panel.VidRegister();
    panel.VidContRegister();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_EQ(ui.messages.size(), 2);
    panel.setFileText(QStringLiteral("/media/a.mp4"));

    // A zero-length range on a movie: nothing, no message.
    panel.scrollTo(1000);
    panel.selEnd(); // removes the range
    ASSERT_EQ(panel.slider().selLength, 0);
    panel.VidRegister();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_EQ(ui.messages.size(), 2);
    EXPECT_FALSE(editor.modified());
    // None of the refused presses of S took the place of the undo point.
    EXPECT_EQ(editor.history().generation(), step);
}

TEST_F(VideoPanelTest, RegistrationWritesTheCurrentFileText)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(0, 1000);
    panel.setFileText(QStringLiteral("/media/edited-name.mp4"));
    panel.VidRegister();
    EXPECT_EQ(cell(1, Col::VideoFile), QStringLiteral("/media/edited-name.mp4"));
}

TEST_F(VideoPanelTest, RegistrationKeepsTheEffectAndReplacesTheSpeed)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    editor.Grid().setEffect(2, QStringLiteral("ﾌｪｰﾄﾞ"));
    editor.Grid().setEffectLength(2, 1500);
    Register(editor, 2, QStringLiteral("/media/old.mp4"), 0, 500, 33);
    editor.Grid().setSpeed(2, SpeedSetting::normal());
    editor.selection().SelectRow(2);
    markRange(2000, 2400);
    panel.VidRegister();
    EXPECT_EQ(cell(2, Col::VideoFile), QStringLiteral("/media/a.mp4"));
    EXPECT_EQ(cell(2, Col::Effect), QStringLiteral("ﾌｪｰﾄﾞ"));
    EXPECT_EQ(cell(2, Col::TransMsec), QStringLiteral("1500"));
    EXPECT_EQ(cell(2, Col::Speed), QStringLiteral("0.4x")); // 400 ms over a 1000 ms section
}

TEST_F(VideoPanelTest, StillRegistersZeroPointsWhateverTheRange)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(1000, 3000);
    ASSERT_TRUE(loadStill(QStringLiteral("/media/pic.png"), 320, 240));
    EXPECT_TRUE(panel.rangeText().isEmpty());
    panel.VidRegister();
    EXPECT_EQ(cell(1, Col::VideoFile), QStringLiteral("/media/pic.png"));
    EXPECT_EQ(cell(1, Col::InPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(cell(1, Col::OutPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(cell(1, Col::Width), QStringLiteral("320"));
    EXPECT_EQ(cell(1, Col::Height), QStringLiteral("240"));
    EXPECT_EQ(cell(1, Col::Speed), QStringLiteral("0x"));
    EXPECT_EQ(editor.Grid().currentRow, 2);
}

TEST_F(VideoPanelTest, ContinuousRegistrationFillsConsecutiveRows)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(500, 600);
    panel.scrollTo(500);
    const RowTable before = editor.Grid();
    editor.setModified(false);
    panel.PlayPause();

    // Taps at 1300, 2100 and 2900 ms of the video.
    for (int tap : {1300, 2100, 2900}) {
        player.position = tap;
        panel.tick();
        panel.keyCommand(Key::A, 0);
    }
    EXPECT_EQ(cell(1, Col::InPoint), QStringLiteral("00:00:00:12")); // 500 ms at 40 ms frames
    EXPECT_EQ(cell(1, Col::OutPoint), QStringLiteral("00:00:01:07"));
    EXPECT_EQ(cell(2, Col::InPoint), QStringLiteral("00:00:01:07"));
    EXPECT_EQ(cell(2, Col::OutPoint), QStringLiteral("00:00:02:02"));
    EXPECT_EQ(cell(3, Col::InPoint), QStringLiteral("00:00:02:02"));
    EXPECT_EQ(cell(3, Col::OutPoint), QStringLiteral("00:00:02:22"));
    EXPECT_EQ(cell(1, Col::Speed), QStringLiteral("0.8x"));
    EXPECT_EQ(editor.Grid().currentRow, 4);
    EXPECT_EQ(panel.slider().selStart, 2900);
    EXPECT_EQ(panel.slider().selLength, 7100);
    EXPECT_TRUE(editor.modified());
    // Still playing.
    EXPECT_TRUE(panel.timerActive());
    EXPECT_TRUE(TableInvariants(editor));
    // The three registrations of the play are one step.
    panel.PlayPause();
    editor.history().Undo();
    EXPECT_EQ(editor.Grid(), before);
    EXPECT_FALSE(editor.history().canUndo());
}

TEST_F(VideoPanelTest, ContinuousRegistrationSwapsAReversedSpan)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(4000, 5000);
    editor.selection().SelectRow(2);
    panel.scrollTo(2000);
    panel.VidContRegister();
    EXPECT_EQ(cell(2, Col::InPoint), QStringLiteral("00:00:02:00"));
    EXPECT_EQ(cell(2, Col::OutPoint), QStringLiteral("00:00:04:00"));
    // The range starts at the larger value.
    EXPECT_EQ(panel.slider().selStart, 4000);
    EXPECT_EQ(panel.slider().selLength, 6000);
    EXPECT_EQ(editor.Grid().currentRow, 3);

    // The slider at the range start: nothing.
    const RowTable before = editor.Grid();
    panel.scrollTo(4000);
    panel.VidContRegister();
    EXPECT_EQ(editor.Grid(), before);
}

TEST_F(VideoPanelTest, RegistrationIntoATableWithoutRowsDoesNothing)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    markRange(1000, 2000);
    editor.Grid().setRows(1);
    editor.Grid().currentRow = 1;
    panel.VidRegister();
    panel.VidContRegister();
    EXPECT_EQ(editor.Grid().Rows(), 1);
    EXPECT_FALSE(editor.modified());
}

TEST_F(VideoPanelTest, SolidColourLoadsFromTheSlidesFolderAndRegisters)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    panel.setApplicationFolder(dir.path());
    player.info = MediaInfo{};
    player.info.width = 64;
    player.info.height = 48;
    player.info.secondsPerFrame = 0.04;

    panel.solidColor(1);
    const QString expected = dir.path() + QStringLiteral("/Slides/Grey.bmp");
    EXPECT_EQ(player.openedPath, expected);
    EXPECT_EQ(panel.fileText(), expected);
    EXPECT_EQ(cell(1, Col::VideoFile), expected);
    EXPECT_EQ(cell(1, Col::InPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(cell(1, Col::OutPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(editor.Grid().currentRow, 2);

    panel.solidColor(0);
    EXPECT_EQ(cell(2, Col::VideoFile), dir.path() + QStringLiteral("/Slides/Black.bmp"));
    panel.setApplicationFolder(dir.path() + QStringLiteral("/"));
    panel.solidColor(2);
    EXPECT_EQ(cell(3, Col::VideoFile), dir.path() + QStringLiteral("/Slides/White.bmp"));

    // A still that cannot be opened is reported and not registered.
    player.openResult = -1;
    panel.solidColor(0);
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(cell(4, Col::VideoFile).isEmpty());
    EXPECT_EQ(editor.Grid().currentRow, 4);

    // Unset, it is the application's own folder.
    panel.setApplicationFolder(QString());
    EXPECT_EQ(panel.applicationFolder(), QCoreApplication::applicationDirPath());
}

TEST_F(VideoPanelTest, DroppedStillIsLoadedAndRegistered)
{
    player.info = MediaInfo{};
    player.info.width = 200;
    player.info.height = 150;
    editor.selection().SelectRow(3);
    panel.RegisterDroppedStill(QStringLiteral("/media/photo.jpg"));
    EXPECT_EQ(panel.fileText(), QStringLiteral("/media/photo.jpg"));
    EXPECT_EQ(cell(3, Col::VideoFile), QStringLiteral("/media/photo.jpg"));
    EXPECT_EQ(cell(3, Col::OutPoint), QStringLiteral("00:00:00:00"));
    EXPECT_EQ(cell(3, Col::Width), QStringLiteral("200"));
    EXPECT_EQ(editor.Grid().currentRow, 4);
}

// ---- row selection ----------------------------------------------------------------------

TEST_F(VideoPanelTest, ShowRowVideoLoadsAtTheInPointWithTheRowsRange)
{
    Register(editor, 2, QStringLiteral("/media/row.mp4"), 1000, 2480, 40, 640, 360);
    player.info = MediaInfo{};
    player.info.durationMsec = 9000;
    player.info.secondsPerFrame = 0.04;
    player.info.width = 640;
    player.info.height = 360;
    player.state = MediaPlayerEngine::Paused;
    panel.PlayPause();
    ASSERT_TRUE(panel.timerActive());
    player.clearCalls();

    panel.ShowRowVideo(2);
    EXPECT_EQ(panel.fileText(), QStringLiteral("/media/row.mp4"));
    EXPECT_EQ(player.openedPath, QStringLiteral("/media/row.mp4"));
    const QStringList afterLoad = player.calls.mid(player.calls.indexOf(QStringLiteral("GetMediaInfo")));
    EXPECT_EQ(afterLoad.mid(0, 5),
              (QStringList{QStringLiteral("GetMediaInfo"), QStringLiteral("Play(0)"), QStringLiteral("Pause(-1,0)"),
                           QStringLiteral("Stop"), QStringLiteral("Pause(-1,0)")}));
    EXPECT_FALSE(panel.timerActive());
    EXPECT_EQ(player.position, 1000);
    EXPECT_EQ(panel.position(), 1000);
    const auto& s = panel.slider();
    EXPECT_EQ(s.value, 1000);
    EXPECT_EQ(s.selStart, 1000);
    EXPECT_EQ(s.selLength, 1480);
    EXPECT_TRUE(s.selShown);
    EXPECT_EQ(s.min, 0);
    EXPECT_EQ(s.max, 9000);
    EXPECT_EQ(s.tick, 90);
    EXPECT_EQ(panel.rangeText(), QStringLiteral("選択=1480ms"));
    EXPECT_TRUE(panel.controls().sliderVisible);
    // S now registers exactly that span again.
    editor.selection().SelectRow(3);
    panel.VidRegister();
    EXPECT_EQ(cell(3, Col::InPoint), cell(2, Col::InPoint));
    EXPECT_EQ(cell(3, Col::OutPoint), cell(2, Col::OutPoint));
}

// A row of the movie the player already holds is a seek to its in point, not a new load,
// and leaves the panel as a load would; a file changed on disk since, or another file,
// is loaded again.
TEST_F(VideoPanelTest, ShowRowVideoOfTheHeldMovieSeeksWithoutALoadUnlessTheFileChanged)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("held.mp4"));
    auto write = [&](const QByteArray& bytes) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write("first take"));
    Register(editor, 2, file, 1000, 2480, 40, 640, 360);
    Register(editor, 3, file, 6000, 4000, 40, 640, 360);
    ASSERT_TRUE(loadMovie(file, 9000, 0.04, 640, 360));

    // The state a fresh load of row 3 gives, to compare the seek with.
    struct Shown {
        int position, playerPosition, value, selStart, selLength, max, tick;
        QString range;
        bool operator==(const Shown& o) const
        {
            return std::tie(position, playerPosition, value, selStart, selLength, max, tick, range) ==
                   std::tie(o.position, o.playerPosition, o.value, o.selStart, o.selLength, o.max, o.tick, o.range);
        }
    };
    auto shown = [&] {
        const auto& s = panel.slider();
        return Shown{panel.position(), player.position, s.value, s.selStart,
                     s.selLength,      s.max,           s.tick,  panel.rangeText()};
    };
    ScriptedUi otherUi;
    Editor other{otherUi};
    MakeSections(other, {0, 1000, 2000, 3000}, 5000, 33);
    Register(other, 3, file, 6000, 4000, 40, 640, 360);
    FakeEngine otherPlayer;
    otherPlayer.info = player.info;
    VideoPanel fresh{other, otherPlayer};
    fresh.formLoad();
    fresh.ShowRowVideo(3);
    const auto& fs = fresh.slider();
    const Shown loaded{fresh.position(), otherPlayer.position, fs.value, fs.selStart, fs.selLength, fs.max,
                       fs.tick,          fresh.rangeText()};
    ASSERT_EQ(loaded.selStart, 4000);
    ASSERT_EQ(loaded.playerPosition, 6000);

    // Playing, then row 3 of the same file: no load, the play stops, the row's range.
    panel.PlayPause();
    ASSERT_TRUE(panel.timerActive());
    player.clearCalls();
    panel.ShowRowVideo(3);
    EXPECT_TRUE(player.callsStartingWith(QStringLiteral("Open")).isEmpty())
        << player.calls.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(player.callsStartingWith(QStringLiteral("Close")).isEmpty());
    EXPECT_FALSE(player.callsStartingWith(QStringLiteral("Stop")).isEmpty());
    EXPECT_FALSE(panel.timerActive());
    EXPECT_TRUE(shown() == loaded);
    EXPECT_EQ(panel.fileText(), file);

    // Row 2, also of the held file: again only a seek.
    player.clearCalls();
    panel.ShowRowVideo(2);
    EXPECT_TRUE(player.callsStartingWith(QStringLiteral("Open")).isEmpty());
    EXPECT_EQ(player.position, 1000);
    EXPECT_EQ(panel.slider().selStart, 1000);
    EXPECT_EQ(panel.slider().selLength, 1480);

    // The file replaced on disk (another size): loaded again.
    ASSERT_TRUE(write("a longer second take"));
    player.clearCalls();
    panel.ShowRowVideo(3);
    EXPECT_EQ(player.callsStartingWith(QStringLiteral("Open")).size(), 1);
    EXPECT_TRUE(shown() == loaded);

    // Another file in between: the held movie is that one, so row 3 loads again.
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/other.mp4"), 9000, 0.04, 640, 360));
    player.clearCalls();
    panel.ShowRowVideo(3);
    EXPECT_EQ(player.callsStartingWith(QStringLiteral("Open")).size(), 1);
    EXPECT_EQ(player.openedPath, file);
}

TEST_F(VideoPanelTest, ShowRowVideoOfAStillAndOfAnEmptyRow)
{
    Register(editor, 3, QStringLiteral("/media/pic.png"), 0, 0, 40, 320, 240);
    player.info = MediaInfo{};
    player.info.width = 320;
    player.info.height = 240;
    panel.ShowRowVideo(3);
    EXPECT_TRUE(panel.isStill());
    EXPECT_FALSE(panel.controls().sliderVisible);
    EXPECT_TRUE(panel.rangeText().isEmpty());

    player.clearCalls();
    panel.ShowRowVideo(1); // no registration
    EXPECT_TRUE(player.calls.isEmpty());
    EXPECT_EQ(panel.fileText(), QStringLiteral("/media/pic.png"));
}

TEST_F(VideoPanelTest, ShowRowVideoOfAMissingFileReportsAndStops)
{
    Register(editor, 2, QStringLiteral("/media/gone.mp4"), 1000, 2000, 40);
    player.openResult = -1;
    panel.ShowRowVideo(2);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(ui.messages[0].text, QStringLiteral("/media/gone.mp4\nファイルが見つかりません。"));
    EXPECT_TRUE(player.callsStartingWith(QStringLiteral("Stop")).isEmpty());
}

TEST_F(VideoPanelTest, KeyTableDispatch)
{
    ASSERT_TRUE(loadMovie(QStringLiteral("/media/a.mp4"), 10000, 0.04));
    panel.scrollTo(3000);
    panel.keyCommand(Key::Z, 0);
    EXPECT_EQ(panel.slider().selStart, 3000);
    panel.scrollTo(4000);
    panel.keyCommand(Key::X, 0);
    EXPECT_EQ(panel.slider().selLength, 1000);
    panel.keyCommand(Key::Space, 0);
    EXPECT_TRUE(panel.timerActive());
    panel.keyCommand(Key::Enter, 0);
    EXPECT_FALSE(panel.timerActive());
    // Keys the panel does not know change nothing.
    const VideoPanel::Slider before = panel.slider();
    player.clearCalls();
    panel.keyCommand(Key::Q, 0);
    EXPECT_TRUE(player.calls.isEmpty());
    EXPECT_EQ(panel.slider().value, before.value);
}

} // namespace
} // namespace vk
