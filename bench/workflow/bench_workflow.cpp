// The whole tool as its users feel it: the real window on the offscreen platform, the real
// workflow and pool, and the demo site on a loopback address, port 80, answering every request
// after 100 ms. It clicks the buttons the way a user does and measures
// - the wall time of collection runs (collect click to all three buttons enabled) against the time
//   the batch schedule itself implies, with a trace of every batch;
// - the longest gap between two ticks of the window's progress timer (the designed pause before a
//   batch left out);
// - the peak resident memory of a 5000-chapter run of 10 KB chapters, with the site in a child
//   process so that the peak is the tool's alone;
// - the review commands of the chapter list's menu and the export, on the 5000 filled rows.
// Every measure ends in a line "RESULT<TAB>what<TAB>measured<TAB>target<TAB>pass|FAIL"; the exit
// code is 0 when every target is met, 1 when one is missed, 2 when the bench could not run.
//
// Usage: bench_workflow [--repeats R] [--sizes N,N,...] [--no-memory-run]
// Main thread only, apart from the pool monitor, which only reads the pool and atomic counters.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_start.h"
#include "app/main_window.h"
#include "app/report_model.h"
#include "demo_site.h"
#include "workflow/app_state.h"
#include "workflow/export_file.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLatencyMs = 100;
constexpr int kChapterBytes = 10 * 1024;
constexpr int kBatchSize = 500;
// The designed waits of the schedule.
constexpr double kFeedPeriodMs = 200;
constexpr double kPauseMs = 1000;
constexpr double kBatchIdleMs = 100;
constexpr double kCreateIdleMs = 10000;
constexpr double kSmallDonePeriodMs = 100;

constexpr double kRatioTarget = 1.15;
constexpr double kStallTargetMs = 100;
constexpr double kMemoryTargetMb = 300;
constexpr double kReviewTargetMs = 200;
constexpr double kExportTargetMs = 2000;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of the calling thread or of the whole process, in ms.
double CpuMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The calling thread's time spent runnable on a run queue but not running, in ms.
double RunQueueWaitMs() {
  std::ifstream in("/proc/thread-self/schedstat");
  long long run = 0, wait = 0;
  in >> run >> wait;
  return wait / 1e6;
}

bool allMet = true;

void Result(const std::string& what, const std::string& measured, const std::string& target,
            bool met) {
  if (!met) allMet = false;
  std::printf("RESULT\t%s\t%s\t%s\t%s\n", what.c_str(), measured.c_str(), target.c_str(),
              met ? "pass" : "FAIL");
  std::fflush(stdout);
}

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Handles events until `done` holds; false when `limit` passed first.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  QTimer wake;
  wake.start(10);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// A loopback address of this process's own, above the second bytes the test processes pick
// (1 to 200).
std::string OwnLoopbackAddress() {
  const unsigned pid = static_cast<unsigned>(getpid());
  return "127." + std::to_string(201 + (pid >> 16) % 50) + "." + std::to_string((pid >> 8) & 0xFF) +
         "." + std::to_string((pid & 0xFF) | 1);
}

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

// The first three fields of /proc/loadavg.
std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// Resets the peak resident size (VmHWM) to the current one; false when the kernel refuses.
bool ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

// What the main thread sees, stamped before the handlers run: ticks of the window's timers,
// the moment all three buttons are enabled again, and message boxes (dismissed at once).
class Watcher : public QObject {
 public:
  explicit Watcher(MainWindow& window) : window_(window) {
    window.installEventFilter(this);
    window.collectProgressTimer->installEventFilter(this);
    window.batchFeedTimer->installEventFilter(this);
    window.matchButton->installEventFilter(this);
    window.collectButton->installEventFilter(this);
    window.exportButton->installEventFilter(this);
    // Connected after the window's own handler, so this runs once the feed tick has returned.
    QObject::connect(window.batchFeedTimer, &QTimer::timeout, this, [this] {
      if (!feedTicks.empty() && appState->batchesPosted != postedBefore_) {
        feedTicks.back().end = Clock::now();
        feedTicks.back().posted = true;
      }
    });
  }

  struct FeedTick {
    Clock::time_point start, end;
    bool posted = false;
  };

