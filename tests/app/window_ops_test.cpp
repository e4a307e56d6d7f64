// The window operations, on the main thread and from other threads, through the real widgets.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/process_priority.h"
#include "app/report_model.h"
#include "pump_wait.h"
#include "text/codepage.h"
#include "workflow/window_ops.h"

namespace {

class WindowOpsTest : public testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>();
    window_->show();
  }

  // Runs `work` on a thread of its own while the main thread pumps, and waits for it.
  void OffMainThread(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      work();
      done = true;
    });
    const bool finished = PumpUntil([&] { return done.load(); });
    EXPECT_TRUE(finished) << "a window call from a worker was never served";
    if (finished) {
      worker.join();
    } else {
      worker.detach();
    }
  }

  std::unique_ptr<MainWindow> window_;
};

Text Chinese(const char* utf8) {
  return Utf8ToAnsi(utf8);
}

TEST_F(WindowOpsTest, CallsFromAWorkerTakeEffectBeforeTheyReturn) {
  Text edit;
  int position = -1;
  int maximum = -1;
  Text cell;
  bool timerRan = false;
  OffMainThread([&] {
    SetCaption(Control::matchCountLabel, Chinese("共 3 章"));
    SetDisabled(Control::collectButton, 0);
    SetDisabled(Control::matchButton, 1);
    SetTimerPeriod(Control::matchProgressTimer, 50);
    timerRan = window_->matchProgressTimer->isActive();
    SetProgressMaximum(Control::collectProgress, 40);
    SetProgressPosition(Control::collectProgress, 30);
    position = GetProgressPosition(Control::collectProgress);
    maximum = GetProgressMaximum(Control::collectProgress);
    edit = GetEditText(Control::tocUrlEdit);
    ListInsertRow(Control::linkList, 0, "1");
    ListSetCellText(Control::linkList, 0, 1, "/chapter/1/2.html");
    cell = ListGetCellText(Control::linkList, 0, 1);
    SetTimerPeriod(Control::matchProgressTimer, 0);
  });
  EXPECT_EQ(window_->matchCountLabel->text(), QStringLiteral(u"共 3 章"));
  EXPECT_TRUE(window_->collectButton->isEnabled());
  EXPECT_FALSE(window_->matchButton->isEnabled());
  EXPECT_TRUE(timerRan);
  EXPECT_FALSE(window_->matchProgressTimer->isActive());
  EXPECT_EQ(position, 30);
  EXPECT_EQ(maximum, 40);
  EXPECT_EQ(edit, "http://www.norvel.example/list/1537326.html");
  EXPECT_EQ(cell, "/chapter/1/2.html");
}

TEST_F(WindowOpsTest, FiveHundredWorkersWriteCellsAtOnce) {
  constexpr int kRows = 500;
  for (int row = 0; row < kRows; ++row)
    ListInsertRow(Control::chapterList, row, ToText(row + 1));
  auto textOf = [](int row) {
    return Concat(Chinese("第"), ToText(row + 1), Chinese("章\r\n正文"), Text(2000, 'x'));
  };
  std::atomic<bool> go{false};
  std::atomic<int> done{0};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> workers;
  workers.reserve(kRows);
  for (int row = 0; row < kRows; ++row) {
    workers.emplace_back([&, row] {
      while (!go.load())
        std::this_thread::yield();
      ListSetCellText(Control::chapterList, row, 1, textOf(row));
      if (ListGetCellText(Control::chapterList, row, 1) != textOf(row)) ++mismatches;
      ++done;
    });
  }
  go = true;
  const bool finished = PumpUntil([&] { return done.load() == kRows; });
  EXPECT_TRUE(finished) << done.load() << " of " << kRows << " workers were served";
  for (std::thread& worker : workers) {
    if (finished) {
      worker.join();
    } else {
      worker.detach();
    }
  }
  ASSERT_TRUE(finished);
  EXPECT_EQ(mismatches.load(), 0);
  ASSERT_EQ(ListRowCount(Control::chapterList), kRows);
  for (int row = 0; row < kRows; ++row) {
    ASSERT_EQ(ListGetCellText(Control::chapterList, row, 1), textOf(row)) << row;
    ASSERT_EQ(ListGetCellText(Control::chapterList, row, 0), ToText(row + 1)) << row;
  }
}

TEST_F(WindowOpsTest, TicksStartClearAndFollowListSetTick) {
  ListInsertRow(Control::chapterList, 0, "1");
  ListInsertRow(Control::chapterList, 1, "2");
  EXPECT_EQ(ListGetTick(Control::chapterList, 0), 0);
  ListSetTick(Control::chapterList, 0, 1);
  EXPECT_EQ(ListGetTick(Control::chapterList, 0), 1);
  EXPECT_EQ(ListGetTick(Control::chapterList, 1), 0);
  ListSetTick(Control::chapterList, 0, 0);
  EXPECT_EQ(ListGetTick(Control::chapterList, 0), 0);
  // A row that does not exist, and a list without tick boxes, read as not ticked.
  ListSetTick(Control::chapterList, 7, 1);
  EXPECT_EQ(ListGetTick(Control::chapterList, 7), 0);
  ListInsertRow(Control::linkList, 0, "1");
  ListSetTick(Control::linkList, 0, 1);
  EXPECT_EQ(ListGetTick(Control::linkList, 0), 0);
}

