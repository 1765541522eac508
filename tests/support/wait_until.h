#pragma once

#include <chrono>
#include <functional>

// How long a test waits for something that happens at once on an idle
// machine: long enough for a loaded, sanitized build, so that only a real
// hang runs out of it.
inline constexpr std::chrono::milliseconds kGenerousTimeout { 20000 };

// Polls the condition (every few milliseconds, without running an event loop)
// until it holds or the timeout passes; returns whether it held.
bool WaitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout = kGenerousTimeout);
