// The task pool: worker threads fed from one first-in, first-out queue. A pool runs one batch at a
// time: `Create` starts the workers, the owner posts tasks, and every worker leaves once it has
// waited the idle time without getting a task (an idle wait that ends while `Create` is still
// starting the others does not count: nothing could have been posted yet). The last worker to leave
// puts the pool back into `PoolState::Stopped`, so a batch ends by itself; `State() == Stopped`
// after a successful start means every task posted to that run has returned and every worker has
// exited.
//
// Promises and threads:
// - Every member may be called from any thread. `Create` and `Stop` are meant for one owning
//   thread at a time; a second concurrent call is refused through the state, never corrupted.
// - `Post`/`PostRaw` give tasks their two integers unchanged and in posting order; everything the
//   posting thread wrote before the post is visible to the task.
// - A worker of an earlier run never runs tasks of, or tears down, a later run: each run's queue
//   and counters live in an object its workers share by ownership.
// - Destroying the pool asks running workers to leave (as `StopMode::DropNoWait`) and returns; no
//   worker touches the destroyed object afterwards.
// - With pumping (the value 1) the pool calls `PumpEvents` (pool/pump.h) while it starts or stops
//   workers; it never touches a window otherwise. Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

enum class PoolState : int32_t { Stopped = 0, Running = 1, Starting = 2, Stopping = 3 };

enum class StopMode : int32_t {
  DropAndWait = 0,
  FinishAndWait = 1,
  DropNoWait = 2,
  FinishNoWait = 3
};

// A task: runs on a worker thread with the two integers it was posted with.
using TaskFunction = void (*)(int32_t first, int32_t second);

// One queue entry: a task address and its two integers.
struct QueueEntry {
  std::uintptr_t task = 0;
  int32_t first = 0;
  int32_t second = 0;
};

// The entry that makes the worker taking it leave: task address -2, both integers all bits set.
inline constexpr QueueEntry StopPacket{static_cast<std::uintptr_t>(-2), -1, -1};

// Milliseconds from an arbitrary fixed origin on the steady clock, truncated toward zero.
int64_t MillisecondClock();

// The defaults and clamps that `Create` applies to its arguments.
int ClampThreadCount(std::optional<int> threadCount);  // 5 when omitted, else at least 1
int ClampIdleWait(std::optional<int> idleWaitMs);      // 5000 when omitted, else at least 100
// 0 (the platform's default) when omitted or 0; 8192 below 8192; else rounded down to 4096s.
int ClampStackSize(std::optional<int> stackSize);
// The stack actually asked of the platform for a clamped size: 0 stays the platform's default,
// anything else is raised to at least the platform's minimum thread stack.
std::size_t PlatformStackBytes(int clampedStackSize);

struct PoolCore;
struct PoolRun;

class TaskPool {
 public:
  TaskPool();
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Starts a run; true when the pool is `Running`. False, changing nothing, unless `Stopped`.
  bool Create(std::optional<int> threadCount = {}, std::optional<int> idleWaitMs = {},
              std::optional<int> pumpEvents = {}, std::optional<int> stackSize = {});
  // Queues a task; false when the pool is not `Running`, the task is null or the queue is gone.
  bool Post(TaskFunction task, int32_t first, int32_t second);
  bool PostRaw(std::uintptr_t taskAddress, int32_t first, int32_t second);
  // Ends a run early. True when the pool is or becomes `Stopped` as asked; false when it is
  // `Starting` or `Stopping`, or when the wait runs out (the workers still leave later).
  bool Stop(std::optional<StopMode> mode = {}, std::optional<int> waitMs = {},
            std::optional<int> pumpEvents = {});

  PoolState State() const;
  // Idle wait for every worker's next wait, at least 100 ms.
  void SetIdleTimeout(int ms);
  int IdleTimeout() const;
  int IdleThreads() const;
  int BusyThreads() const;
  int QueuedTasks() const;
  int ThreadCount() const;
  bool IsIdle() const;

 private:
  static void WorkerLoop(std::shared_ptr<PoolRun> run);
  static void* WorkerEntry(void* arg);
  std::shared_ptr<PoolRun> CurrentRun() const;

  std::shared_ptr<PoolCore> core_;
  mutable std::mutex runMutex_;
  std::shared_ptr<PoolRun> run_;
};
