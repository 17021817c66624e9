// The MP4 row of the real main window, offscreen, on scripted players: the list, its
// place under the AVI row, the stored selection, and "MP4 作成" writing the parameters
// document and starting a stand-in writer (a shell script that writes its arguments,
// one per line, next to itself). The save dialog and the message boxes are answered
// from a timer.
#include "app/application.h"
#include "app/frmmain.h"
#include "app/rowtableview.h"
#include "base/twips.h"
#include "media/soundpanel.h"
#include "render/outputdriver.h"
#include "render/outputformats.h"
#include "tests/support/dialoganswers.h"
#include "tests/support/fakeapp.h"
#include "tests/support/fakeengine.h"
#include "tests/support/pump.h"
#include "tests/support/tablecheck.h"
#include "timeline/editor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <pugixml.hpp>

using namespace vk;

namespace {

void clearSettings()
{
    QSettings raw(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"));
    raw.clear();
    raw.sync();
}

void storeSetting(const char* name, const QString& value)
{
    QSettings raw(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"));
    raw.setValue(QLatin1String("param/") + QLatin1String(name), value);
    raw.sync();
}

using testsupport::ChildText;
using testsupport::DialogAnswers;
using testsupport::ReadLines;

// Waits (events running) until the condition holds; false after a generous timeout.
bool waitUntil(const std::function<bool()>& condition)
{
    return testsupport::PumpUntil(condition, 20000);
}

struct Mp4WindowTest : ::testing::Test, testsupport::FakeApp {
    void start() { startApp(); }

    void stop()
    {
        window->editor().setModified(false);
        window->close();
        app.reset();
        window = nullptr;
    }

    void TearDown() override
    {
        if (window)
            stop();
        clearSettings();
    }
};

// The output frame as the user sees it: the MP4 row is a third row under the AVI row,
// at the same pitch, its list and button at the AVI row's left edges, all inside the
// frame; the labels and the table start below the frame.
TEST_F(Mp4WindowTest, ListAndButtonFormAThirdRowInTheOutputFrame)
{
    clearSettings();
    start();
    auto* frame = window->findChild<QWidget*>(QStringLiteral("frameSave"));
    auto* wmvList = window->control<QComboBox>("cmboWMV");
    auto* aviList = window->control<QComboBox>("cmboAVI");
    auto* mp4List = window->control<QComboBox>("cmboMP4");
    auto* aviButton = window->control<QPushButton>("cmdCreateAVI");
    auto* mp4Button = window->control<QPushButton>("cmdCreateMP4");
    ASSERT_TRUE(frame && wmvList && aviList && mp4List && aviButton && mp4Button);
    EXPECT_EQ(mp4List->parentWidget(), frame);
    EXPECT_EQ(mp4Button->parentWidget(), frame);
    EXPECT_TRUE(mp4List->isVisible());
    EXPECT_TRUE(mp4Button->isVisible());

    EXPECT_EQ(mp4Button->text(), QStringLiteral("MP4 作成"));
    EXPECT_EQ(mp4List->toolTip(), QStringLiteral("出力形式選択"));
    EXPECT_FALSE(mp4Button->toolTip().isEmpty());

    EXPECT_EQ(mp4List->x(), aviList->x());
    EXPECT_EQ(mp4List->size(), aviList->size());
    // Same pitch, give or take the rounding of twips to pixels.
    EXPECT_NEAR(mp4List->y() - aviList->y(), aviList->y() - wmvList->y(), 1);
    EXPECT_EQ(mp4Button->x(), aviButton->x());
    EXPECT_EQ(mp4Button->size(), aviButton->size());
    EXPECT_NEAR(mp4Button->y() - aviButton->y(), aviList->y() - wmvList->y(), 1);
    EXPECT_GE(mp4List->y(), aviList->y() + aviList->height());
    EXPECT_GE(mp4Button->y(), aviButton->y() + aviButton->height());
    EXPECT_LE(mp4List->y() + mp4List->height(), frame->height());
    EXPECT_LE(mp4Button->y() + mp4Button->height(), frame->height());

    const int frameBottom = frame->y() + frame->height();
    for (const char* name : {"lblRow", "lblSndRangeMsec", "lblVidRangeMsec", "lblUsage"})
        EXPECT_GE(window->findChild<QWidget*>(QLatin1String(name))->y(), frameBottom) << name;
    EXPECT_GE(window->grid().y(), frameBottom);
    // The window grew by the row (440 twips) and the waveform strip, and the table moved
    // down by as much, so at the default size the table is as tall as before (7845 twips
    // high, table at 3990).
    auto* strip = window->findChild<QWidget*>(QStringLiteral("waveformStrip"));
    ASSERT_NE(strip, nullptr);
    EXPECT_NEAR(window->height(), TwipsToPixels(7845 + 440) + strip->height(), 1);
    EXPECT_NEAR(window->grid().y(), TwipsToPixels(3990 + 440) + strip->height(), 1);
}

TEST_F(Mp4WindowTest, ProfileListTextsDefaultAndStoredIndex)
{
    clearSettings();
    start();
    auto* list = window->control<QComboBox>("cmboMP4");
    ASSERT_NE(list, nullptr);
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    EXPECT_EQ(texts,
              (QStringList{QStringLiteral("640x360 29.97fps H.264"), QStringLiteral("640x360 30fps H.264"),
                           QStringLiteral("854x480 29.97fps H.264"), QStringLiteral("854x480 30fps H.264"),
                           QStringLiteral("1280x720 29.97fps H.264"), QStringLiteral("1280x720 30fps H.264"),
                           QStringLiteral("1920x1080 29.97fps H.264"), QStringLiteral("1920x1080 30fps H.264"),
                           QStringLiteral("1920x1080 59.94fps H.264"), QStringLiteral("1920x1080 60fps H.264")}));
    // Nothing stored: 1280x720 29.97; the other lists at their own defaults.
    EXPECT_EQ(list->currentIndex(), 4);
    EXPECT_EQ(window->editor().mp4ProfileIndex(), 4);
    EXPECT_EQ(window->control<QComboBox>("cmboAVI")->currentIndex(), 0);
    EXPECT_EQ(window->control<QComboBox>("cmboWMV")->currentIndex(), 15);

    // The button stays off until a sound clip is loaded, like the other output buttons.
    auto* button = window->control<QPushButton>("cmdCreateMP4");
    EXPECT_FALSE(button->isEnabled());
    ASSERT_EQ(engines.size(), 4u);
    engines[0]->info.durationMsec = 4000;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString song = dir.filePath(QStringLiteral("song.wav"));
    {
        QFile f(song);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    window->soundPanel().SndFileOpen(song);
    QApplication::processEvents();
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(button->isEnabled(), window->control<QPushButton>("cmdCreateAVI")->isEnabled());

    // The choice follows the list into the editor and is stored under its own key.
    list->setCurrentIndex(9);
    EXPECT_EQ(window->editor().mp4ProfileIndex(), 9);
    window->control<QComboBox>("cmboAVI")->setCurrentIndex(7);
    stop();
    {
        QSettings raw(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"),
                      QStringLiteral("videokadro"));
        EXPECT_EQ(raw.value(QStringLiteral("param/MP4Profile")).toString(), QStringLiteral("9"));
        EXPECT_EQ(raw.value(QStringLiteral("param/AVIProfile")).toString(), QStringLiteral("7"));
        EXPECT_EQ(raw.value(QStringLiteral("param/WMVProfile")).toString(), QStringLiteral("15"));
    }

    // A restart comes back with it; the AVI and WMV keys keep their own meaning.
    start();
    EXPECT_EQ(window->control<QComboBox>("cmboMP4")->currentIndex(), 9);
    EXPECT_EQ(window->editor().mp4ProfileIndex(), 9);
    EXPECT_EQ(window->control<QComboBox>("cmboAVI")->currentIndex(), 7);
    EXPECT_EQ(window->control<QComboBox>("cmboWMV")->currentIndex(), 15);
    stop();

    // A stored value outside the list, or not a number, leaves the list on its first
    // entry, as it does the other two lists.
    for (const char* bad : {"10", "-1", "x"}) {
        SCOPED_TRACE(bad);
        clearSettings();
        storeSetting("MP4Profile", QString::fromLatin1(bad));
        storeSetting("WMVProfile", QStringLiteral("2"));
        start();
        EXPECT_EQ(window->control<QComboBox>("cmboMP4")->currentIndex(), 0);
        EXPECT_EQ(window->editor().mp4ProfileIndex(), 0);
        EXPECT_EQ(window->control<QComboBox>("cmboWMV")->currentIndex(), 2);
        stop();
    }
}

struct Mp4ButtonTest : Mp4WindowTest {
    QTemporaryDir root;
    QString appFolder;
    QString tempFolder;
    QString writer;
    QString argsFile;
    QString sound;
    QString video;

    QString clips() const { return tempFolder + QStringLiteral("/T-KaDro-Clips.xml"); }
    QString params() const { return tempFolder + QStringLiteral("/T-KaDro-Params.xml"); }

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
        {
            QFile f(writer);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n"
                    "out=\"$(dirname \"$0\")/args.txt\"\n"
                    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
            f.close();
            ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        sound = root.filePath(QStringLiteral("song.wav"));
        video = root.filePath(QStringLiteral("dance.mp4"));
        for (const QString& path : {sound, video}) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }

        clearSettings();
        start();
        window->outputDriver().setApplicationFolder(appFolder);
        ASSERT_EQ(engines.size(), 4u);
        engines[0]->info.durationMsec = 10000;
        window->soundPanel().SndFileOpen(sound);
        Editor& ed = window->editor();
        ASSERT_EQ(ed.sndLength(), 10000);
        MakeSections(ed, {0, 2000, 5000}, 10000, 33);
        Register(ed, 2, video, 0, 3000);
        ed.RowRefresh(-1);
        ASSERT_TRUE(TableInvariants(ed));
    }
};

TEST_F(Mp4ButtonTest, CreateMp4WritesTheMp4ParametersAndStartsTheWriter)
{
    const QString out = root.filePath(QStringLiteral("movie.mp4"));
    window->control<QComboBox>("cmboMP4")->setCurrentIndex(8); // 1920x1080 59.94
    // The AVI list's DV entry stays out of an MP4 output.
    window->control<QComboBox>("cmboAVI")->setCurrentIndex(0);
    auto* button = window->control<QPushButton>("cmdCreateMP4");
    ASSERT_NE(button, nullptr);

    DialogAnswers answers(out, false);
    button->click();

    ASSERT_EQ(answers.fileDialogTitles, QStringList{QStringLiteral("名前を付けて保存")});
    EXPECT_EQ(answers.fileDialogFilters.first(), QStringList{QStringLiteral("ビデオファイル(*.mp4) (*.mp4)")});
    EXPECT_TRUE(answers.messages.isEmpty()) << answers.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(answers.questions.isEmpty());
    EXPECT_EQ(window->editor().outputPath(), out);

    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(argsFile); })) << "the writer was not started";
    EXPECT_EQ(ReadLines(argsFile), QStringList{params()});
    EXPECT_EQ(ChildText(params(), "XtlFilePath"), clips());
    EXPECT_EQ(ChildText(params(), "AviFileName"), out);
    EXPECT_EQ(ChildText(params(), "StartPoint"), QStringLiteral("0"));
    EXPECT_EQ(ChildText(params(), "EndPoint"), QStringLiteral("10000"));
    EXPECT_EQ(ChildText(params(), "VideoCompressor"), QStringLiteral("H.264"));
    EXPECT_EQ(ChildText(params(), "AudioCompressor"), QStringLiteral("AAC"));
    EXPECT_EQ(ChildText(params(), "PrxFileName"), QString());
    EXPECT_EQ(ChildText(params(), "FrameWidth"), QStringLiteral("1920"));
    EXPECT_EQ(ChildText(params(), "FrameHeight"), QStringLiteral("1080"));
    EXPECT_EQ(ChildText(params(), "FrameRate"), QStringLiteral("59.94"));
    EXPECT_EQ(ChildText(params(), "VideoQuality"), QStringLiteral("18"));
    QFile timeline(clips());
    ASSERT_TRUE(timeline.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(timeline.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("framerate=\"59.94\" width=\"1920\" height=\"1080\"")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(video));
}

TEST_F(Mp4ButtonTest, DraggedRangeAndOverwriteQuestion)
{
    const QString out = root.filePath(QStringLiteral("old movie.mp4"));
    {
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    window->control<QComboBox>("cmboMP4")->setCurrentIndex(1); // 640x360 30
    window->control<QCheckBox>("chkPart")->setChecked(true);
    window->editor().setDraggedRange(2, 2);

    DialogAnswers answers(out, true);
    window->control<QPushButton>("cmdCreateMP4")->click();
    ASSERT_EQ(answers.questions.size(), 1);
    EXPECT_EQ(answers.questions.first(), out + QStringLiteral("\r\nは既に存在します。上書きしますか？"));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(argsFile); })) << "the writer was not started";
    EXPECT_EQ(ChildText(params(), "StartPoint"), QStringLiteral("2000"));
    EXPECT_EQ(ChildText(params(), "EndPoint"), QStringLiteral("5000"));
    EXPECT_EQ(ChildText(params(), "FrameWidth"), QStringLiteral("640"));
    EXPECT_EQ(ChildText(params(), "FrameRate"), QStringLiteral("30"));
}

TEST_F(Mp4ButtonTest, TheSoundClipIsNotOverwritten)
{
    DialogAnswers answers(sound, true);
    window->control<QPushButton>("cmdCreateMP4")->click();
    ASSERT_EQ(answers.messages.size(), 1);
    EXPECT_EQ(answers.messages.first(), sound + QStringLiteral("\r\n入力ファイルに上書きはできません。"));
    EXPECT_TRUE(answers.questions.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(params()));
    EXPECT_FALSE(QFileInfo::exists(argsFile));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own file dialog, so the timer can find it and answer it.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
