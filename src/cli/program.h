#pragma once

class Clock;

// aldl-tester-cli with this command line, its waits on the given clock: the exit status, with
// whatever the program writes already on its standard output and error.
int RunProgram(int argc, char* argv[], Clock& clock);
