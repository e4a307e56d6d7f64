#include "pool/task_pool.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "pool/pump.h"

namespace {

using namespace std::chrono_literals;

// Polls until `done` holds or the deadline passes; true when it held.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

bool WaitStopped(const TaskPool& pool, std::chrono::milliseconds limit = 20s) {
  return WaitUntil([&] { return pool.State() == PoolState::Stopped; }, limit);
}

// What the tasks record. Tasks are plain function pointers, so they write to static state.
constexpr int kMaxTasks = 600;
std::array<std::atomic<int>, kMaxTasks> runs;
std::array<std::atomic<int>, kMaxTasks> seconds;
std::atomic<int> finished{0};
std::atomic<bool> gateOpen{false};

void ResetRecords() {
  for (auto& r : runs)
    r.store(0);
  for (auto& s : seconds)
    s.store(0);
  finished.store(0);
  gateOpen.store(false);
}

void RecordTask(int32_t first, int32_t second) {
  runs[first].fetch_add(1);
  seconds[first].store(second);
  finished.fetch_add(1);
}

void SlowTask(int32_t first, int32_t second) {
  std::this_thread::sleep_for(20ms);
  RecordTask(first, second);
}

// Holds its worker until the test opens the gate.
void GatedTask(int32_t first, int32_t second) {
  WaitUntil([] { return gateOpen.load(); }, 30s);
  RecordTask(first, second);
}

class TaskPoolTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetRecords(); }
  void TearDown() override {
    gateOpen.store(true);
    SetPumpFunction(nullptr);
    pool.Stop(StopMode::DropAndWait);
    EXPECT_TRUE(WaitStopped(pool));
  }
  TaskPool pool;
};

TEST(TaskPoolClamps, DefaultsAndClamps) {
  struct Case {
    std::optional<int> given;
    int threads, idleWait, stack;
  };
  const Case cases[] = {
      {{}, 5, 5000, 0},
      {0, 1, 100, 0},
      {-3, 1, 100, 8192},
      {1, 1, 100, 8192},
      {-5, 1, 100, 8192},
      {50, 50, 100, 8192},
      {99, 99, 100, 8192},
      {100, 100, 100, 8192},
      {8191, 8191, 8191, 8192},
      {8192, 8192, 8192, 8192},
      {10000, 10000, 10000, 8192},
      {12288, 12288, 12288, 12288},
      {12289, 12289, 12289, 12288},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given ? *c.given : -999);
    EXPECT_EQ(ClampThreadCount(c.given), c.threads);
    EXPECT_EQ(ClampIdleWait(c.given), c.idleWait);
    EXPECT_EQ(ClampStackSize(c.given), c.stack);
  }
  EXPECT_EQ(PlatformStackBytes(0), 0u);
  EXPECT_GE(PlatformStackBytes(8192), 8192u);
  EXPECT_GE(PlatformStackBytes(8192), static_cast<std::size_t>(PTHREAD_STACK_MIN));
  EXPECT_EQ(PlatformStackBytes(1 << 22), static_cast<std::size_t>(1 << 22));

  TaskPool pool;
  EXPECT_EQ(pool.IdleTimeout(), 0);
  pool.SetIdleTimeout(20);
  EXPECT_EQ(pool.IdleTimeout(), 100);
  pool.SetIdleTimeout(250);
  EXPECT_EQ(pool.IdleTimeout(), 250);
}

TEST_F(TaskPoolTest, FreshPoolIsStoppedIdleAndRefusesPosts) {
  EXPECT_EQ(pool.State(), PoolState::Stopped);
  EXPECT_TRUE(pool.IsIdle());
  EXPECT_EQ(pool.ThreadCount(), 0);
  EXPECT_EQ(pool.QueuedTasks(), 0);
  EXPECT_FALSE(pool.Post(&RecordTask, 1, 1));
  EXPECT_FALSE(pool.PostRaw(reinterpret_cast<std::uintptr_t>(&RecordTask), 1, 1));
  EXPECT_TRUE(pool.Stop());
}

