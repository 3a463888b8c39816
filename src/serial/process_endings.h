#pragma once

#include <initializer_list>

// However the program ends, the serial lines it holds are put back as they were found (see
// line_guard.h).

// Puts the lines back, says the program's last words, then ends the program by the signal's
// default action, so that its exit status tells which signal ended it. Async-signal-safe.
[[noreturn]] void EndBySignal(int signal) noexcept;

// What the program still says when a signal ends it, once its lines are back (the bench logs the
// test under way as halted and prints its summary). Async-signal-safe; nothing: none.
using LastWords = void (*)() noexcept;
void SayLastWordsOnEnding(LastWords words);

// Each of these signals ends the program by EndBySignal.
void EndBySignalsPuttingLinesBack(std::initializer_list<int> fatalSignals);

// Every signal that would end the program by its default action ends it by EndBySignal instead,
// also a crash on an overflowing stack. A handler installed afterwards takes its signal over.
void EndByAnyFatalSignalPuttingLinesBack();

// A normal exit, and an exception that escapes, put the lines back too.
void PutLinesBackAtExit();
