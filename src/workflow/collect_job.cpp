// The collection job: filter the matched links, give every chapter a row and an address, and have
// the pool fetch them, one batch of at most 500 at a time. Timers on the main thread feed the
// batches of a large run and notice the end of a run.
#include <chrono>
#include <thread>

#include "workflow/app_state.h"
#include "workflow/jobs.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"

namespace {

constexpr int kBatchSize = 500;
constexpr int kCreateIdleWaitMs = 10000;
constexpr int kBatchIdleWaitMs = 100;
constexpr int kPauseBeforeBatchMs = 1000;

void EnableAllButtons(Control first, Control second, Control third) {
  SetDisabled(first, 0);
  SetDisabled(second, 0);
  SetDisabled(third, 0);
}

}  // namespace

void OnCollectButtonClicked() {
  SetDisabled(Control::matchButton, 1);
  SetDisabled(Control::collectButton, 1);
  SetDisabled(Control::exportButton, 1);
  StartJobThread(RunCollectJob);
}

void RunCollectJob() {
  AppState& s = *appState;
  s.collectCounter = 0;
  SetProgressPosition(Control::collectProgress, 0);
  SetTimerPeriod(Control::collectProgressTimer, 50);
  ListDeleteAll(Control::chapterList);

  s.filterRegex.Create(GetEditText(Control::filterPatternEdit), s.matchedLinksText);
  s.collectCounter = 20;
  s.chapterCount = s.filterRegex.MatchCount();
  s.chapterUrls.clear();
  s.collectCounter = 40;

  s.chapterUrls.reserve(static_cast<size_t>(s.chapterCount));
  for (int i = 1; i <= s.chapterCount; ++i) {
    ListInsertRow(Control::chapterList, i - 1, ToText(i));
    ListEnsureVisible(Control::chapterList, i - 1);
    s.chapterUrls.push_back(Concat(s.siteBase, s.filterRegex.MatchText(i)));
  }
  s.collectCounter = 55;

  s.batchesPosted = 0;
  s.tasksPosted = 0;
  s.smallRun = 0;
  s.lastChapterDone = 0;

  if (s.chapterCount == 0) {
    // No chapter means no task, so nothing would ever start a completion watcher: the run ends
    // here, with the bar full and the buttons back.
    s.collectCounter = GetProgressMaximum(Control::collectProgress);
    EnableAllButtons(Control::exportButton, Control::collectButton, Control::matchButton);
    return;
  }

  if (s.chapterCount > kBatchSize) {
    s.fullBatchCount = s.chapterCount / kBatchSize;
    s.remainderCount = s.chapterCount % kBatchSize;
    s.collectCounter = 70;
    SetTimerPeriod(Control::batchFeedTimer, 200);
    SetTimerPeriod(Control::largeRunDoneTimer, 200);
    s.collectCounter = 80;
  } else {
    s.smallRun = 1;
    StartBatch(s.chapterCount);
  }
  s.collectCounter = 90;
}

void StartBatch(int n) {
  AppState& s = *appState;
  s.taskPool.Create(n, kCreateIdleWaitMs, 1);
  for (int k = 1; k <= n; ++k) {
    ++s.tasksPosted;
    s.taskPool.Post(RunChapterTask, s.tasksPosted, n);
  }
  s.taskPool.SetIdleTimeout(kBatchIdleWaitMs);
}

void BatchFeedTick() {
  AppState& s = *appState;
  int batch = 0;
  if (s.batchesPosted < s.fullBatchCount) {
    batch = kBatchSize;
  } else if (s.batchesPosted == s.fullBatchCount && s.remainderCount > 0) {
    batch = s.remainderCount;
  }
  if (batch == 0 || s.taskPool.State() != PoolState::Stopped) return;
  ++s.batchesPosted;
  // A plain sleep: no event is handled meanwhile, and workers' window calls wait for it.
  std::this_thread::sleep_for(std::chrono::milliseconds(kPauseBeforeBatchMs));
  StartBatch(batch);
}

void LargeRunDoneTick() {
  AppState& s = *appState;
  if (s.lastChapterDone != 1 || s.taskPool.State() != PoolState::Stopped) return;
  s.collectCounter = GetProgressMaximum(Control::collectProgress);
  EnableAllButtons(Control::matchButton, Control::exportButton, Control::collectButton);
  SetTimerPeriod(Control::batchFeedTimer, 0);
  SetTimerPeriod(Control::largeRunDoneTimer, 0);
}

void SmallRunDoneTick() {
  AppState& s = *appState;
  if (s.taskPool.State() != PoolState::Stopped) return;
  s.collectCounter = GetProgressMaximum(Control::collectProgress);
  EnableAllButtons(Control::exportButton, Control::collectButton, Control::matchButton);
  SetTimerPeriod(Control::smallRunDoneTimer, 0);
}

void CollectProgressTick() {
  SetProgressPosition(Control::collectProgress, appState->collectCounter);
  if (GetProgressPosition(Control::collectProgress) ==
      GetProgressMaximum(Control::collectProgress)) {
    SetTimerPeriod(Control::collectProgressTimer, 0);
  }
}
