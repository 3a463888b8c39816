#pragma once

// The system timer's resolution requests (timeBeginPeriod and timeEndPeriod of winmm), under
// names of their own: clock.h gives this program's requests the same names as Windows' own, so
// one file cannot declare both.
void BeginSystemTimerPeriod(unsigned ms);
void EndSystemTimerPeriod(unsigned ms);