TEST_F(TaskPoolTest, DefaultCreateStartsFiveWorkersAndRefusesASecondCreate) {
  ASSERT_TRUE(pool.Create());
  EXPECT_EQ(pool.State(), PoolState::Running);
  EXPECT_EQ(pool.ThreadCount(), 5);
  EXPECT_EQ(pool.IdleTimeout(), 5000);
  EXPECT_FALSE(pool.Create(2, 100));
  EXPECT_EQ(pool.State(), PoolState::Running);
  EXPECT_EQ(pool.ThreadCount(), 5);
  EXPECT_EQ(pool.IdleTimeout(), 5000);
  EXPECT_FALSE(pool.Post(nullptr, 1, 1));
  EXPECT_FALSE(pool.PostRaw(0, 1, 1));
  EXPECT_TRUE(pool.Stop(StopMode::DropAndWait));
  EXPECT_EQ(pool.State(), PoolState::Stopped);
  EXPECT_EQ(pool.ThreadCount(), 0);
  EXPECT_FALSE(pool.Post(&RecordTask, 1, 1));
}

TEST_F(TaskPoolTest, ThreadCountBelowOneStartsOneWorker) {
  for (int given : {0, -3}) {
    ASSERT_TRUE(pool.Create(given, 10000));
    EXPECT_EQ(pool.ThreadCount(), 1);
    EXPECT_TRUE(pool.Stop(StopMode::DropAndWait));
  }
}

TEST_F(TaskPoolTest, SmallRequestedStackStillRunsTasks) {
  ASSERT_TRUE(pool.Create(2, 100, 0, 8192));
  ASSERT_TRUE(pool.Post(&RecordTask, 7, 70));
  ASSERT_TRUE(WaitStopped(pool));
  EXPECT_EQ(runs[7].load(), 1);
}

TEST_F(TaskPoolTest, ThreeWorkersRunTenTasksOnceEachThenStopByThemselves) {
  ASSERT_TRUE(pool.Create(3, 100));
  for (int i = 1; i <= 10; ++i)
    ASSERT_TRUE(pool.PostRaw(reinterpret_cast<std::uintptr_t>(i % 2 ? &SlowTask : &RecordTask), i,
                             100 + i));
  ASSERT_TRUE(WaitStopped(pool));
  EXPECT_EQ(finished.load(), 10);
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(runs[i].load(), 1) << i;
    EXPECT_EQ(seconds[i].load(), 100 + i) << i;
  }
  EXPECT_EQ(pool.ThreadCount(), 0);
  EXPECT_EQ(pool.QueuedTasks(), 0);
  EXPECT_EQ(pool.BusyThreads(), 0);
  EXPECT_TRUE(pool.IsIdle());
  EXPECT_FALSE(pool.Post(&RecordTask, 1, 1));
}

TEST_F(TaskPoolTest, IdleWhileWorkersStillWait) {
  ASSERT_TRUE(pool.Create(2, 10000));
  ASSERT_TRUE(pool.Post(&RecordTask, 1, 1));
  ASSERT_TRUE(WaitUntil([] { return finished.load() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return pool.BusyThreads() == 0; }));
  EXPECT_TRUE(pool.IsIdle());
  EXPECT_EQ(pool.State(), PoolState::Running);
  EXPECT_EQ(pool.ThreadCount(), 2);
  EXPECT_EQ(pool.IdleThreads(), 2);
}

TEST_F(TaskPoolTest, BatchPostedBeforeLoweringTheIdleWaitIsNotCutShort) {
  // The workflow's pattern: long idle wait while posting, then lowered to 100 ms.
  ASSERT_TRUE(pool.Create(3, 10000, 1));
  for (int i = 1; i <= 30; ++i)
    ASSERT_TRUE(pool.Post(&SlowTask, i, 30));
  pool.SetIdleTimeout(100);
  ASSERT_TRUE(WaitStopped(pool));
  EXPECT_EQ(finished.load(), 30);
  for (int i = 1; i <= 30; ++i)
    EXPECT_EQ(runs[i].load(), 1) << i;
}

// Two workers held inside gated tasks, six more tasks queued behind them.
struct StopCase {
  const char* name;
  StopMode mode;
  bool waits;
  int ran;
};

void PrintTo(const StopCase& c, std::ostream* os) {
  *os << c.name;
}

