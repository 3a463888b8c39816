#include "serial/adaptor_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

constexpr timespec kSettle{0, 200'000'000};

// udev makes a link under a name of its own, NAME.tmp-DEVICE or .#NAME..., then renames it.
bool PassingName(const std::string& name) {
  return name.starts_with('.') || name.find(".tmp-") != std::string::npos;
}

// An adaptor is the device behind the link, not the link: its node, made again when it is plugged
// in again, has another inode, or the same number born again (a file system that reuses inode
// numbers). A link made again over itself, as udev does on a change event, or a second link to
// the same device, is the same adaptor.
std::optional<std::string> Appearance(const fs::path& entry) {
  struct statx facts {};
  if (statx(AT_FDCWD, entry.c_str(), 0, STATX_INO | STATX_BTIME, &facts) != 0) return std::nullopt;
  std::string appearance = std::to_string(facts.stx_ino);
  if (facts.stx_mask & STATX_BTIME) {
    appearance += "@" + std::to_string(facts.stx_btime.tv_sec) + "." + std::to_string(facts.stx_btime.tv_nsec);
  }
  return appearance;
}

// The entries of one folder; with a device named, only the entry that is that device's path.
class InotifyWatch final : public AdaptorWatch {
 public:
  InotifyWatch(const fs::path& folder, std::optional<fs::path> named)
      : folder_(fs::absolute(folder)), named_(std::move(named)), fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0) throw std::runtime_error(std::string("cannot watch for adaptors: ") + std::strerror(errno));
    Arm();
  }
  ~InotifyWatch() override { close(fd_); }
  InotifyWatch(const InotifyWatch&) = delete;
  InotifyWatch& operator=(const InotifyWatch&) = delete;

  std::string Where() const override { return (named_ ? *named_ : folder_).string(); }

  // Armed before listing, so that a change made while the list is read still wakes the wait.
  std::vector<Entry> Entries() override {
    Arm();
    std::vector<Entry> entries;
    std::error_code error;
    for (fs::directory_iterator each(folder_, error), end; !error && each != end; each.increment(error)) {
      if (PassingName(each->path().filename().string()) || (named_ && each->path() != *named_)) continue;
      const auto appearance = Appearance(each->path());
      std::error_code gone;
      const fs::path device = fs::canonical(each->path(), gone);
      if (!appearance || gone) continue;
      entries.push_back({device.string(), *appearance, each->path().string()});
    }
    std::ranges::sort(entries, {}, &Entry::link);
    // Two links to one device are one adaptor, shown under the first name.
    std::vector<Entry> adaptors;
    for (const Entry& entry : entries) {
      if (std::ranges::find(adaptors, entry) == adaptors.end()) adaptors.push_back(entry);
    }
    return adaptors;
  }

  // Ctrl-C (and the bench's SIGTERM and SIGHUP) is held back between asking whether one came and
  // the sleep, which lets it in: one that comes in between still ends the sleep.
  void Wait(const std::function<bool()>& stopRequested) override {
    sigset_t interrupt;
    sigset_t before;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigaddset(&interrupt, SIGTERM);
    sigaddset(&interrupt, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &interrupt, &before);
    if (!stopRequested()) {
      pollfd changes{fd_, POLLIN, 0};
      ppoll(&changes, 1, nullptr, &before);
      // The system makes a link under a passing name and renames it: only a folder that has
      // stayed still for a moment is listed.
      do {
        Drain();
      } while (!stopRequested() && ppoll(&changes, 1, &kSettle, &before) > 0);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    Drain();
  }

 private:
  // The folder, or while it is missing the nearest folder above it that exists, where its
  // making shows.
  void Arm() {
    for (fs::path at = folder_;; at = at.parent_path()) {
      const int watch = inotify_add_watch(fd_, at.c_str(), kChanges);
      if (watch >= 0) {
        if (watched_ >= 0 && watched_ != watch) inotify_rm_watch(fd_, watched_);
        watched_ = watch;
        return;
      }
      if ((errno != ENOENT && errno != ENOTDIR) || at == at.root_path()) {
        throw std::runtime_error("cannot watch " + at.string() + " for adaptors: " + std::strerror(errno));
      }
    }
  }

  // What changed does not matter: the caller lists the folder again.
  void Drain() {
    alignas(inotify_event) char events[4096];
    while (read(fd_, events, sizeof events) > 0) {
    }
  }

  fs::path folder_;
  std::optional<fs::path> named_;
  int fd_;
  int watched_ = -1;
};

}  // namespace

std::unique_ptr<AdaptorWatch> WatchDevice(const std::string& device, const SystemRoots& /*roots*/) {
  const fs::path named = fs::absolute(device).lexically_normal();
  return std::make_unique<InotifyWatch>(named.parent_path(), named);
}

std::unique_ptr<AdaptorWatch> WatchAdaptors(const SystemRoots& roots) {
  return std::make_unique<InotifyWatch>(roots.serialById, std::nullopt);
}
