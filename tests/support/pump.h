#pragma once
// Running the Qt event loop from a test or a benchmark: for a while, or until a
// condition holds. Waiting on a condition (with a generous limit) keeps a test
// independent of how busy the machine is.

#include <functional>

namespace vk::testsupport {

// Lets the event loop run for `ms` milliseconds.
void Pump(int ms);

// Runs the event loop (deferred deletions included) until `done` holds; false when it
// still does not after `timeoutMs`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 60000);

} // namespace vk::testsupport
