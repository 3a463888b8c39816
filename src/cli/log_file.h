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
  // Appends one record, a line with its newline, and forgets the record kept for the end; no
  // signal comes in between. Raises std::runtime_error with the reason.
  virtual void Append(const std::string& record) = 0;
  // The record to log should a signal end the program before the next Append: the test under
  // way, halted. Empty: none.
  virtual void KeepForTheEnd(const std::string& record) = 0;
};

// Logs the record kept for the end, whole, on the disk. Async-signal-safe.
void LogKeptRecord() noexcept;

// What a log file must hold to be appended to: a reason to refuse it, given its first line,
// or nothing.
using LogCheck = std::function<std::optional<std::string>(const std::string& firstLine)>;

// Opens the file to append to, made when missing, with the header written when it is empty.
// Raises std::runtime_error with the reason when it cannot be read or written, is no regular
// file, is the log of a bench still running, or check refuses it.
std::unique_ptr<LogFile> OpenLog(const std::string& path, const std::string& header,
                                 const LogCheck& check);
