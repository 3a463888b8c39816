#include "link/clock.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace {

// The kernel's scheduling attributes as sched_setattr takes them (glibc has no wrapper, and the
// kernel's header clashes with glibc's).
struct SchedulingAttributes {
  std::uint32_t size;
  std::uint32_t policy;
  std::uint64_t flags;
  std::int32_t nice;
  std::uint32_t priority;
  std::uint64_t runtime;  // for the normal policy, the time slice
  std::uint64_t deadline;
  std::uint64_t period;
};
// The two policies whose threads share the processor by weight and take a time slice.
constexpr std::uint32_t kNormalPolicy = 0;
constexpr std::uint32_t kBatchPolicy = 3;
// The shortest slice the scheduler grants: a waiting thread runs for microseconds at a time.
constexpr std::uint64_t kShortestSliceNs = 100'000;

// Sets the time slice of the calling thread, in nanoseconds (0: the scheduler's default), and
// keeps its policy and priority.
void SetTimeSlice(std::uint64_t nanoseconds) {
  SchedulingAttributes attributes{};
  if (syscall(SYS_sched_getattr, 0, &attributes, sizeof attributes, 0) != 0 ||
      (attributes.policy != kNormalPolicy && attributes.policy != kBatchPolicy)) {
    return;
  }
  attributes.size = sizeof attributes;
  attributes.runtime = nanoseconds;
  syscall(SYS_sched_setattr, 0, &attributes, 0);
}

}  // namespace

void timeBeginPeriod(unsigned /*ms*/) { SetTimeSlice(kShortestSliceNs); }

void timeEndPeriod(unsigned /*ms*/) { SetTimeSlice(0); }
