#include "app/commandline.h"

#include <gtest/gtest.h>

using namespace vk;

TEST(CommandLine, QuotesGroupBlanksAndDisappear)
{
    const QStringList args = CommandLineArgs(QStringLiteral("\"/home/me/My Project.rem\""), 1);
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args.at(0), QString());
    EXPECT_EQ(args.at(1), QStringLiteral("/home/me/My Project.rem"));
}

TEST(CommandLine, OnlyTheFirstOfSeveralArgumentsIsKept)
{
    EXPECT_EQ(CommandLineArgs(QStringLiteral("a.rem  b.rem"), 1), (QStringList{QString(), QStringLiteral("a.rem")}));
    EXPECT_EQ(CommandLineArgs(QStringLiteral(" a\tb  \"c d\"e "), 10),
              (QStringList{QString(), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c de")}));
    EXPECT_EQ(CommandLineArgs(QString(), 1), QStringList{QString()});
}

TEST(CommandLine, EditorArgumentsFromArgv)
{
    // The shell already split the words; a path with blanks survives as one argument.
    EXPECT_EQ(EditorArguments({QStringLiteral("/tmp/with blank/p.rem"), QStringLiteral("other")}),
              (QStringList{QString(), QStringLiteral("/tmp/with blank/p.rem")}));
    // Started for an automation client: no project.
    EXPECT_EQ(EditorArguments({QStringLiteral("-Embedding")}), (QStringList{QString(), QString()}));
    // Only the exact, case-sensitive word is the automation flag.
    EXPECT_EQ(EditorArguments({QStringLiteral("-embedding")}).at(1), QStringLiteral("-embedding"));
    EXPECT_EQ(EditorArguments({}), QStringList{QString()});
}