TEST_F(WindowOpsTest, RowsInsertAtTheirPositionAndDeleteAll) {
  ListInsertRow(Control::linkList, 0, "b");
  ListInsertRow(Control::linkList, 0, "a");
  ListInsertRow(Control::linkList, 9, "c");  // past the end: appended
  ListInsertRow(Control::linkList, -1, "x");
  ASSERT_EQ(ListRowCount(Control::linkList), 3);
  EXPECT_EQ(ListGetCellText(Control::linkList, 0, 0), "a");
  EXPECT_EQ(ListGetCellText(Control::linkList, 2, 0), "c");
  EXPECT_EQ(ListGetCellText(Control::linkList, 3, 0), "");
  EXPECT_EQ(ListGetCellText(Control::linkList, 0, 2), "");
  ListEnsureVisible(Control::linkList, 2);
  ListDeleteAll(Control::linkList);
  EXPECT_EQ(ListRowCount(Control::linkList), 0);
}

TEST_F(WindowOpsTest, TimerPeriodZeroStopsAndANewPeriodRestarts) {
  QTimer* timer = window_->batchFeedTimer;
  SetTimerPeriod(Control::batchFeedTimer, 0);
  EXPECT_FALSE(timer->isActive());
  SetTimerPeriod(Control::batchFeedTimer, 200);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 200);
  SetTimerPeriod(Control::batchFeedTimer, 50);
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 50);
  SetTimerPeriod(Control::batchFeedTimer, 0);
  EXPECT_FALSE(timer->isActive());
}

TEST_F(WindowOpsTest, ProgressPositionStaysInItsRange) {
  struct Case {
    int maximum;
    int position;
    int expected;
  };
  for (const Case& c :
       {Case{100, 50, 50}, Case{100, 150, 100}, Case{100, -3, 0}, Case{7, 7, 7}, Case{0, 5, 0}}) {
    SCOPED_TRACE(testing::Message() << c.maximum << " " << c.position);
    SetProgressMaximum(Control::collectProgress, c.maximum);
    SetProgressPosition(Control::collectProgress, c.position);
    EXPECT_EQ(GetProgressPosition(Control::collectProgress), c.expected);
    EXPECT_EQ(GetProgressMaximum(Control::collectProgress), c.maximum);
    // An empty range must not turn the bar into a busy indicator.
    EXPECT_LT(window_->collectProgress->minimum(), window_->collectProgress->maximum());
  }
}

TEST_F(WindowOpsTest, AMessageBoxHoldsTheCallingJobUntilDismissed) {
  std::atomic<bool> returned{false};
  // The box runs its own loop on the main thread; a watcher inside that loop inspects it while
  // the job is held, then presses OK.
  bool seen = false;
  bool heldWhileShown = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString text;
  QString title;
  QWidget* owner = nullptr;
  QList<QAbstractButton*> buttons;
  QMessageBox::StandardButton button = QMessageBox::NoButton;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, window_.get(), [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (seen || box == nullptr || !box->isVisible()) return;
    seen = true;
    heldWhileShown = !returned.load();
    icon = box->icon();
    text = box->text();
    title = box->windowTitle();
    owner = box->parentWidget();
    buttons = box->buttons();
    if (buttons.size() == 1) button = box->standardButton(buttons.front());
    box->buttons().front()->click();
  });
  watcher.start(5);
  std::thread job([&] {
    ShowMessageBox(Chinese("有 2 章为空"), kIconError, Chinese("检查"));
    returned = true;
  });
  const bool finished = PumpUntil([&] { return returned.load(); });
  EXPECT_TRUE(finished);
  if (finished) {
    job.join();
  } else {
    job.detach();
  }
  ASSERT_TRUE(seen);
  EXPECT_TRUE(heldWhileShown);
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(text, QStringLiteral(u"有 2 章为空"));
  EXPECT_EQ(title, QStringLiteral(u"检查"));
  EXPECT_EQ(owner, window_.get());
  EXPECT_EQ(buttons.size(), 1);
  EXPECT_EQ(button, QMessageBox::Ok);
}

TEST(OneLineDisplayTest, ShowsABoundedPrefixOnOneLine) {
  const Text chapter = Concat(Chinese("第一章\r\n"), Text(5000, 'a'));
  const QString shown = OneLineDisplay(chapter, 100);
  EXPECT_TRUE(shown.startsWith(QStringLiteral(u"第一章  aaa")));
  EXPECT_FALSE(shown.contains(u'\n'));
  EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
  EXPECT_LE(shown.size(), 101);
  // A cut never splits a double-byte character.
  const QString cut = OneLineDisplay(Chinese("一二三四"), 3);
  EXPECT_EQ(cut, QStringLiteral(u"一二…"));
  EXPECT_EQ(OneLineDisplay("short"), QStringLiteral("short"));
}

TEST(ProcessPriorityTest, LevelsMapToNiceValues) {
  QProcess child;
  child.start(QStringLiteral("sleep"), {QStringLiteral("60")});
  ASSERT_TRUE(child.waitForStarted());
  const int pid = static_cast<int>(child.processId());
  EXPECT_EQ(SetProcessPriority(pid, 4), 1);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(pid)), 5);
  EXPECT_EQ(SetProcessPriority(pid, 5), 1);
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(pid)), 19);
  EXPECT_EQ(SetProcessPriority(pid, 77), 0);
  child.kill();
  child.waitForFinished();
  EXPECT_EQ(SetProcessPriority(-1, 3), 0);
}

}  // namespace