class TaskPoolStopTest : public TaskPoolTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(TaskPoolStopTest, StopModes) {
  const StopCase& c = GetParam();
  ASSERT_TRUE(pool.Create(2, 10000));
  ASSERT_TRUE(pool.Post(&GatedTask, 1, 8));
  ASSERT_TRUE(pool.Post(&GatedTask, 2, 8));
  for (int i = 3; i <= 8; ++i)
    ASSERT_TRUE(pool.Post(&RecordTask, i, 8));
  ASSERT_TRUE(WaitUntil([&] { return pool.BusyThreads() == 2; }));
  EXPECT_EQ(pool.QueuedTasks(), 6);
  if (c.waits) {
    std::thread opener([&] {
      WaitUntil([&] { return pool.State() == PoolState::Stopping; });
      gateOpen.store(true);
    });
    EXPECT_TRUE(pool.Stop(c.mode));
    opener.join();
    EXPECT_EQ(pool.State(), PoolState::Stopped);
  } else {
    EXPECT_TRUE(pool.Stop(c.mode));
    EXPECT_EQ(pool.State(), PoolState::Stopping);
    EXPECT_FALSE(pool.Stop(StopMode::DropAndWait));
    EXPECT_FALSE(pool.Post(&RecordTask, 9, 8));
    gateOpen.store(true);
    ASSERT_TRUE(WaitStopped(pool));
  }
  EXPECT_EQ(finished.load(), c.ran);
  EXPECT_EQ(runs[1].load() + runs[2].load(), 2);
  EXPECT_EQ(pool.ThreadCount(), 0);
  EXPECT_EQ(pool.QueuedTasks(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, TaskPoolStopTest,
    ::testing::Values(StopCase{"DropAndWait", StopMode::DropAndWait, true, 2},
                      StopCase{"FinishAndWait", StopMode::FinishAndWait, true, 8},
                      StopCase{"DropNoWait", StopMode::DropNoWait, false, 2},
                      StopCase{"FinishNoWait", StopMode::FinishNoWait, false, 8}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TaskPoolTest, StopWaitThatRunsOutReportsFalseAndTheRunStillEnds) {
  ASSERT_TRUE(pool.Create(1, 10000));
  ASSERT_TRUE(pool.Post(&GatedTask, 1, 1));
  ASSERT_TRUE(WaitUntil([&] { return pool.BusyThreads() == 1; }));
  EXPECT_FALSE(pool.Stop(StopMode::DropAndWait, 30));
  EXPECT_EQ(pool.State(), PoolState::Stopping);
  gateOpen.store(true);
  ASSERT_TRUE(WaitStopped(pool));
  EXPECT_EQ(runs[1].load(), 1);
}

std::atomic<int> pumpCalls{0};
void CountingPump() {
  pumpCalls.fetch_add(1);
}
void GateOpeningPump() {
  pumpCalls.fetch_add(1);
  gateOpen.store(true);
}

TEST_F(TaskPoolTest, PumpingCallsTheRegisteredPump) {
  pumpCalls.store(0);
  SetPumpFunction(&CountingPump);
  ASSERT_TRUE(pool.Create(3, 10000, 0));
  EXPECT_EQ(pumpCalls.load(), 0);
  EXPECT_TRUE(pool.Stop(StopMode::DropAndWait));

  ASSERT_TRUE(pool.Create(3, 10000, 1));
  EXPECT_GE(pumpCalls.load(), 3);
  ASSERT_TRUE(pool.Post(&GatedTask, 1, 1));
  ASSERT_TRUE(WaitUntil([&] { return pool.BusyThreads() == 1; }));
  // Only the pump can open the gate, so this Stop returns only if it pumps while waiting.
  pumpCalls.store(0);
  SetPumpFunction(&GateOpeningPump);
  EXPECT_TRUE(pool.Stop(StopMode::DropAndWait, 0, 1));
  EXPECT_GE(pumpCalls.load(), 1);
  EXPECT_EQ(pool.State(), PoolState::Stopped);
  EXPECT_EQ(runs[1].load(), 1);
}

// Set by the pump below: the pool whose start it slows down.
TaskPool* slowStartPool = nullptr;
std::atomic<int> threadsAfterSlowStart{0};

// On its first call, holds the start until the first worker has joined and then for three of its
// idle waits; the second worker is created only after that.
void SlowStartPump() {
  if (pumpCalls.fetch_add(1) != 0) return;
  WaitUntil([] { return slowStartPool->ThreadCount() == 1; });
  const auto joined = std::chrono::steady_clock::now();
  WaitUntil([&] { return std::chrono::steady_clock::now() - joined >= 300ms; });
  threadsAfterSlowStart.store(slowStartPool->ThreadCount());
}

TEST_F(TaskPoolTest, AStartSlowerThanTheIdleWaitKeepsItsWorkers) {
  pumpCalls.store(0);
  slowStartPool = &pool;
  SetPumpFunction(&SlowStartPump);
  // Nothing can be posted before the start returns, so a worker that joined early must not
  // leave on its idle wait meanwhile and make the start fail.
  EXPECT_TRUE(pool.Create(2, 100, 1));
  SetPumpFunction(nullptr);
  EXPECT_EQ(threadsAfterSlowStart.load(), 1);
  EXPECT_EQ(pool.State(), PoolState::Running);
  ASSERT_TRUE(pool.Post(&RecordTask, 3, 4));
  ASSERT_TRUE(WaitStopped(pool));
  EXPECT_EQ(runs[3].load(), 1);
  EXPECT_EQ(seconds[3].load(), 4);
}

int ProcessThreads() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

TEST(TaskPoolRelease, ReleasingARunningPoolLetsItsWorkersLeaveSafely) {
  ResetRecords();
  // Some runtimes (the thread sanitizer's) add a helper thread with the first thread started.
  std::thread([] {}).join();
  const int baseline = ProcessThreads();
  auto pool = std::make_unique<TaskPool>();
  ASSERT_TRUE(pool->Create(2, 10000));
  ASSERT_TRUE(pool->Post(&GatedTask, 1, 1));
  ASSERT_TRUE(pool->Post(&GatedTask, 2, 1));
  for (int i = 3; i <= 5; ++i)
    ASSERT_TRUE(pool->Post(&RecordTask, i, 1));
  ASSERT_TRUE(WaitUntil([&] { return pool->BusyThreads() == 2; }));
  pool.reset();
  gateOpen.store(true);
  // The workers finish their tasks, drop the rest and leave without touching the freed pool.
  EXPECT_TRUE(WaitUntil([&] { return ProcessThreads() <= baseline; }));
  EXPECT_EQ(finished.load(), 2);
}

TEST_F(TaskPoolTest, FiveHundredWorkersRunFiveHundredTasks) {
  ASSERT_TRUE(pool.Create(500, 10000, 1));
  EXPECT_EQ(pool.ThreadCount(), 500);
  for (int i = 1; i <= 500; ++i)
    ASSERT_TRUE(pool.Post(&SlowTask, i, 500));
  pool.SetIdleTimeout(100);
  ASSERT_TRUE(WaitStopped(pool, 60s));
  EXPECT_EQ(finished.load(), 500);
  for (int i = 1; i <= 500; ++i)
    EXPECT_EQ(runs[i].load(), 1) << i;
  EXPECT_EQ(pool.ThreadCount(), 0);
}

TEST_F(TaskPoolTest, TwoHundredRunsBackToBack) {
  // Odd runs end by the idle wait, even runs by a finishing stop; every run starts afresh on
  // the same object and none may see tasks or counters of the one before.
  constexpr int kRuns = 200;
  constexpr int kTasksPerRun = 2;
  for (int r = 0; r < kRuns; ++r) {
    ASSERT_TRUE(pool.Create(2, 100)) << r;
    for (int t = 0; t < kTasksPerRun; ++t) {
      ASSERT_TRUE(pool.Post(&RecordTask, r * kTasksPerRun % kMaxTasks + t, r)) << r;
    }
    if (r % 2 == 0) {
      ASSERT_TRUE(pool.Stop(StopMode::FinishAndWait)) << r;
    } else {
      ASSERT_TRUE(WaitStopped(pool)) << r;
    }
    ASSERT_EQ(finished.load(), (r + 1) * kTasksPerRun) << r;
    ASSERT_EQ(pool.ThreadCount(), 0) << r;
    ASSERT_EQ(pool.QueuedTasks(), 0) << r;
  }
}

TEST(TaskPoolClock, MillisecondClockFollowsTheSteadyClock) {
  const int64_t before = MillisecondClock();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return std::chrono::steady_clock::now() - start >= 30ms; }));
  const int64_t elapsed = MillisecondClock() - before;
  EXPECT_GE(elapsed, 29);
  EXPECT_LT(elapsed, 5000);
}

}  // namespace
