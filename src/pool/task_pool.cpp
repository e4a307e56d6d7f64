#include "pool/task_pool.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>

#include "pool/pump.h"

// What outlives any single run: the state and the idle wait, shared by the pool object and every
// run's workers, so a worker still leaving after the pool is gone touches only memory it owns.
struct PoolCore {
  std::atomic<PoolState> state{PoolState::Stopped};
  std::atomic<int32_t> idleWaitMs{0};
};

// One run: its queue, its start/stop handshake and its counters. Workers hold it by ownership.
// `closed` is set once, under `mutex`, when the run is over (torn down by its last worker, or
// abandoned by a failed start); from then on no worker joins it and no entry is queued to it.
struct PoolRun {
  std::shared_ptr<PoolCore> core;
  std::mutex mutex;
  std::condition_variable entryReady;
  std::deque<QueueEntry> entries;
  bool closed = false;
  // The handshake works as an auto-reset event that exists only while `Create` or `Stop` waits.
  std::condition_variable handshake;
  bool handshakeExists = false;
  bool handshakeSignalled = false;
  std::atomic<int32_t> runFlag{0};
  std::atomic<int32_t> liveThreads{0};
  std::atomic<int32_t> busyThreads{0};
  std::atomic<int32_t> queuedTasks{0};
};

namespace {

bool IsStopPacket(const QueueEntry& entry) {
  return entry.task == StopPacket.task && entry.first == StopPacket.first &&
         entry.second == StopPacket.second;
}

// Queues one entry unless the run is over; counts it as queued when asked.
bool Enqueue(PoolRun& run, const QueueEntry& entry, bool countIt) {
  {
    std::lock_guard lock(run.mutex);
    if (run.closed) return false;
    if (countIt) run.queuedTasks.fetch_add(1);
    run.entries.push_back(entry);
  }
  run.entryReady.notify_one();
  return true;
}

}  // namespace

int64_t MillisecondClock() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int ClampThreadCount(std::optional<int> threadCount) {
  if (!threadCount) return 5;
  return std::max(*threadCount, 1);
}

int ClampIdleWait(std::optional<int> idleWaitMs) {
  if (!idleWaitMs) return 5000;
  return std::max(*idleWaitMs, 100);
}

int ClampStackSize(std::optional<int> stackSize) {
  if (!stackSize || *stackSize == 0) return 0;
  if (*stackSize < 8192) return 8192;
  return *stackSize / 4096 * 4096;
}

std::size_t PlatformStackBytes(int clampedStackSize) {
  if (clampedStackSize <= 0) return 0;
  long platformMin = sysconf(_SC_THREAD_STACK_MIN);
  if (platformMin <= 0) platformMin = PTHREAD_STACK_MIN;
  return std::max(static_cast<std::size_t>(clampedStackSize),
                  static_cast<std::size_t>(platformMin));
}

TaskPool::TaskPool() : core_(std::make_shared<PoolCore>()) {}

// Workers own their run and the core, so asking them to leave is enough; they may finish later.
TaskPool::~TaskPool() {
  Stop(StopMode::DropNoWait);
}

std::shared_ptr<PoolRun> TaskPool::CurrentRun() const {
  std::lock_guard lock(runMutex_);
  return run_;
}

void* TaskPool::WorkerEntry(void* arg) {
  std::unique_ptr<std::shared_ptr<PoolRun>> run(static_cast<std::shared_ptr<PoolRun>*>(arg));
  WorkerLoop(std::move(*run));
  return nullptr;
}

