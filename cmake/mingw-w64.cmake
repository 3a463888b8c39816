# Cross-builds for 64-bit Windows with Debian's mingw-w64, in its POSIX-threads flavour (the
# core's waits use std::thread and std::this_thread). ./build.sh windows uses it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# GCC 12 warns falsely (-Wrestrict) inside std::string at -O3; -O2 as on Linux.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)
# The linker keeps one copy of each inline function, Qt's or this program's: no caller may count
# on the registers its own copy left alone (tools/windows_qt.sh builds Qt so too).
set(CMAKE_CXX_FLAGS_INIT -fno-ipa-ra)
# Libraries come from mingw-w64's own root and, for the window, from the static Qt for Windows
# that ./build.sh windows names in ALDL_WINDOWS_QT (tools/windows_qt.sh).
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${ALDL_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
