#include "cli/log_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kFirstLineLimit = 64 * 1024;

std::runtime_error Refused(const std::string& path, const std::string& why) {
  return std::runtime_error("cannot keep the log in " + path + ": " + why);
}

// Appends with O_APPEND, each record then synced; the lock keeps a second bench off the file.
class AppendedFile final : public LogFile {
 public:
  AppendedFile(std::string path, int fd, bool endsTorn)
      : path_(std::move(path)), fd_(fd), endsTorn_(endsTorn) {}
  ~AppendedFile() override { close(fd_); }
  AppendedFile(const AppendedFile&) = delete;
  AppendedFile& operator=(const AppendedFile&) = delete;

  // A line torn by a crash keeps to itself: the next record starts on a line of its own.
  void Append(const std::string& record) override {
    const std::string text = (endsTorn_ ? "\n" : "") + record;
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t written = write(fd_, text.data() + done, text.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) throw Failed();
      done += static_cast<std::size_t>(written);
      endsTorn_ = done < text.size();
    }
    if (fsync(fd_) != 0) throw Failed();
  }

 private:
  std::runtime_error Failed() const {
    return std::runtime_error("cannot write the log " + path_ + ": " + std::strerror(errno));
  }

  std::string path_;
  int fd_;
  bool endsTorn_;
};

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

}  // namespace

std::unique_ptr<LogFile> OpenLog(const std::string& path, const std::string& header,
                                 const LogCheck& check) {
  // A device is never opened: opening a tty or a FIFO has effects of its own.
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) throw Refused(path, "it is not a regular file");
  const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) throw Refused(path, std::strerror(errno));
  auto log = [&](bool endsTorn) { return std::make_unique<AppendedFile>(path, fd, endsTorn); };
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    throw Refused(path, "it is not a regular file");
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    throw Refused(path, "another bench is writing to it");
  }
  if (info.st_size > 0) {
    if (const auto why = check(FirstLine(fd))) {
      close(fd);
      throw Refused(path, *why);
    }
    return log(EndsTorn(fd, info.st_size));
  }
  auto fresh = log(false);
  if (!header.empty()) fresh->Append(header);
  return fresh;
}
