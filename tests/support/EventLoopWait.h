#pragma once

#include "support/QtPrinters.h"

#include <chrono>
#include <functional>

namespace testsupport {

// Spins the calling thread's event loop until `done` returns true or the time
// is up. Tests that wait for the UI thread to handle queued work use this
// instead of sleeping, so they stay fast and never depend on a fixed delay.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// Processes events for the given time, for tests that must show that
// something does *not* happen.
void SpinFor(std::chrono::milliseconds duration);

}  // namespace testsupport
