#include "app/commandline.h"

namespace vk {

QStringList CommandLineArgs(const QString& rawLine, int maxArgs)
{
    QStringList args{QString()};
    bool inQuote = false;
    bool inArg = false;
    for (const QChar c : rawLine) {
        const bool blank = c == QLatin1Char(' ') || c == QLatin1Char('\t');
        if (c == QLatin1Char('"'))
            inQuote = !inQuote;
        if (!blank || inQuote) {
            if (!inArg) {
                if (args.size() - 1 >= maxArgs)
                    break;
                args << QString();
                inArg = true;
            }
            if (c != QLatin1Char('"'))
                args.last() += c;
        } else {
            inArg = false;
        }
    }
    return args;
}

QString RawCommandLine(const QStringList& arguments)
{
    QStringList parts;
    for (const QString& a : arguments) {
        if (a.contains(QLatin1Char(' ')) || a.contains(QLatin1Char('\t')) || a.isEmpty())
            parts << QLatin1Char('"') + a + QLatin1Char('"');
        else
            parts << a;
    }
    return parts.join(QLatin1Char(' '));
}

QStringList EditorArguments(const QStringList& arguments)
{
    QStringList args = CommandLineArgs(RawCommandLine(arguments), 1);
    if (args.size() > 1 && args.at(1) == QStringLiteral("-Embedding"))
        args[1] = QString();
    return args;
}

} // namespace vk
