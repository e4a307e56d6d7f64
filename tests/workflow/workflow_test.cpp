// The whole workflow end to end: the real window offscreen, the demo site on a loopback address.
#include <sys/resource.h>

#include <QLabel>
#include <QProgressBar>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/report_model.h"
#include "pump_wait.h"
#include "text/codepage.h"
#include "workflow/app_state.h"
#include "workflow/export_file.h"
#include "workflow/jobs.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"
#include "workflow_fixture.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

DemoSiteOptions Book(int chapters, const char* title) {
  DemoSiteOptions options;
  options.chapters = chapters;
  options.bookTitle = title;
  return options;
}

TEST_F(WorkflowTest, SmallRunFillsEveryRowWithItsChapter) {
  ASSERT_NO_FATAL_FAILURE(Open(Book(30, "小书")));
  ASSERT_NO_FATAL_FAILURE(Match());

  EXPECT_EQ(window_->windowTitle(), QString::fromUtf8("Norvel小说网多线程采集器V1.0") +
                                        QString(20, u' ') + "----------" +
                                        QString::fromUtf8("小书"));
  EXPECT_EQ(window_->matchCountLabel->text(), QString::fromUtf8("已匹配章节：30个"));
  EXPECT_EQ(ListRowCount(Control::linkList), 30);
  EXPECT_EQ(ListGetCellText(Control::linkList, 0, 1), DemoChapterPath(1));
  EXPECT_EQ(GetProgressMaximum(Control::collectProgress), 130);
  EXPECT_TRUE(PumpUntil([&] { return window_->matchProgress->value() == 100; }));

  ASSERT_NO_FATAL_FAILURE(Collect());
  ASSERT_EQ(ListRowCount(Control::chapterList), 30);
  for (int n = 1; n <= 30; ++n) {
    EXPECT_EQ(ListGetCellText(Control::chapterList, n - 1, 0), ToText(n));
    EXPECT_EQ(Row(n - 1), ExpectedChapterText(n, options_)) << "chapter " << n;
    EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(n)), 1);
    EXPECT_EQ(ListGetTick(Control::chapterList, n - 1), 0);
  }
  EXPECT_TRUE(PumpUntil([&] { return window_->collectProgress->value() == 130; }));
  EXPECT_EQ(appState->taskPool.State(), PoolState::Stopped);
}

TEST_F(WorkflowTest, LargeRunGoesInBatchesOfFiveHundred) {
  DemoSiteOptions options = Book(1234, "大书");
  options.chapterBytes = 400;
  ASSERT_NO_FATAL_FAILURE(Open(options));
  ASSERT_NO_FATAL_FAILURE(Match());
  ASSERT_NO_FATAL_FAILURE(Collect(std::chrono::seconds(240)));

  EXPECT_EQ(appState->fullBatchCount, 2);
  EXPECT_EQ(appState->remainderCount, 234);
  EXPECT_EQ(appState->batchesPosted, 3);
  EXPECT_EQ(appState->tasksPosted, 1234);
  EXPECT_LE(DemoPeakConcurrency(*site_), 500);
  ASSERT_EQ(ListRowCount(Control::chapterList), 1234);
  for (const int n : {1, 2, 499, 500, 501, 1000, 1001, 1233, 1234}) {
    EXPECT_EQ(Row(n - 1), ExpectedChapterText(n, options_)) << "chapter " << n;
  }
  for (int n = 1; n <= 1234; ++n) {
    ASSERT_EQ(DemoRequestCount(*site_, DemoChapterPath(n)), 1) << "chapter " << n;
  }
}

TEST_F(WorkflowTest, RunOfNoChaptersEndsAtOnce) {
  ASSERT_NO_FATAL_FAILURE(Open(Book(5, "空书")));
  ASSERT_NO_FATAL_FAILURE(Match());
  SetEdit(Control::filterPatternEdit, "nothing-matches-this");
  ASSERT_NO_FATAL_FAILURE(Collect(std::chrono::seconds(10)));
  EXPECT_EQ(ListRowCount(Control::chapterList), 0);
  EXPECT_TRUE(PumpUntil([&] { return window_->collectProgress->value() == 105; }));
}

TEST_F(WorkflowTest, ChaptersThatFailAtFirstComeBack) {
  DemoSiteOptions options = Book(12, "慢书");
  options.faults = {{2, DemoFailure::EmptyBody, 2},
                    {5, DemoFailure::Error500Empty, 1},
                    {7, DemoFailure::CutBody, 1},
                    {12, DemoFailure::Error503Empty, 3}};
  ASSERT_NO_FATAL_FAILURE(Open(options));
  ASSERT_NO_FATAL_FAILURE(Match());
  ASSERT_NO_FATAL_FAILURE(Collect());
  for (int n = 1; n <= 12; ++n) {
    EXPECT_EQ(Row(n - 1), ExpectedChapterText(n, options_)) << "chapter " << n;
  }
  EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(2)), 3);
  EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(5)), 2);
  EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(7)), 2);
  EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(12)), 4);
}

