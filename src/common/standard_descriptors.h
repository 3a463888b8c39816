#pragma once

// Opens /dev/null on whichever of standard input, output and error is closed. Called before
// anything else is opened: a serial line must never become descriptor 1 or 2, or the report
// would be written into the adaptor's line.
void EnsureStandardDescriptors();
