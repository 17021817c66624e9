// The output button of the real main window, offscreen, on scripted players: "AVI 作成"
// opens the save dialog (answered from a timer), writes the timeline and parameters
// documents into the temporary folder and starts T-VideoWrite from the application
// folder. The writer here is a stand-in shell script that writes its arguments, one per
// line, next to itself. Both folders have a blank in their names, so the parameters
// path must arrive as one argument.
#include "app/application.h"
#include "app/frmmain.h"
#include "media/soundpanel.h"
#include "render/outputdriver.h"
#include "tests/support/dialoganswers.h"
#include "tests/support/fakeapp.h"
#include "tests/support/fakeengine.h"
#include "tests/support/pump.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <pugixml.hpp>

using namespace vk;

namespace {

using testsupport::ChildText;
using testsupport::DialogAnswers;
using testsupport::ReadLines;

// Waits up to `ms` for a file to appear, letting the event loop run.
bool waitForFile(const QString& path, int ms)
{
    return testsupport::PumpUntil([&path] { return QFileInfo::exists(path); }, ms);
}

struct OutputButtonTest : ::testing::Test, testsupport::FakeApp {
    QTemporaryDir root;
    QString appFolder;
    QString tempFolder;
    QString writer;
    QString argsFile;
    QString sound;
    QString video;

    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        appFolder = root.filePath(QStringLiteral("app folder"));
        tempFolder = root.filePath(QStringLiteral("temp folder"));
        ASSERT_TRUE(QDir().mkpath(appFolder));
        ASSERT_TRUE(QDir().mkpath(tempFolder));
        qputenv("TEMP", QFile::encodeName(tempFolder));
        writer = appFolder + QStringLiteral("/T-VideoWrite");
        argsFile = appFolder + QStringLiteral("/args.txt");
        writeStubWriter();
        sound = root.filePath(QStringLiteral("song.wav"));
        video = root.filePath(QStringLiteral("dance.mp4"));
        for (const QString& path : {sound, video}) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }

        startApp();
        window->outputDriver().setApplicationFolder(appFolder);

        // A 10 s clip loaded through the sound clip panel (which enables the output
        // buttons), cut into three sections, the second one with a video registered.
        ASSERT_EQ(engines.size(), 4u);
        engines[0]->info.durationMsec = 10000;
        window->soundPanel().SndFileOpen(sound);
        Editor& ed = window->editor();
        ASSERT_EQ(ed.sndFile(), sound);
        ASSERT_EQ(ed.sndLength(), 10000);
        ASSERT_EQ(ed.sndFrameInterval(), 33);
        MakeSections(ed, {0, 2000, 5000}, 10000, 33);
        Register(ed, 2, video, 0, 3000);
        ed.RowRefresh(-1);
        ASSERT_TRUE(TableInvariants(ed));
    }

    void TearDown() override
    {
        if (window) {
            window->editor().setModified(false);
            window->close();
        }
        app.reset();
        window = nullptr;
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"))
            .clear();
    }

    // The stand-in writer: a line in runs.txt for each run as it starts, then its
    // arguments, one per line, written whole into args.txt.
    void writeStubWriter()
    {
        QFile f(writer);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n"
                "echo run >> \"$(dirname \"$0\")/runs.txt\"\n"
                "out=\"$(dirname \"$0\")/args.txt\"\n"
                "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
        f.close();
        ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
};

} // namespace

TEST_F(OutputButtonTest, CreateAviWritesBothDocumentsAndStartsTheWriterWithTheParamsPath)
{
    const QString out = root.filePath(QStringLiteral("out.avi"));
    const QString clips = tempFolder + QStringLiteral("/T-KaDro-Clips.xml");
    const QString params = tempFolder + QStringLiteral("/T-KaDro-Params.xml");
    auto* button = window->control<QPushButton>("cmdCreateAVI");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("AVI 作成"));

    DialogAnswers answers(out);
    button->click();

    ASSERT_EQ(answers.fileDialogTitles, QStringList{QStringLiteral("名前を付けて保存")});
    EXPECT_TRUE(answers.messages.isEmpty()) << answers.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(answers.questions.isEmpty());
    EXPECT_EQ(window->editor().outputPath(), out);

    ASSERT_TRUE(QFileInfo::exists(clips));
    ASSERT_TRUE(QFileInfo::exists(params));
    EXPECT_EQ(window->outputDriver().temporaryDocuments(), (QStringList{clips, params}));
    EXPECT_EQ(ChildText(params, "XtlFilePath"), clips);
    EXPECT_EQ(ChildText(params, "AviFileName"), out);
    // The whole clip at 1.0: 0 to its length.
    EXPECT_EQ(ChildText(params, "StartPoint"), QStringLiteral("0"));
    EXPECT_EQ(ChildText(params, "EndPoint"), QStringLiteral("10000"));
    // The timeline names the sound clip and the registered video.
    QFile clipsFile(clips);
    ASSERT_TRUE(clipsFile.open(QIODevice::ReadOnly));
    const QString timeline = QString::fromUtf8(clipsFile.readAll());
    EXPECT_TRUE(timeline.contains(video)) << timeline.toStdString();
    EXPECT_TRUE(timeline.contains(sound)) << timeline.toStdString();

    // The writer got the parameters path as its single argument, blank and all.
    ASSERT_TRUE(waitForFile(argsFile, 5000)) << "the writer was not started";
    EXPECT_EQ(ReadLines(argsFile), QStringList{params});

    // Closing the window takes the temporary documents away.
    window->editor().setModified(false);
    window->close();
    EXPECT_FALSE(QFileInfo::exists(clips));
    EXPECT_FALSE(QFileInfo::exists(params));
}

