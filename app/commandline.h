#pragma once
// The editor's command line: at most one argument, a project file to open. Double
// quotes group blanks into one argument and never appear in the result; "-Embedding"
// (the editor started for an automation client) counts as no argument.

#include <QString>
#include <QStringList>

namespace vk {

// Splits a raw command line into arguments, at most maxArgs of them; the walk stops
// at the start of one more. Index 0 of the result stays empty, indices 1..n hold the
// arguments.
QStringList CommandLineArgs(const QString& rawLine, int maxArgs = 10);

// The raw command line of a program's arguments (argv without the program name): each
// argument holding a blank or a tab is quoted, so CommandLineArgs gives it back whole.
QString RawCommandLine(const QStringList& arguments);

// The editor's arguments: CommandLineArgs with one argument, "-Embedding" replaced by "".
QStringList EditorArguments(const QStringList& arguments);

} // namespace vk
