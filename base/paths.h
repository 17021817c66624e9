#pragma once
// Path text handling.

#include <QString>

namespace vk {

// Appends "/" unless the path already ends in one (an empty path becomes "/").
// Changes the argument and returns it.
QString& AddTrailingSeparator(QString& path);

} // namespace vk
