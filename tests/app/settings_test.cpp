#include "app/qsettingsstore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {
// The settings as the application stores them (the INI file under XDG_CONFIG_HOME).
vk::QSettingsStore& testSettings()
{
    static vk::QSettingsStore store;
    return store;
}
} // namespace

using namespace vk;

namespace {
QString iniPath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TALMOR"), QStringLiteral("videokadro"))
        .fileName();
}
} // namespace

TEST(Settings, CleanRemovesControlCharactersAndBlanksAnywhere)
{
    EXPECT_EQ(SettingsStore::RegValueClean(QStringLiteral(" 15\r\n")), QStringLiteral("15"));
    EXPECT_EQ(SettingsStore::RegValueClean(QStringLiteral("1 000")), QStringLiteral("1000"));
    EXPECT_EQ(SettingsStore::RegValueClean(QStringLiteral("a\tb")), QStringLiteral("a\tb")); // tabs stay
    EXPECT_EQ(SettingsStore::RegValueClean(QString(QChar(0)) + QStringLiteral("x")), QStringLiteral("x"));
}

TEST(Settings, ValuesRoundTripAndDefaultsApply)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) << "tests must not touch the user's settings";
    testSettings().RegValueWrite(QStringLiteral("main_left"), 1234);
    testSettings().RegValueWrite(QStringLiteral("transDur"), QStringLiteral(" 800\n"));
    testSettings().sync();
    QString text;
    EXPECT_TRUE(testSettings().RegValueRead(QStringLiteral("main_left"), text));
    EXPECT_EQ(text, QStringLiteral("1234"));
    EXPECT_EQ(testSettings().readInt(QStringLiteral("transDur"), 1500), 800);
    EXPECT_FALSE(testSettings().RegValueRead(QStringLiteral("never_written"), text));
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(testSettings().readInt(QStringLiteral("never_written"), 9695), 9695);
    // The values are kept in the INI file under the group "param".
    EXPECT_TRUE(QFile::exists(iniPath()));
    QSettings raw(iniPath(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("param/main_left")).toString(), QStringLiteral("1234"));
}

TEST(Settings, UnparsableNumbersReportFailure)
{
    testSettings().RegValueWrite(QStringLiteral("main_top"), QStringLiteral("left"));
    bool ok = true;
    EXPECT_EQ(testSettings().readInt(QStringLiteral("main_top"), 1000, &ok), 1000);
    EXPECT_FALSE(ok);
    testSettings().RegValueWrite(QStringLiteral("main_top"), QStringLiteral("-2000"));
    EXPECT_EQ(testSettings().readInt(QStringLiteral("main_top"), 1000, &ok), -2000);
    EXPECT_TRUE(ok);
    testSettings().RegValueWrite(QStringLiteral("main_top"), QStringLiteral(" \r\n"));
    EXPECT_EQ(testSettings().readInt(QStringLiteral("main_top"), 1000, &ok), 1000);
    EXPECT_TRUE(ok);
}
