#include "cli/log_file.h"

#include "serial/windows/windows_api.h"

#include <mutex>
#include <stdexcept>

#include "serial/windows/system_error_text.h"

namespace {

constexpr DWORD kFirstLineLimit = 64 * 1024;

// The record kept for the end and the log it goes to: the console's thread logs it when the
// console closes, the user logs off or the system shuts down, while the main thread may be
// appending.
std::mutex keptGuard;
HANDLE keptFile = INVALID_HANDLE_VALUE;
std::string keptText;

std::runtime_error Refused(const std::string& path, const std::string& why) {
  return std::runtime_error("cannot keep the log in " + path + ": " + why);
}

std::string ReadAt(HANDLE file, std::uint64_t offset, DWORD length) {
  std::string text(length, '\0');
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(file, text.data(), length, &got, &at)) got = 0;
  text.resize(got);
  return text;
}

bool WriteAtEnd(HANDLE file, const std::string& text) {
  LARGE_INTEGER end{};
  if (!SetFilePointerEx(file, end, nullptr, FILE_END)) return false;
  for (std::size_t done = 0; done < text.size();) {
    DWORD written = 0;
    if (!WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Opened so that no other program may write, rename or delete it while the bench runs (it may
// read it): each record lands in the file the user named, and a second bench is kept off it.
// Each record is whole on the disk before the bench takes the next adaptor, or not there at all.
class AppendedFile final : public LogFile {
 public:
  AppendedFile(std::string path, const std::string& header, const LogCheck& check) : path_(std::move(path)) {
    const DWORD attributes = GetFileAttributesW(Widened(path_).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      throw Refused(path_, "it is not a regular file");
    }
    file_ = CreateFileW(Widened(path_).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      throw Refused(path_, error == ERROR_SHARING_VIOLATION
                               ? "another program has it open: another bench writing to it, or a program "
                                 "that keeps it open (close it there)"
                               : SystemErrorText(error));
    }
    const auto refuse = [&](const std::string& why) {
      CloseHandle(file_);
      throw Refused(path_, why);
    };
    // A device (CON, NUL, a COM port) is no log.
    if (GetFileType(file_) != FILE_TYPE_DISK) refuse("it is not a regular file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size)) refuse(SystemErrorText(GetLastError()));
    if (size.QuadPart > 0) {
      const std::string first = ReadAt(file_, 0, kFirstLineLimit);
      if (const auto why = check(first.substr(0, first.find('\n')))) refuse(*why);
      // A line torn by a crash keeps to itself: the next record starts on a line of its own.
      endsTorn_ = ReadAt(file_, static_cast<std::uint64_t>(size.QuadPart) - 1, 1) != "\n";
    } else if (!header.empty()) {
      Write(header);
    }
  }
  ~AppendedFile() override {
    const std::lock_guard held(keptGuard);
    keptText.clear();
    keptFile = INVALID_HANDLE_VALUE;
    CloseHandle(file_);
  }
  AppendedFile(const AppendedFile&) = delete;
  AppendedFile& operator=(const AppendedFile&) = delete;

  void Append(const std::string& record) override {
    const std::lock_guard held(keptGuard);
    keptText.clear();
    Write(record);
  }

  void KeepForTheEnd(const std::string& record) override {
    const std::lock_guard held(keptGuard);
    keptText = record.empty() ? "" : (endsTorn_ ? "\n" : "") + record;
    keptFile = file_;
  }

 private:
  // A write cut short (a full disk) is taken back, so that no torn line stays behind.
  void Write(const std::string& record) {
    LARGE_INTEGER before{};
    if (!GetFileSizeEx(file_, &before)) throw Failed(GetLastError());
    if (!WriteAtEnd(file_, (endsTorn_ ? "\n" : "") + record)) {
      const DWORD error = GetLastError();
      if (!SetFilePointerEx(file_, before, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) endsTorn_ = true;
      throw Failed(error);
    }
    endsTorn_ = false;
    if (!FlushFileBuffers(file_)) throw Failed(GetLastError());
  }

  std::runtime_error Failed(DWORD error) const {
    return std::runtime_error("cannot write the log " + path_ + ": " + SystemErrorText(error));
  }

  std::string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool endsTorn_ = false;
};

}  // namespace

void LogKeptRecord() noexcept {
  const std::lock_guard held(keptGuard);
  if (keptFile == INVALID_HANDLE_VALUE || keptText.empty()) return;
  if (WriteAtEnd(keptFile, keptText)) FlushFileBuffers(keptFile);
  keptText.clear();
}

std::unique_ptr<LogFile> OpenLog(const std::string& path, const std::string& header, const LogCheck& check) {
  return std::make_unique<AppendedFile>(path, header, check);
}
