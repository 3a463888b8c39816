#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

// What the user interface does while a test waits.
struct EventHooks {
  // DelayMs: lets the user interface handle its events, the user's clicks among them, for up to
  // ms milliseconds (0: only those already pending), blocking while there are none; where there
  // is no user interface, SleepFor.
  std::function<void(std::int32_t ms)> DoEvents;
  // The other waits: keeps the window painted while user input waits until they end.
  std::function<void()> Repaint;
};

inline void SleepFor(std::int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