  void Arm() {
    progressTicks.clear();
    progressTickCpu.clear();
    progressTickQueued.clear();
    feedTicks.clear();
    repaints = 0;
    allEnabled = false;
  }
  void WatchMessageBoxes(bool on) {
    if (on) {
      qApp->installEventFilter(this);
    } else {
      qApp->removeEventFilter(this);
    }
  }

  std::vector<Clock::time_point> progressTicks;
  std::vector<double> progressTickCpu;     // the main thread's CPU time at each tick
  std::vector<double> progressTickQueued;  // and its time waiting for a core
  std::vector<FeedTick> feedTicks;
  bool allEnabled = false;
  Clock::time_point allEnabledAt;
  int repaints = 0;  // passes of the window's repaint (update requests handled)
  int boxesShown = 0;
  Clock::time_point boxShownAt;
  QString boxText;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto now = Clock::now();
    if (event->type() == QEvent::UpdateRequest && watched == &window_) {
      if (!allEnabled) ++repaints;
    } else if (event->type() == QEvent::Timer) {
      if (watched == window_.collectProgressTimer) {
        progressTicks.push_back(now);
        progressTickCpu.push_back(CpuMs(CLOCK_THREAD_CPUTIME_ID));
        progressTickQueued.push_back(RunQueueWaitMs());
      }
      if (watched == window_.batchFeedTimer) {
        feedTicks.push_back({now, now, false});
        postedBefore_ = appState->batchesPosted;
      }
    } else if (event->type() == QEvent::EnabledChange) {
      if (!allEnabled && window_.matchButton->isEnabled() && window_.collectButton->isEnabled() &&
          window_.exportButton->isEnabled()) {
        allEnabled = true;
        allEnabledAt = now;
      }
    } else if (event->type() == QEvent::Show) {
      if (auto* box = qobject_cast<QMessageBox*>(watched)) {
        ++boxesShown;
        boxShownAt = now;
        boxText = box->text();
        QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  MainWindow& window_;
  int postedBefore_ = 0;
};

// One batch as the pool monitor saw it, in ms from the collect click.
struct BatchTrace {
  double starting = -1;   // Create began (pool Starting)
  double running = -1;    // all workers up (pool Running)
  double done = -1;       // the batch's last task returned
  double stopped = -1;    // the last worker left (pool Stopped)
  int liveAfterDone = 0;  // workers still there 300 ms after the last task
};

// Polls the pool and the workflow's atomic counters every millisecond on a thread of its own.
class PoolMonitor {
 public:
  PoolMonitor(int chapters, Clock::time_point origin) : chapters_(chapters), origin_(origin) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~PoolMonitor() { Finish(); }
  void Finish() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  std::vector<BatchTrace> batches;

 private:
  void Loop() {
    AppState& s = *appState;
    PoolState last = PoolState::Stopped;
    while (!stop_.load()) {
      const double now = Ms(Clock::now() - origin_);
      const PoolState state = s.taskPool.State();
      if (state != last) {
        if (state == PoolState::Starting ||
            (last == PoolState::Stopped && batches.empty() && state == PoolState::Running)) {
          batches.push_back({});
          batches.back().starting = now;
        }
        if (!batches.empty()) {
          BatchTrace& b = batches.back();
          if (state == PoolState::Running && b.running < 0) b.running = now;
          if (state == PoolState::Stopped && b.running >= 0) {
            b.stopped = now;
            if (b.done < 0) b.done = now;
          }
        }
        last = state;
      }
      if (!batches.empty() && state == PoolState::Running) {
        BatchTrace& b = batches.back();
        const int cumulative = std::min(kBatchSize * static_cast<int>(batches.size()), chapters_);
        const int finished = s.collectCounter.load() - 90 + s.lastChapterDone.load();
        if (b.done < 0 && (finished >= cumulative ||
                           (chapters_ <= kBatchSize && s.lastChapterDone.load() == 1 &&
                            s.taskPool.BusyThreads() == 0 && s.taskPool.QueuedTasks() == 0))) {
          b.done = now;
        }
        if (b.done >= 0 && !sampled_ && now >= b.done + 300) {
          b.liveAfterDone = s.taskPool.ThreadCount();
          sampled_ = true;
        }
      }
      if (state == PoolState::Starting) sampled_ = false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  int chapters_;
  Clock::time_point origin_;
  std::atomic<bool> stop_{false};
  bool sampled_ = false;
  std::thread thread_;
};

// A worker that got no task leaves only when the 10000 ms wait it began as it started runs out,
// long after the others' 100 ms; a busy machine delays the others by far less than this bound.
bool Starved(const BatchTrace& b) {
  return b.stopped - b.done >= 5000;
}

struct RunOutcome {
  bool ok = false;
  double wallMs = 0;
  double impliedMs = 0;
  double worstGapMs = 0;
  double worstGapAtMs = 0;
  double worstGapCpuMs = 0;     // what the main thread ran during the worst gap
  double worstGapQueuedMs = 0;  // and how long it waited for a core in it
  double cpuMs = 0;             // the process's CPU time over the run
  int starvedBatches = 0;
  long peakKb = 0;
  int emptyRows = 0;
};

// The wall time the batch schedule implies with zero cost for everything but its designed waits.
// A small run: the fetch, the workers' 100 ms idle wait, then the done timer's next 100 ms tick
// (the pool stops just as the first tick comes). A large run: the first feed tick one period after
// the job; per batch the 1000 ms pause, the fetch and the 100 ms idle wait; between batches and
// at the end half a 200 ms period on average for the next feed or done tick. A batch in which a
// worker got no task ends only when that worker's 10000 ms wait, begun as it started, runs out.
double ImpliedMs(int chapters, const std::vector<BatchTrace>& batches) {
  const auto starved = [&](size_t i) { return i < batches.size() && Starved(batches[i]); };
  if (chapters <= kBatchSize) {
    return starved(0) ? kCreateIdleMs + kSmallDonePeriodMs / 2
                      : kLatencyMs + kBatchIdleMs + kSmallDonePeriodMs;
  }
  const int count = (chapters + kBatchSize - 1) / kBatchSize;
  double total = kFeedPeriodMs;
  for (int i = 0; i < count; ++i) {
    total += kPauseMs + (starved(i) ? kCreateIdleMs : kLatencyMs + kBatchIdleMs);
    total += kFeedPeriodMs / 2;
  }
  return total;
}

bool SetToc(MainWindow& window, const std::string& url) {
  window.tocUrlEdit->setText(QString::fromStdString(url));
  window.matchButton->click();
  return PumpUntil(
      [&] { return window.matchButton->isEnabled() && window.collectButton->isEnabled(); },
      std::chrono::seconds(120));
}

RunOutcome CollectRun(MainWindow& window, Watcher& watcher, int chapters) {
  RunOutcome out;
  watcher.Arm();
  const double cpu0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  const Clock::time_point t0 = Clock::now();
  PoolMonitor monitor(chapters, t0);
  window.collectButton->click();
  const bool ended = PumpUntil([&] { return watcher.allEnabled; }, std::chrono::minutes(5));
  // The pool may still be winding down after a failed run; the trace needs its last state.
  monitor.Finish();
  if (!ended) {
    std::printf("  N=%d: the run did not end within 5 minutes\n", chapters);
    return out;
  }
  out.ok = true;
  out.cpuMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  out.wallMs = Ms(watcher.allEnabledAt - t0);
  out.impliedMs = ImpliedMs(chapters, monitor.batches);
  for (const BatchTrace& b : monitor.batches)
    out.starvedBatches += Starved(b) ? 1 : 0;

  // Gaps between progress ticks up to the end of the run; a gap that holds a feed tick's pause
  // is counted without the designed 1000 ms.
  const auto& ticks = watcher.progressTicks;
  for (size_t i = 1; i < ticks.size() && ticks[i] <= watcher.allEnabledAt; ++i) {
    double gap = Ms(ticks[i] - ticks[i - 1]);
    for (const Watcher::FeedTick& f : watcher.feedTicks) {
      if (f.posted && f.start >= ticks[i - 1] && f.start < ticks[i]) gap -= kPauseMs;
    }
    if (gap > out.worstGapMs) {
      out.worstGapMs = gap;
      out.worstGapAtMs = Ms(ticks[i - 1] - t0);
      out.worstGapCpuMs = watcher.progressTickCpu[i] - watcher.progressTickCpu[i - 1];
      out.worstGapQueuedMs = watcher.progressTickQueued[i] - watcher.progressTickQueued[i - 1];
    }
  }

  const ReportModel* model = window.chapterModel;
  for (int r = 0; r < model->RowCount(); ++r) {
    if (model->CellText(r, 1).empty()) ++out.emptyRows;
  }
  if (model->RowCount() != chapters) {
    std::printf("  N=%d: %d rows instead of %d\n", chapters, model->RowCount(), chapters);
    out.ok = false;
  }

  std::printf(
      "  N=%d: wall %.0f ms, implied %.0f ms, ratio %.3f; worst tick gap %.0f ms at %.0f ms"
      " (main thread ran %.0f ms of it, waited %.0f ms for a core); process CPU %.0f ms"
      " (%.2f ms a chapter); %d empty rows; %d window repaints; %d batches ended by a 10 s"
      " idle wait; load %s\n",
      chapters, out.wallMs, out.impliedMs, out.wallMs / out.impliedMs, out.worstGapMs,
      out.worstGapAtMs, out.worstGapCpuMs, out.worstGapQueuedMs, out.cpuMs, out.cpuMs / chapters,
      out.emptyRows, watcher.repaints, out.starvedBatches, LoadAverage().c_str());
  double previousStop = 0;
  for (size_t i = 0; i < monitor.batches.size(); ++i) {
    const BatchTrace& b = monitor.batches[i];
    std::printf(
        "    batch %zu: start %.0f (after idle %.0f), create %.0f, tasks %.0f, "
        "last worker left %.0f after the last task, %d workers left over\n",
        i + 1, b.starting, b.starting - previousStop, b.running - b.starting, b.done - b.running,
        b.stopped - b.done, b.liveAfterDone);
    previousStop = b.stopped;
  }
  std::fflush(stdout);
  return out;
}

// The demo site in a child process: `norvel-demo-site` prints its address once it listens.
struct ChildSite {
  pid_t pid = -1;
  std::string url;
};

ChildSite StartChildSite(const std::string& address, int chapters) {
  ChildSite child;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return child;
  const std::string chaptersArg = std::to_string(chapters);
  const std::string bytesArg = std::to_string(kChapterBytes);
  const std::string latencyArg = std::to_string(kLatencyMs);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execl(NORVEL_DEMO_SITE_PROGRAM, "norvel-demo-site", "--address", address.c_str(), "--port",
          "80", "--chapters", chaptersArg.c_str(), "--chapter-bytes", bytesArg.c_str(),
          "--latency-ms", latencyArg.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  if (pid < 0) {
    close(pipeFds[0]);
    return child;
  }
  child.pid = pid;
  std::string seen;
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline) {
    pollfd p{pipeFds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) break;
    seen.append(buffer, static_cast<size_t>(got));
    const size_t at = seen.find("http://");
    const size_t end = at == std::string::npos ? at : seen.find('\n', at);
    if (end != std::string::npos) {
      child.url = seen.substr(at, end - at);
      break;
    }
  }
  close(pipeFds[0]);
  return child;
}

void StopChildSite(ChildSite& child) {
  if (child.pid <= 0) return;
  kill(child.pid, SIGTERM);
  int status = 0;
  waitpid(child.pid, &status, 0);
  child.pid = -1;
}

// Triggers a menu command of the chapter list and gives the time until it has returned and the
// window has handled what it caused, or, for a command that opens a message box, until the box
// shows.
double TimeMenuCommand(MainWindow& window, Watcher& watcher, const char* item, bool opensBox) {
  QAction* action = window.chapterMenu->findChild<QAction*>(QString::fromLatin1(item));
  if (action == nullptr) return -1;
  const int boxesBefore = watcher.boxesShown;
  const Clock::time_point start = Clock::now();
  action->trigger();
  if (opensBox) {
    return watcher.boxesShown > boxesBefore ? Ms(watcher.boxShownAt - start) : -1;
  }
  QCoreApplication::processEvents();
  return Ms(Clock::now() - start);
}

int TickedRows(const MainWindow& window) {
  int ticked = 0;
  for (int r = 0; r < window.chapterModel->RowCount(); ++r)
    ticked += window.chapterModel->Tick(r);
  return ticked;
}

std::vector<int> ParseSizes(const std::string& text) {
  std::vector<int> sizes;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const int n = std::atoi(item.c_str());
    if (n > 0) sizes.push_back(n);
  }
  return sizes;
}

// The run with the median ratio (the upper one of an even count) stands for the size; the
// ratios of all runs follow, a run in which a batch waited out a 10 s idle wait marked with "*".
void RecordWallTime(int chapters, std::vector<RunOutcome> runs, const char* where) {
  std::sort(runs.begin(), runs.end(), [](const RunOutcome& a, const RunOutcome& b) {
    return a.wallMs / a.impliedMs < b.wallMs / b.impliedMs;
  });
  const RunOutcome& median = runs[runs.size() / 2];
  const double ratio = median.wallMs / median.impliedMs;
  std::string all;
  for (const RunOutcome& r : runs) {
    if (!all.empty()) all += ' ';
    all += Format("%.2f", r.wallMs / r.impliedMs);
    if (r.starvedBatches > 0) all += '*';
  }
  Result("collection N=" + std::to_string(chapters) + ", " + where + ", median of " +
             std::to_string(runs.size()),
         Format("%.0f", median.wallMs) + Format(" / %.0f ms", median.impliedMs) +
             Format(" = %.2f", ratio) + " (" + all + ")",
         Format("ratio <= %.2f", kRatioTarget), ratio <= kRatioTarget);
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = 3;
  std::vector<int> sizes = {100, 500, 1234, 5000};
  bool memoryRun = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--repeats" && i + 1 < argc) {
      repeats = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--sizes" && i + 1 < argc) {
      sizes = ParseSizes(argv[++i]);
    } else if (arg == "--no-memory-run") {
      memoryRun = false;
    } else {
      std::fprintf(stderr,
                   "usage: bench_workflow [--repeats R] [--sizes N,N,...] [--no-memory-run]\n");
      return 2;
    }
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  BeginApplication();
  MainWindow* window = OpenMainWindow();
  Watcher watcher(*window);
  const std::string address = OwnLoopbackAddress();
  std::printf("bench_workflow: site on %s port 80, %d ms per answer, %d-byte chapters\n",
              address.c_str(), kLatencyMs, kChapterBytes);

  std::vector<RunOutcome> allRuns;
  for (const int chapters : sizes) {
    DemoSiteOptions options;
    options.address = address;
    options.port = 80;
    options.chapters = chapters;
    options.chapterBytes = kChapterBytes;
    options.latencyMs = kLatencyMs;
    DemoSiteHandle site = StartDemoSite(options);
    if (site == nullptr) {
      std::printf("bench_workflow: cannot listen on %s port 80\n", address.c_str());
      return 2;
    }
    if (!SetToc(*window, DemoTocUrl(*site))) {
      std::printf("bench_workflow: the matching run did not end\n");
      return 2;
    }
    std::vector<RunOutcome> runs;
    const int times = chapters > 2000 ? 1 : repeats;
    for (int r = 0; r < times; ++r) {
      RunOutcome run = CollectRun(*window, watcher, chapters);
      if (!run.ok) return 2;
      runs.push_back(run);
      allRuns.push_back(run);
    }
    RecordWallTime(chapters, runs, "site in process");
  }

  if (memoryRun) {
    constexpr int kChapters = 5000;
    ChildSite child = StartChildSite(address, kChapters);
    if (child.url.empty()) {
      std::printf("bench_workflow: the demo site program did not start\n");
      StopChildSite(child);
      return 2;
    }
    bool ok = SetToc(*window, child.url);
    const long before = StatusKb("VmHWM");
    const bool reset = ResetPeakResident();
    std::printf("memory run: VmHWM before %ld kB, reset %s, VmRSS %ld kB\n", before,
                reset ? "done" : "refused", StatusKb("VmRSS"));
    RunOutcome run;
    if (ok) run = CollectRun(*window, watcher, kChapters);
    ok = ok && run.ok;
    const long peakCollect = StatusKb("VmHWM");
    if (ok) {
      RecordWallTime(kChapters, {run}, "site in a child process");
      allRuns.push_back(run);

      watcher.WatchMessageBoxes(true);
      const double selectAll = TimeMenuCommand(*window, watcher, "selectAllItem", false);
      const int afterSelect = TickedRows(*window);
      const double invert = TimeMenuCommand(*window, watcher, "invertSelectionItem", false);
      const int afterInvert = TickedRows(*window);
      const double invertBack = TimeMenuCommand(*window, watcher, "invertSelectionItem", false);
      const int afterInvertBack = TickedRows(*window);
      const double check = TimeMenuCommand(*window, watcher, "checkItem", true);
      std::printf(
          "review: select all %.1f ms (%d ticked), invert %.1f ms (%d ticked), invert "
          "again %.1f ms (%d ticked), check %.1f ms (\"%s\")\n",
          selectAll, afterSelect, invert, afterInvert, invertBack, afterInvertBack, check,
          watcher.boxText.toStdString().c_str());
      const bool ticksRight =
          afterSelect == kChapters && afterInvert == 0 && afterInvertBack == kChapters;
      const double worstInvert = std::max(invert, invertBack);
      Result("SelectAllChapters, 5000 rows", Format("%.1f ms", selectAll),
             Format("<= %.0f ms", kReviewTargetMs),
             ticksRight && selectAll >= 0 && selectAll <= kReviewTargetMs);
      Result("InvertChapterTicks, 5000 rows, worse of 2", Format("%.1f ms", worstInvert),
             Format("<= %.0f ms", kReviewTargetMs),
             ticksRight && worstInvert >= 0 && worstInvert <= kReviewTargetMs);
      Result("CheckEmptyChapters, 5000 rows, to the box", Format("%.1f ms", check),
             Format("<= %.0f ms", kReviewTargetMs), check >= 0 && check <= kReviewTargetMs);

      const int boxesBefore = watcher.boxesShown;
      const Clock::time_point start = Clock::now();
      window->exportButton->click();
      const bool shown =
          PumpUntil([&] { return watcher.boxesShown > boxesBefore; }, std::chrono::seconds(60));
      const double exportMs = shown ? Ms(watcher.boxShownAt - start) : -1;
      PumpUntil([&] { return window->exportButton->isEnabled(); }, std::chrono::seconds(60));
      const std::string file = BookFilePath(ProgramDirectory(), appState->bookTitle.Load());
      std::error_code error;
      const auto fileBytes = std::filesystem::file_size(file, error);
      std::printf("export: %.0f ms to the box (\"%s\"), %.1f MB written\n", exportMs,
                  watcher.boxText.toStdString().c_str(), error ? 0.0 : fileBytes / 1e6);
      std::filesystem::remove(file, error);
      watcher.WatchMessageBoxes(false);
      Result("ExportTxt, 5000 ticked rows of 10 KB, to the box", Format("%.0f ms", exportMs),
             Format("<= %.0f ms", kExportTargetMs), shown && exportMs <= kExportTargetMs);
    }
    const long peakAll = StatusKb("VmHWM");
    StopChildSite(child);
    if (!ok) {
      std::printf("bench_workflow: the memory run failed\n");
      return 2;
    }
    std::printf("memory: VmHWM %ld kB after the collection, %ld kB after review and export\n",
                peakCollect, peakAll);
    const double peakMb = peakAll / 1024.0;
    Result(std::string("peak resident, 5000 x 10 KB, tool alone") +
               (reset ? "" : " (peak not reset: counts earlier runs)"),
           Format("%.0f MB", peakMb), Format("<= %.0f MB", kMemoryTargetMb),
           peakMb <= kMemoryTargetMb);
  }

  if (!allRuns.empty()) {
    // The worst gap of all runs, and how much of it the main thread spent waiting for a core
    // while other threads (ours and other processes') ran.
    const RunOutcome& worst = *std::max_element(
        allRuns.begin(), allRuns.end(),
        [](const RunOutcome& a, const RunOutcome& b) { return a.worstGapMs < b.worstGapMs; });
    Result("longest progress-tick gap, pause left out, worst run",
           Format("%.0f ms", worst.worstGapMs) +
               Format(" (%.0f waiting for a core)", worst.worstGapQueuedMs),
           Format("<= %.0f ms", kStallTargetMs), worst.worstGapMs <= kStallTargetMs);
  }
  std::fflush(stdout);
  // The window's exit path ends the process at once, whatever threads are still about.
  std::quick_exit(allMet ? 0 : 1);
}
