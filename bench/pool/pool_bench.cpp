// Times one full batch the way the collection workflow runs it: 500 workers with a 10000 ms idle
// wait, 500 posts of a task that sleeps 50 ms, the idle wait lowered to 100 ms, then polling until
// the pool has stopped by itself. The overhead is what is left beyond the 50 ms of work and the
// 100 ms idle wait.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "pool/task_pool.h"

namespace {

std::atomic<int> finished{0};

void SleepTask(int32_t, int32_t) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  finished.fetch_add(1);
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  constexpr int kTasks = 500;
  constexpr double kTarget = 0.4;
  TaskPool pool;
  double worst = 0;
  for (int round = 1; round <= rounds; ++round) {
    finished.store(0);
    const auto start = std::chrono::steady_clock::now();
    if (!pool.Create(kTasks, 10000, 1)) {
      std::printf("round %d: Create failed\n", round);
      return 1;
    }
    const auto created = std::chrono::steady_clock::now();
    for (int i = 1; i <= kTasks; ++i)
      pool.Post(&SleepTask, i, kTasks);
    pool.SetIdleTimeout(100);
    const auto posted = std::chrono::steady_clock::now();
    while (pool.State() != PoolState::Stopped) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto stopped = std::chrono::steady_clock::now();
    const double total = Seconds(stopped - start);
    const double overhead = total - 0.050 - 0.100;
    if (overhead > worst) worst = overhead;
    std::printf(
        "round %d: create %.3f s, posts %.3f s, total %.3f s, overhead %.3f s, tasks run %d\n",
        round, Seconds(created - start), Seconds(posted - created), total, overhead,
        finished.load());
  }
  std::printf("worst overhead %.3f s (target under %.1f s): %s\n", worst, kTarget,
              worst < kTarget ? "met" : "MISSED");
  return worst < kTarget ? 0 : 1;
}
