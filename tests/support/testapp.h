#pragma once
// The application object of a test or benchmark program, made once, in a headless
// session. The test environment (testenv.sh) normally sets the variables below; these
// are the defaults when a program runs without it (listing the tests at build time, a
// benchmark started by hand), so no program ever needs a display or a sound device.

namespace vk::testsupport {

// What the real player and Qt need in a headless session: QT_QPA_PLATFORM=offscreen
// and VK_MPV_AO=null, and with `noPicture` also VK_MPV_VO=null; a variable that is
// already set is left alone.
void HeadlessDefaults(bool noPicture);

// A QCoreApplication (or a QApplication, for widgets), made on the first call and kept
// for the life of the process; nothing happens when an application object exists.
// `name` is the program name in its arguments.
void EnsureCoreApp(const char* name);
void EnsureGuiApp(const char* name);

} // namespace vk::testsupport
