#pragma once
// The video registration panel on the scripted player and dialogs: the fixture and the
// messages shared by its tests.
#include "base/numbers.h"
#include "media/videopanel.h"
#include "tests/support/fakeengine.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QString>
#include <gtest/gtest.h>

namespace vk {

inline const QString kNoFile = QStringLiteral("入力映像ファイルが指定されていません。");
inline const QString kBadFormat = QStringLiteral("入力ファイル形式が正しくありません。");
inline const QString kNoPicture =
    QStringLiteral("入力ファイル形式が正しくありません。動画または静止画ファイルを指定してください。");
inline const QString kNoSound = QStringLiteral("音声ﾌｧｲﾙが正しく読み込まれていません。");

class VideoPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::EnsureCoreApp("panels_video_tests"); }

    void SetUp() override
    {
        // Four sections of 1000 ms and a last one of 2000 ms, row 1 selected.
        MakeSections(editor, {0, 1000, 2000, 3000}, 5000, 33);
        editor.selection().SelectRow(1);
        panel.formLoad();
        ui.visibleRequests.clear();
    }

    // Loads a moving video of `length` ms through the file box.
    bool loadMovie(const QString& path, int length = 10000, double spf = 0.04, int w = 640, int h = 480)
    {
        player.info = MediaInfo{};
        player.info.durationMsec = length;
        player.info.secondsPerFrame = spf;
        player.info.width = w;
        player.info.height = h;
        panel.setFileText(path);
        return panel.VidFileLoad(path);
    }

    bool loadStill(const QString& path, int w = 320, int h = 240)
    {
        player.info = MediaInfo{};
        player.info.durationMsec = 0;
        player.info.secondsPerFrame = 0.04;
        player.info.width = w;
        player.info.height = h;
        panel.setFileText(path);
        return panel.VidFileLoad(path);
    }

    // Sets the slider as the user would and marks the range with Z and X.
    void markRange(int start, int end)
    {
        panel.scrollTo(start);
        panel.selStart();
        panel.scrollTo(end);
        panel.selEnd();
    }

    QString cell(int row, int col) const
    {
        return CellText(editor.Grid(), row, col, editor.sndFrameInterval(), editor.sndLength());
    }

    ScriptedUi ui;
    Editor editor{ui};
    FakeEngine player;
    VideoPanel panel{editor, player};
};

} // namespace vk
