#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// A file's bytes; empty when it cannot be read.
inline std::string FileText(const std::string& path) {
  return (std::ostringstream() << std::ifstream(path, std::ios::binary).rdbuf()).str();
}

// A file's lines, without their line ends.
inline std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

// An environment variable's value; empty when it is not set.
inline std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
