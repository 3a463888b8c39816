#pragma once

// Ctrl-C during a run: the first asks the running test to stop at its next check, as Stop Test
// does; the second ends the program at once.
void InstallInterruptHandler();
bool InterruptRequested();
