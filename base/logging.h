#pragma once
// Where failures that no one is told of are written down. A failure the user caused or
// must act on is said to the user (a message box, or the status line); a failure that
// a command passes over by its rules (a player that did not answer, a cell it could
// not read) goes to one of these categories as a warning on the standard error output,
// without bothering the user (QT_LOGGING_RULES="videokadro.*=false" silences them).

#include <QLoggingCategory>
#include <exception>

namespace vk {

Q_DECLARE_LOGGING_CATEGORY(lcPlayer) // "videokadro.player": a call on a media player failed
Q_DECLARE_LOGGING_CATEGORY(lcEdit)   // "videokadro.edit": a command ended on a value it could not use

// Logs a failure a command passes over: what the command was doing, and why it failed.
void LogPassedOver(const QLoggingCategory& (*category)(), const char* doing, const std::exception& e);

} // namespace vk