TEST_F(OutputButtonTest, AMissingWriterIsReportedWithItsPath)
{
    const QString out = root.filePath(QStringLiteral("out.avi"));
    auto* button = window->control<QPushButton>("cmdCreateAVI");
    ASSERT_NE(button, nullptr);
    DialogAnswers answers(out);

    button->click();
    ASSERT_TRUE(waitForFile(argsFile, 5000)) << "the writer was not started";
    EXPECT_TRUE(answers.messages.isEmpty());

    // Second press: the writer is gone. The output path was emptied, so the dialog
    // asks again; the documents are written and the failed start is reported.
    ASSERT_TRUE(QFile::remove(writer));
    ASSERT_TRUE(QFile::remove(argsFile));
    const QString params = tempFolder + QStringLiteral("/T-KaDro-Params.xml");
    ASSERT_TRUE(QFile::remove(params));
    button->click();

    EXPECT_EQ(answers.fileDialogTitles.size(), 2);
    ASSERT_EQ(answers.messages.size(), 1);
    EXPECT_EQ(answers.messages.first(),
              QStringLiteral("T-VideoWrite を起動できません。") + QStringLiteral("\r\n") + writer);
    EXPECT_EQ(answers.icons.first(), QMessageBox::Warning);
    EXPECT_TRUE(QFileInfo::exists(params));
    EXPECT_EQ(window->editor().outputPath(), out);
}

TEST_F(OutputButtonTest, CancellingTheSaveDialogWritesNothing)
{
    const QString params = tempFolder + QStringLiteral("/T-KaDro-Params.xml");
    auto* button = window->control<QPushButton>("cmdCreateAVI");
    ASSERT_NE(button, nullptr);
    // Answer the dialog with reject instead of a file.
    QTimer cancel;
    QStringList seen;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
                seen << dialog->windowTitle();
                dialog->reject();
            }
    });
    cancel.start(30);
    button->click();
    cancel.stop();
    EXPECT_EQ(seen.size(), 1);
    EXPECT_TRUE(window->editor().outputPath().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(params));

    // The next output, answered, starts the writer: its run is the first and only one.
    DialogAnswers answers(root.filePath(QStringLiteral("out.avi")));
    button->click();
    ASSERT_TRUE(waitForFile(argsFile, 5000)) << "the writer was not started";
    EXPECT_EQ(ReadLines(appFolder + QStringLiteral("/runs.txt")), QStringList{QStringLiteral("run")});
    EXPECT_EQ(ReadLines(argsFile), QStringList{params});
}

// ファイル > 書き出し: the writer runs beside the window, which shows its progress in a
// window of its own and stays usable; キャンセル stops the writer, which leaves no file,
// and the status line says so.
TEST_F(OutputButtonTest, ExportRunsBesideTheWindowWithItsProgressAndCancel)
{
    {
        QFile f(writer);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("#!/bin/sh\n"
                "trap 'rm -f \"$3.part\"; exit 2' TERM\n"
                ": > \"$3.part\"\n"
                "echo 'progress  50%'\n"
                "while :; do sleep 0.02; done\n");
    }
    const QString out = root.filePath(QStringLiteral("書き出し.mlt"));
    auto* shotcut = window->findChild<QAction*>(QStringLiteral("mnuExportShotcut"));
    ASSERT_NE(shotcut, nullptr);
    DialogAnswers answers(out);
    shotcut->trigger();

    // Back in the window's hands while the writer runs.
    auto* progress = window->findChild<QWidget*>(QStringLiteral("exportProgress"));
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    auto* bar = progress->findChild<QProgressBar*>(QStringLiteral("exportBar"));
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(testsupport::PumpUntil([bar] { return bar->value() == 50; }, 10000));
    EXPECT_TRUE(QFileInfo::exists(out + QStringLiteral(".part")));
    QStringList labels;
    for (const QLabel* label : progress->findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(out)) << labels.join(QLatin1Char('|')).toStdString();

    auto* cancel = progress->findChild<QPushButton*>(QStringLiteral("exportCancel"));
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ASSERT_TRUE(testsupport::PumpUntil([progress] { return !progress->isVisible(); }, 10000));
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_FALSE(QFileInfo::exists(out + QStringLiteral(".part")));
    EXPECT_EQ(window->editor().msg(), QStringLiteral("書き出しをキャンセルしました。ファイルは作成されていません。"));
    EXPECT_TRUE(answers.messages.isEmpty()) << answers.messages.join(QLatin1Char('|')).toStdString();
}

int main(int argc, char** argv)
{
    // Listing the tests happens without the test environment: never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own file dialog, so the timers can find it and answer it whatever the
    // desktop's platform theme is.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
