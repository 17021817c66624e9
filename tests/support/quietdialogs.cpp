#include "tests/support/quietdialogs.h"

#include <cstdio>

namespace vk::testsupport {

void QuietDialogs::message(const QString& text, Icon)
{
    messages << text;
    if (printMessages)
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
}

bool QuietDialogs::askYesNo(const QString&, Icon)
{
    return answerYes;
}

int QuietDialogs::askChoice(const QString&, Icon, const QStringList& buttons)
{
    return int(buttons.size()) - 1;
}

std::optional<QString> QuietDialogs::openFileName(const FileDialog&)
{
    return std::nullopt;
}

std::optional<QString> QuietDialogs::saveFileName(const FileDialog&)
{
    return std::nullopt;
}

std::optional<QString> QuietDialogs::inputBox(const QString&, const QString&, const QString&)
{
    return std::nullopt;
}

bool QuietDialogs::startDetached(const QString&, const QStringList&)
{
    return false;
}

} // namespace vk::testsupport