void TaskPool::WorkerLoop(std::shared_ptr<PoolRun> run) {
  PoolCore& core = *run->core;
  {
    std::lock_guard lock(run->mutex);
    // A worker that starts after its run was abandoned or torn down must not join it.
    if (run->closed) return;
    run->liveThreads.fetch_add(1);
    if (run->handshakeExists) {
      run->handshakeSignalled = true;
      run->handshake.notify_all();
    }
  }
  for (;;) {
    QueueEntry entry;
    {
      const int waitMs = core.idleWaitMs.load();
      std::unique_lock lock(run->mutex);
      const bool got = run->entryReady.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
        return !run->entries.empty() || run->closed;
      });
      // Nothing can have been posted while the start is still going on, so an idle wait that ends
      // then says nothing: leaving would only make a slow start fail.
      if (!got && core.state.load() == PoolState::Starting) continue;
      if (!got || run->entries.empty()) break;
      entry = run->entries.front();
      run->entries.pop_front();
      if (run->runFlag.load() != 1 || IsStopPacket(entry)) break;
      // Busy before dequeued-count drops, so the pool never looks idle while a task starts.
      run->busyThreads.fetch_add(1);
      run->queuedTasks.fetch_sub(1);
    }
    reinterpret_cast<TaskFunction>(entry.task)(entry.first, entry.second);
    run->busyThreads.fetch_sub(1);
  }

  std::lock_guard lock(run->mutex);
  if (run->liveThreads.fetch_sub(1) - 1 != 0) return;
  // The last worker closes the run: queue first, then the handshake, the flags and counters, and
  // the state last of all, so no new start overlaps this teardown.
  run->closed = true;
  run->entries.clear();
  if (run->handshakeExists) {
    run->handshakeExists = false;
    run->handshakeSignalled = true;
    run->handshake.notify_all();
  }
  run->runFlag.store(0);
  run->busyThreads.store(0);
  run->queuedTasks.store(0);
  // A run still starting is settled by `Create`, which sees it closed.
  PoolState state = core.state.load();
  while (state != PoolState::Starting &&
         !core.state.compare_exchange_weak(state, PoolState::Stopped)) {
  }
}

bool TaskPool::Create(std::optional<int> threadCount, std::optional<int> idleWaitMs,
                      std::optional<int> pumpEvents, std::optional<int> stackSize) {
  PoolState expected = PoolState::Stopped;
  if (!core_->state.compare_exchange_strong(expected, PoolState::Starting)) return false;
  const int count = ClampThreadCount(threadCount);
  core_->idleWaitMs.store(ClampIdleWait(idleWaitMs));
  const std::size_t stackBytes = PlatformStackBytes(ClampStackSize(stackSize));
  const bool pump = pumpEvents.value_or(0) == 1;

  auto run = std::make_shared<PoolRun>();
  run->core = core_;
  run->runFlag.store(1);
  run->handshakeExists = true;
  {
    std::lock_guard lock(runMutex_);
    run_ = run;
  }

  int created = 0;
  int failures = 0;
  for (int attempt = 1; attempt <= count; ++attempt) {
    pthread_attr_t attr;
    bool started = false;
    if (pthread_attr_init(&attr) == 0) {
      if (pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0 &&
          (stackBytes == 0 || pthread_attr_setstacksize(&attr, stackBytes) == 0)) {
        auto* arg = new std::shared_ptr<PoolRun>(run);
        pthread_t thread;
        started = pthread_create(&thread, &attr, &TaskPool::WorkerEntry, arg) == 0;
        if (!started) delete arg;
      }
      pthread_attr_destroy(&attr);
    }
    if (started) {
      ++created;
      failures = 0;
    } else if (++failures >= 5) {
      break;
    }
    if (pump) PumpEvents();
  }

  std::unique_lock lock(run->mutex);
  if (created > 0) {
    const auto timeout = std::chrono::milliseconds(2LL * created + 1000);
    for (;;) {
      const bool signalled = run->handshake.wait_for(
          lock, timeout, [&] { return run->handshakeSignalled || run->closed; });
      if (!signalled || run->closed) break;
      run->handshakeSignalled = false;
      if (run->liveThreads.load() >= created) break;
      if (pump) {
        lock.unlock();
        PumpEvents();
        lock.lock();
      }
    }
  }
  run->handshakeExists = false;
  run->handshakeSignalled = false;
  if (run->closed || run->liveThreads.load() == 0) {
    // Nobody joined (or everybody already left): abandon the run so late workers stay out.
    run->closed = true;
    run->runFlag.store(0);
    run->entries.clear();
    core_->state.store(PoolState::Stopped);
    return false;
  }
  core_->state.store(PoolState::Running);
  return true;
}

