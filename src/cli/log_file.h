#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

// The bench's log: each record appended whole and on the disk before the bench takes the next
// adaptor, so that a crash or a pulled power cord loses at most the adaptor under test.
class LogFile {
 public:
  virtual ~LogFile() = default;
  // Appends one record, a line with its newline. Raises std::runtime_error with the reason.
  virtual void Append(const std::string& record) = 0;
};

// What a log file must hold to be appended to: a reason to refuse it, given its first line,
// or nothing.
using LogCheck = std::function<std::optional<std::string>(const std::string& firstLine)>;

// Opens the file to append to, made when missing, with the header written when it is empty.
// Raises std::runtime_error with the reason when it cannot be read or written, is no regular
// file, is the log of a bench still running, or check refuses it.
std::unique_ptr<LogFile> OpenLog(const std::string& path, const std::string& header,
                                 const LogCheck& check);