TEST_F(WorkflowTest, ChapterThatNeverComesBackLeavesAnEmptyRowAndTheRunEnds) {
  DemoSiteOptions options = Book(6, "断书");
  // The last chapter, so that the end of the run hangs on it.
  options.faults = {{6, DemoFailure::EmptyBody, -1}};
  ASSERT_NO_FATAL_FAILURE(Open(options));
  ASSERT_NO_FATAL_FAILURE(Match());
  ASSERT_NO_FATAL_FAILURE(Collect());
  EXPECT_EQ(Row(5), "");
  EXPECT_EQ(Row(4), ExpectedChapterText(5, options_));
  EXPECT_EQ(DemoRequestCount(*site_, DemoChapterPath(6)), 5);

  MessageBoxCatcher catcher;
  CheckEmptyChapters();
  ASSERT_EQ(catcher.seen.size(), 1u);
  EXPECT_EQ(catcher.seen[0].text, QString::fromUtf8("找到1个空章节！"));
  EXPECT_EQ(catcher.seen[0].title, QString::fromUtf8("找到空章节"));
}

TEST_F(WorkflowTest, ReviewCommandsAndExport) {
  ASSERT_NO_FATAL_FAILURE(Open(Book(4, "导出书")));
  ASSERT_NO_FATAL_FAILURE(Match());
  ASSERT_NO_FATAL_FAILURE(Collect());
  std::filesystem::remove(BookFile());

  // Nothing ticked: the message, and no file.
  MessageBoxCatcher::Seen seen = Export();
  EXPECT_EQ(seen.text, QString::fromUtf8("请先选择小说章节再输出文本！"));
  EXPECT_EQ(seen.title, QString::fromUtf8("提示"));
  EXPECT_TRUE(seen.errorIcon);
  EXPECT_FALSE(std::filesystem::exists(BookFile()));

  SelectAllChapters();
  InvertChapterTicks();
  for (int row = 0; row < 4; ++row)
    EXPECT_EQ(ListGetTick(Control::chapterList, row), 0);
  ListSetTick(Control::chapterList, 0, 1);
  ListSetTick(Control::chapterList, 2, 1);

  seen = Export();
  EXPECT_EQ(seen.text, QString::fromUtf8("写出到文本成功！"));
  EXPECT_FALSE(seen.errorIcon);
  const std::string firstExport =
      ExpectedChapterText(1, options_) + "\r\n" + ExpectedChapterText(3, options_) + "\r\n";
  EXPECT_EQ(ReadFile(BookFile()), firstExport);
  EXPECT_TRUE(PumpUntil(
      [&] { return window_->collectProgress->value() == window_->collectProgress->maximum(); }));

  // The check counts no empty chapter here, and changes nothing.
  {
    MessageBoxCatcher catcher;
    CheckEmptyChapters();
    ASSERT_EQ(catcher.seen.size(), 1u);
    EXPECT_EQ(catcher.seen[0].text, QString::fromUtf8("找到0个空章节！"));
  }

  // Inverting ticks rows 2 and 4; a second export replaces the file with those.
  InvertChapterTicks();
  seen = Export();
  EXPECT_EQ(seen.text, QString::fromUtf8("写出到文本成功！"));
  const std::string secondExport =
      ExpectedChapterText(2, options_) + "\r\n" + ExpectedChapterText(4, options_) + "\r\n";
  EXPECT_EQ(ReadFile(BookFile()), secondExport);

  // A write that fails (the file-size limit stands in for a full disk) says so and keeps the file.
  SelectAllChapters();
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &small);
  seen = Export();
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(seen.text, QString::fromUtf8("写出到文本失败！"));
  EXPECT_TRUE(seen.errorIcon);
  EXPECT_EQ(seen.title, QString::fromUtf8("提示"));
  EXPECT_EQ(ReadFile(BookFile()), secondExport);
}

TEST_F(WorkflowTest, TitleThatIsAPathWritesNothingOutsideTheProgramDirectory) {
  ASSERT_NO_FATAL_FAILURE(Open(Book(2, "../逃出")));
  ASSERT_NO_FATAL_FAILURE(Match());
  ASSERT_NO_FATAL_FAILURE(Collect());
  SelectAllChapters();
  const MessageBoxCatcher::Seen seen = Export();
  EXPECT_EQ(seen.text, QString::fromUtf8("写出到文本失败！"));
  EXPECT_FALSE(std::filesystem::exists(ProgramDirectory() + "/../逃出.txt"));
  options_.bookTitle.clear();
}

}  // namespace
