#pragma once

#include <filesystem>

// Where the kernel tells what each device is. The programs read the real folders; tests point
// them at a tree of their own.
struct SystemRoots {
  std::filesystem::path sysfs = "/sys";
  std::filesystem::path procfs = "/proc";
  std::filesystem::path serialById = "/dev/serial/by-id";
  std::filesystem::path uucpLocks = "/run/lock";  // LCK..NAME files; /var/lock links here
};
