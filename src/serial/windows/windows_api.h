#pragma once

// <windows.h> for files that also use this program's device control block (serial/dcb.h).
// Windows names its own record DCB too and defines NOPARITY, ONESTOPBIT and the others as
// macros; so its record is called Win32Dcb here and the macros are undone. dcb.h gives the same
// values under the same names, and only the fields both records have pass between them.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#define DCB Win32Dcb
#include <windows.h>
#undef DCB
#undef NOPARITY
#undef ODDPARITY
#undef EVENPARITY
#undef MARKPARITY
#undef SPACEPARITY
#undef ONESTOPBIT
#undef ONE5STOPBITS
#undef TWOSTOPBITS
