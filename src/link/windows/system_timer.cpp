#include "link/windows/system_timer.h"

#include "serial/windows/windows_api.h"

#include <timeapi.h>

void BeginSystemTimerPeriod(unsigned ms) { timeBeginPeriod(ms); }

void EndSystemTimerPeriod(unsigned ms) { timeEndPeriod(ms); }
