#pragma once
// The application's version, set once in the build (project VERSION).

#include <QString>

namespace vk {

// The application's version "2_0_1" (major, minor and revision joined by "_").
QString VersionText();

} // namespace vk
