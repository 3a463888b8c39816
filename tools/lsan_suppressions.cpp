// Built into the window only under the sanitizers: what the system's libraries keep to the end
// (D-Bus's connection to the session bus, which Qt opens and never closes) is no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
