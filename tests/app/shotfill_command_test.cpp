// 映像で区間を埋める: the dialog's choices kept in the settings and read back, a fill from
// analyses (only the rows without video, files that cannot be used listed in one
// message, the empty rows in the status line, one undo step) and a folder without video.

#include "app/shotfillcommand.h"
#include "app/shotfilldialog.h"
#include "base/settingsstore.h"
#include "base/timetext.h"
#include "tests/support/scriptedui.h"
#include "tests/support/tablecheck.h"
#include "tests/support/testapp.h"
#include "timeline/editor.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vk {
namespace {

class MemoryStore final : public SettingsStore {
public:
    using SettingsStore::RegValueWrite;
    bool RegValueRead(const QString& name, QString& text) override
    {
        if (!values.contains(name))
            return false;
        text = values.value(name);
        return true;
    }
    bool RegValueWrite(const QString& name, const QString& value) override
    {
        values[name] = value;
        return true;
    }
    void RegKeyCreate() override {}
    void sync() override {}
    QMap<QString, QString> values;
};

TEST(ShotFillChoicesStored, DialogShowsAndReturnsTheStoredChoices)
{
    testsupport::EnsureGuiApp("shotfill_test");
    MemoryStore store;
    ShotFillChoices fresh;
    fresh.load(store);
    // Nothing stored: files, from the current row, only rows without video, 等速.
    EXPECT_FALSE(fresh.fromFolder);
    EXPECT_FALSE(fresh.draggedRange);
    EXPECT_TRUE(fresh.onlyEmpty);
    EXPECT_FALSE(fresh.varySpeed);

    ShotFillChoices c;
    c.fromFolder = true;
    c.files = {QStringLiteral("/v/a.mp4"), QStringLiteral("/v/b b.mov")};
    c.folder = QStringLiteral("/v/clips");
    c.draggedRange = true;
    c.onlyEmpty = false;
    c.varySpeed = true;
    c.seed = 4242;
    c.save(store);
    ShotFillChoices back;
    back.load(store);
    EXPECT_EQ(back.fromFolder, true);
    EXPECT_EQ(back.files, c.files);
    EXPECT_EQ(back.folder, c.folder);
    EXPECT_EQ(back.draggedRange, true);
    EXPECT_EQ(back.onlyEmpty, false);
    EXPECT_EQ(back.varySpeed, true);
    EXPECT_EQ(back.seed, 4242u);

    ShotFillDialog dialog(back);
    EXPECT_TRUE(dialog.folderButton()->isChecked());
    EXPECT_EQ(dialog.fileList()->count(), 2);
    EXPECT_EQ(dialog.folderEdit()->text(), c.folder);
    EXPECT_TRUE(dialog.draggedButton()->isChecked());
    EXPECT_FALSE(dialog.onlyEmptyBox()->isChecked());
    EXPECT_TRUE(dialog.varySpeedButton()->isChecked());
    // Changed in the dialog: what it hands back.
    dialog.filesButton()->setChecked(true);
    dialog.toEndButton()->setChecked(true);
    dialog.onlyEmptyBox()->setChecked(true);
    dialog.sameSpeedButton()->setChecked(true);
    dialog.shuffle();
    const ShotFillChoices out = dialog.choices();
    EXPECT_FALSE(out.fromFolder);
    EXPECT_FALSE(out.draggedRange);
    EXPECT_TRUE(out.onlyEmpty);
    EXPECT_FALSE(out.varySpeed);
    EXPECT_NE(out.seed, 4242u);
    EXPECT_EQ(out.files, c.files);
}

ShotAnalysis analysis(std::vector<std::pair<double, double>> shots, double fps = 30.0)
{
    ShotAnalysis a;
    a.fps = fps;
    a.width = 1280;
    a.height = 720;
    a.frames = int(shots.back().second * fps / 1000.0);
    a.durationMs = shots.back().second;
    for (const auto& [s, e] : shots) {
        Shot sh;
        sh.startMs = s;
        sh.endMs = e;
        sh.firstFrame = int(s * fps / 1000.0);
        sh.lastFrame = int(e * fps / 1000.0) - 1;
        a.shots.push_back(sh);
    }
    return a;
}

TEST(ShotFillCommandFill, OnlyEmptyRowsOneMessageStatusAndOneUndoStep)
{
    ScriptedUi ui;
    Editor editor(ui);
    MemoryStore store;
    // Six sections of 1 s; row 2 already has video.
    MakeSections(editor, {0, 1000, 2000, 3000, 4000, 5000}, 6000);
    Register(editor, 2, QStringLiteral("/v/kept.mp4"), 0, 1000);
    editor.RowRefresh(-1);
    editor.Grid().currentRow = 1;
    editor.setModified(false);
    const RowTable before = editor.Grid();

    ShotAnalysis broken;
    broken.reason = QStringLiteral("Damaged file");
    ShotAnalysis still;
    still.reason = stillReason();
    ShotAnalysis tooShort = analysis({{0, 400}});
    std::vector<std::pair<QString, ShotAnalysis>> analyses = {
        {QStringLiteral("/v/one.mp4"), analysis({{0, 2000}})},
        {QStringLiteral("/v/broken.mp4"), broken},
        {QStringLiteral("/v/still.png"), still},
        {QStringLiteral("/v/short.mp4"), tooShort},
    };
    ShotFillChoices choices;
    ShotFillCommand command(editor, store);
    const ShotFillResult r = command.fill(choices, analyses);
    // One 2 s shot holds two 1 s spans; five rows wanted one.
    EXPECT_EQ(r.filled, 2);
    EXPECT_EQ(r.empty, 3);
    EXPECT_EQ(r.skipped.size(), 3);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("broken.mp4")));
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("still.png")));
    EXPECT_TRUE(ui.messages[0].text.contains(QStringLiteral("short.mp4")));
    EXPECT_TRUE(editor.msg().contains(QStringLiteral("3 行は空のまま")));
    EXPECT_TRUE(editor.modified());
    // Row 2 kept its video; rows 1 and 3 got the shot from its first frame on.
    EXPECT_EQ(editor.Grid().videoFile(2), QStringLiteral("/v/kept.mp4"));
    EXPECT_EQ(editor.Grid().videoFile(1), QStringLiteral("/v/one.mp4"));
    EXPECT_EQ(CellText(editor.Grid(), 1, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:00:00"));
    // 等速 chosen: the rows play at the footage's own speed, not at a ratio of the grid.
    EXPECT_TRUE(editor.Grid().speed(1).isNormal());
    EXPECT_TRUE(editor.Grid().speed(3).isNormal());
    EXPECT_EQ(editor.Grid().mediaSize(1).value_or(MediaSize{}).width, 1280);
    EXPECT_EQ(editor.Grid().videoFile(3), QStringLiteral("/v/one.mp4"));
    EXPECT_EQ(CellText(editor.Grid(), 3, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
              QStringLiteral("00:00:01:00"));
    // One step back to the table before.
    editor.history().Undo();
    ASSERT_EQ(editor.Grid().Rows(), before.Rows());
    for (int row = 0; row < before.Rows(); ++row)
        for (int col = 0; col < Col::Count; ++col)
            EXPECT_EQ(CellText(editor.Grid(), row, col, editor.sndFrameInterval(), editor.sndLength()),
                      CellText(before, row, col, editor.sndFrameInterval(), editor.sndLength()))
                << row << "," << col;
}

// Every row of the range, and fewer shots than rows: a row that keeps its video keeps
// its span, and no new span of the same file may overlap it.
TEST(ShotFillCommandFill, RowsThatKeepTheirVideoKeepTheirSpans)
{
    ScriptedUi ui;
    Editor editor(ui);
    MemoryStore store;
    MakeSections(editor, {0, 1000, 2000}, 3000);
    const QString one = QStringLiteral("/v/one.mp4");
    Register(editor, 1, QStringLiteral("/v/other.mp4"), 0, 1000);
    Register(editor, 2, QStringLiteral("/v/other.mp4"), 1000, 2000);
    Register(editor, 3, one, 0, 1000);
    editor.RowRefresh(-1);
    editor.Grid().currentRow = 1;
    ShotFillChoices choices;
    choices.onlyEmpty = false;
    ShotFillCommand command(editor, store);
    // One shot of one.mp4, just what row 3 already shows.
    const ShotFillResult r = command.fill(choices, {{one, analysis({{0, 1000}})}});
    std::vector<std::pair<int, int>> spans;
    for (int row = 1; row <= 3; ++row) {
        if (editor.Grid().videoFile(row) != one)
            continue;
        const int interval = editor.Grid().frameInterval(row).value_or(0);
        spans.push_back(
            {TimeTextToMsec(CellText(editor.Grid(), row, Col::InPoint, editor.sndFrameInterval(), editor.sndLength()),
                            interval),
             TimeTextToMsec(CellText(editor.Grid(), row, Col::OutPoint, editor.sndFrameInterval(), editor.sndLength()),
                            interval)});
    }
    for (size_t i = 0; i < spans.size(); ++i)
        for (size_t j = i + 1; j < spans.size(); ++j)
            EXPECT_TRUE(spans[i].second <= spans[j].first || spans[j].second <= spans[i].first)
                << "spans of one.mp4 overlap";
    EXPECT_EQ(r.filled + r.kept + r.empty, 3);
    EXPECT_TRUE(editor.msg().contains(QStringLiteral("元の映像のまま")));
}

TEST(ShotFillCommandFill, FolderWithoutVideo)
{
    QTemporaryDir dir;
    QFile text(dir.filePath(QStringLiteral("notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("words");
    text.close();
    EXPECT_TRUE(videoFilesIn(dir.path()).isEmpty());
    QFile clip(dir.filePath(QStringLiteral("b.MP4")));
    ASSERT_TRUE(clip.open(QIODevice::WriteOnly));
    clip.close();
    EXPECT_EQ(videoFilesIn(dir.path()), QStringList{dir.filePath(QStringLiteral("b.MP4"))});
}

} // namespace
} // namespace vk
