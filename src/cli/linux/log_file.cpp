#include "cli/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kFirstLineLimit = 64 * 1024;

// The record kept for the end and the log it goes to, read by a signal handler.
struct KeptRecord {
  volatile std::sig_atomic_t fd = -1;
  std::array<char, 16 * 1024> text{};
  volatile std::sig_atomic_t length = 0;
};
KeptRecord kept;

// The bench's own stopping signals wait while a record is appended, so that the record kept for
// the end is logged once, by one or the other.
class StopSignalsHeld {
 public:
  StopSignalsHeld() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    pthread_sigmask(SIG_BLOCK, &stops, &before_);
  }
  ~StopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t before_;
};

std::runtime_error Refused(const std::string& path, const std::string& why) {
  return std::runtime_error("cannot keep the log in " + path + ": " + why);
}

std::string FirstLine(int fd) {
  std::string text(kFirstLineLimit, '\0');
  const ssize_t got = pread(fd, text.data(), text.size(), 0);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text.substr(0, text.find('\n'));
}

bool EndsTorn(int fd, off_t size) {
  char last = '\n';
  return size > 0 && pread(fd, &last, 1, size - 1) == 1 && last != '\n';
}

// Appends with O_APPEND, each record then synced; the lock keeps a second bench off the file.
// Each record is whole on the disk or not there at all, and in the file the user named.
class AppendedFile final : public LogFile {
 public:
  AppendedFile(std::string path, std::string header, LogCheck check)
      : path_(std::move(path)), header_(std::move(header)), check_(std::move(check)) {
    Open();
  }
  ~AppendedFile() override {
    if (fd_ >= 0) close(fd_);
  }
  AppendedFile(const AppendedFile&) = delete;
  AppendedFile& operator=(const AppendedFile&) = delete;

  void Append(const std::string& record) override {
    const StopSignalsHeld held;
    kept.length = 0;
    // Renamed or removed (an editor's save, logrotate, rm): the next record goes to a new file
    // under the name given, not to the one nobody can see any more.
    if (!StillNamed()) {
      close(fd_);
      fd_ = -1;
      Open();
    }
    Write(record);
  }

  void KeepForTheEnd(const std::string& record) override {
    kept.length = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const std::string text = (endsTorn_ ? "\n" : "") + record;
    if (text.size() > kept.text.size()) return;
    std::memcpy(kept.text.data(), text.data(), text.size());
    kept.fd = fd_;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    kept.length = static_cast<std::sig_atomic_t>(text.size());
  }

 private:
  void Open() {
    // A device is never opened: opening a tty or a FIFO has effects of its own.
    struct stat info {};
    if (stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) throw Refused(path_, "it is not a regular file");
    fd_ = open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) throw Refused(path_, std::strerror(errno));
    const auto refuse = [&](const std::string& why) {
      close(fd_);
      fd_ = -1;
      throw Refused(path_, why);
    };
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) refuse("it is not a regular file");
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) refuse("another bench is writing to it");
    if (info.st_size > 0) {
      if (const auto why = check_(FirstLine(fd_))) refuse(*why);
      // A line torn by a crash keeps to itself: the next record starts on a line of its own.
      endsTorn_ = EndsTorn(fd_, info.st_size);
    } else if (!header_.empty()) {
      Write(header_);
    }
  }

  bool StillNamed() const {
    struct stat named {};
    struct stat open {};
    return stat(path_.c_str(), &named) == 0 && fstat(fd_, &open) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
  }

  // A write cut short (a full disk) is taken back, so that no torn line stays behind.
  void Write(const std::string& record) {
    struct stat before {};
    if (fstat(fd_, &before) != 0) throw Failed(errno);
    const std::string text = (endsTorn_ ? "\n" : "") + record;
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t written = write(fd_, text.data() + done, text.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const int error = written < 0 ? errno : ENOSPC;
        if (ftruncate(fd_, before.st_size) != 0) endsTorn_ = true;
        throw Failed(error);
      }
      done += static_cast<std::size_t>(written);
    }
    endsTorn_ = false;
    if (fsync(fd_) != 0) throw Failed(errno);
  }

  std::runtime_error Failed(int error) const {
    return std::runtime_error("cannot write the log " + path_ + ": " + std::strerror(error));
  }

  std::string path_;
  std::string header_;
  LogCheck check_;
  int fd_ = -1;
  bool endsTorn_ = false;
};

}  // namespace

void LogKeptRecord() noexcept {
  const auto length = static_cast<std::size_t>(kept.length);
  if (kept.fd < 0 || length == 0) return;
  kept.length = 0;
  if (write(kept.fd, kept.text.data(), length) == static_cast<ssize_t>(length)) fsync(kept.fd);
}

std::unique_ptr<LogFile> OpenLog(const std::string& path, const std::string& header,
                                 const LogCheck& check) {
  return std::make_unique<AppendedFile>(path, header, check);
}
