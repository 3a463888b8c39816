#pragma once

inline constexpr char kStopTestNotice[] =
    "\nStopping at the test's next check; Ctrl-C again quits at once.\n";

inline constexpr char kSpeedCheckNotice[] =
    "\nThe speed check cannot be stopped: the test ends with its verdict in a few seconds. Ctrl-C "
    "again quits at once.\n";

// Ctrl-C during a run: the first asks the running test to stop at its next check, as Stop Test
// does, and prints the notice; the second ends the program at once, its serial line put back.
// Installing again changes the notice only.
void InstallInterruptHandler(const char* notice = kStopTestNotice);
bool InterruptRequested();
