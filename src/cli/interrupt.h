#pragma once

// Ctrl-C during a run: the first asks the running test to stop at its next check, as Stop Test
// does; the second ends the program at once, its serial line put back.
void InstallInterruptHandler();
bool InterruptRequested();