bool TaskPool::Post(TaskFunction task, int32_t first, int32_t second) {
  return PostRaw(reinterpret_cast<std::uintptr_t>(task), first, second);
}

bool TaskPool::PostRaw(std::uintptr_t taskAddress, int32_t first, int32_t second) {
  if (taskAddress == 0 || core_->state.load() != PoolState::Running) return false;
  auto run = CurrentRun();
  if (!run) return false;
  return Enqueue(*run, QueueEntry{taskAddress, first, second}, true);
}

bool TaskPool::Stop(std::optional<StopMode> mode, std::optional<int> waitMs,
                    std::optional<int> pumpEvents) {
  PoolState expected = PoolState::Running;
  if (!core_->state.compare_exchange_strong(expected, PoolState::Stopping)) {
    return expected == PoolState::Stopped;
  }
  int modeValue = mode ? static_cast<int>(*mode) : 0;
  if (modeValue < 0 || modeValue > 3) modeValue = 0;
  const bool waits = modeValue == 0 || modeValue == 1;
  const bool drops = modeValue == 0 || modeValue == 2;
  const bool pump = pumpEvents.value_or(0) == 1;
  const int wait = waitMs.value_or(0);

  auto run = CurrentRun();
  if (waits) {
    std::lock_guard lock(run->mutex);
    run->handshakeExists = !run->closed;
    run->handshakeSignalled = false;
  }
  if (drops) run->runFlag.store(0);
  const int live = run->liveThreads.load();
  for (int i = 1; i <= live; ++i) {
    Enqueue(*run, StopPacket, false);
    if (pump && i % 100 == 0) PumpEvents();
  }
  if (!waits) return true;

  const int64_t start = (pump && wait > 0) ? MillisecondClock() : 0;
  std::unique_lock lock(run->mutex);
  const auto woken = [&] { return run->handshakeSignalled || run->closed; };
  bool result = true;
  // The teardown sets `Stopped` under the run's lock, so reading the state here cannot miss it.
  while (core_->state.load() == PoolState::Stopping) {
    if (pump) {
      if (wait > 0 && MillisecondClock() - start > wait) {
        result = false;
        break;
      }
      run->handshake.wait_for(lock, std::chrono::milliseconds(20), woken);
      run->handshakeSignalled = false;
      lock.unlock();
      PumpEvents();
      lock.lock();
    } else if (wait < 1) {
      run->handshake.wait(lock, woken);
      run->handshakeSignalled = false;
    } else {
      if (!run->handshake.wait_for(lock, std::chrono::milliseconds(wait), woken)) {
        result = false;
        break;
      }
      run->handshakeSignalled = false;
    }
  }
  run->handshakeExists = false;
  run->handshakeSignalled = false;
  return result;
}

PoolState TaskPool::State() const {
  return core_->state.load();
}

void TaskPool::SetIdleTimeout(int ms) {
  core_->idleWaitMs.store(std::max(ms, 100));
}

int TaskPool::IdleTimeout() const {
  return core_->idleWaitMs.load();
}

int TaskPool::IdleThreads() const {
  auto run = CurrentRun();
  return run ? run->liveThreads.load() - run->busyThreads.load() : 0;
}

int TaskPool::BusyThreads() const {
  auto run = CurrentRun();
  return run ? run->busyThreads.load() : 0;
}

int TaskPool::QueuedTasks() const {
  auto run = CurrentRun();
  return run ? run->queuedTasks.load() : 0;
}

int TaskPool::ThreadCount() const {
  auto run = CurrentRun();
  return run ? run->liveThreads.load() : 0;
}

bool TaskPool::IsIdle() const {
  auto run = CurrentRun();
  return !run || (run->queuedTasks.load() == 0 && run->busyThreads.load() == 0);
}
