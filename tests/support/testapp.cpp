#include "tests/support/testapp.h"

#include <QApplication>
#include <QCoreApplication>

namespace vk::testsupport {

namespace {

// Qt keeps argc and argv for the life of the application object.
struct Arguments {
    int argc = 1;
    char name[64] = {};
    char* argv[2] = {name, nullptr};
    explicit Arguments(const char* program) { qstrncpy(name, program, sizeof name); }
};

} // namespace

void HeadlessDefaults(bool noPicture)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VK_MPV_AO"))
        qputenv("VK_MPV_AO", "null");
    if (noPicture && qEnvironmentVariableIsEmpty("VK_MPV_VO"))
        qputenv("VK_MPV_VO", "null");
}

void EnsureCoreApp(const char* name)
{
    if (QCoreApplication::instance())
        return;
    static Arguments args(name);
    new QCoreApplication(args.argc, args.argv);
}

void EnsureGuiApp(const char* name)
{
    if (QCoreApplication::instance())
        return;
    static Arguments args(name);
    new QApplication(args.argc, args.argv);
}

} // namespace vk::testsupport
