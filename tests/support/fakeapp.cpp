#include "tests/support/fakeapp.h"

#include <QApplication>

namespace vk::testsupport {

void FakeApp::startApp(const QStringList& args, int probe, std::function<void(FakeEngine&, size_t)> prepare)
{
    engines.clear();
    app = std::make_unique<Application>(
        [this, prepare] {
            auto e = std::make_unique<FakeEngine>();
            if (prepare)
                prepare(*e, engines.size());
            engines.push_back(e.get());
            return e;
        },
        [probe] { return probe; }, args);
    window = &app->mainWindow();
    app->start();
    QApplication::processEvents();
}

} // namespace vk::testsupport
