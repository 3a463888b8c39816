#pragma once

#include <functional>

// Lets the user interface process its pending events; the headless runner's does nothing of
// the sort.
using DoEvents = std::function<void()>;
