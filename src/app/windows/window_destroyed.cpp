#include "app/window_destroyed.h"

// On Windows no other program can destroy the window: only its own thread may.
struct EndWhenWindowDestroyed::Filter {};

EndWhenWindowDestroyed::EndWhenWindowDestroyed(frmBaudTest&) : filter_(nullptr) {}

EndWhenWindowDestroyed::~EndWhenWindowDestroyed() = default;
