#pragma once
// The whole editor on scripted players: the application object with every player it
// makes a FakeEngine, kept in `engines` in the order made (the sound clip panel's first).

#include "app/application.h"
#include "app/frmmain.h"
#include "tests/support/fakeengine.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace vk::testsupport {

struct FakeApp {
    std::vector<FakeEngine*> engines;
    std::unique_ptr<Application> app;
    frmMain* window = nullptr;

    // Makes the application with these command-line arguments and media stack answer,
    // starts it and lets its first events run. `prepare` sets up each player as it is
    // made, before the application uses it; its second argument is the player's index.
    void startApp(const QStringList& args = {}, int probe = 0x900,
                  std::function<void(FakeEngine&, size_t)> prepare = {});
};

} // namespace vk::testsupport
