#pragma once

#include <string>

// One fault a failed run shows, and what to do about it, in plain words.
struct Diagnosis {
  std::string cause;
  std::string fix;
};

// Where a diagnosis is read, which decides how it names the program's own controls: the window's
// menus, or the headless runner's options.
enum class Reader { Terminal, Window };
