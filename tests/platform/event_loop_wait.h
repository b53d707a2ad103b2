#pragma once

#include <chrono>
#include <functional>

namespace tuckshelf {

// Runs the event loop until `done` holds or `timeout` passes; returns done().
bool pumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace tuckshelf
