#pragma once

#include <string>

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
// What a Ctrl-C does, wherever it comes from (Windows hands it over on a thread of its own).
void RequestInterrupt() noexcept;

// The bench: SIGTERM and SIGHUP (its terminal closed), or Ctrl-Break on Windows, stop it as a
// first Ctrl-C does, so that the test under way is logged halted and the summary printed; a
// second of any of them ends it at once. TerminationRequested then gives the signal, by which
// the bench ends; 0 when none came or it was Ctrl-C.
void AlsoStopOnTermination();
int TerminationRequested();

// The bench's summary as it would read if a signal ended it now, printed by PrintKeptSummary on
// standard output, or standard error with --json; empty: nothing to print.
void KeepSummaryForTheEnd(const std::string& summary, bool onStandardError);
// Async-signal-safe; a stream that cannot take it is no reason to stop.
void PrintKeptSummary() noexcept;
