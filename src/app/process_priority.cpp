#include "app/process_priority.h"

#include <sys/resource.h>

namespace {

// The nice value for a level or a priority-class value; false when it names no class.
bool NiceFor(int level, int& nice) {
  switch (level) {
    case 0:
    case 0x80:
      nice = -10;
      return true;
    case 1:
    case 0x8000:
      nice = -5;
      return true;
    case 2:
    case 0x100:
      nice = -20;
      return true;
    case 3:
    case 0x20:
      nice = 0;
      return true;
    case 4:
    case 0x4000:
      nice = 5;
      return true;
    case 5:
    case 0x40:
      nice = 19;
      return true;
    default:
      return false;
  }
}

}  // namespace

int SetProcessPriority(std::optional<int> processId, std::optional<int> level) {
  int nice = 0;
  if (!NiceFor(level.value_or(0), nice)) return 0;
  if (processId && *processId <= 0) return 0;
  // 0 is the calling thread's own process. Threads started later inherit the nice value of the
  // thread that starts them, so setting it on the main thread at start-up covers the jobs and
  // the workers.
  const id_t who = processId ? static_cast<id_t>(*processId) : 0;
  return setpriority(PRIO_PROCESS, who, nice) == 0 ? 1 : 0;
}
