#include "link/clock.h"
#include "link/windows/system_timer.h"

// Windows wakes a sleeping wait at its timer's ticks, 15.6 ms apart unless a program asks for
// finer ones.
void timeBeginPeriod(unsigned ms) { BeginSystemTimerPeriod(ms); }

void timeEndPeriod(unsigned ms) { EndSystemTimerPeriod(ms); }
