// Export of the ticked chapters to the book's text file, and the review commands of the chapter
// list's popup menu.
#include "text/codepage.h"
#include "workflow/app_state.h"
#include "workflow/export_file.h"
#include "workflow/jobs.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"

namespace {

const Text& PromptTitle() {
  static const Text title = Utf8ToAnsi("提示");
  return title;
}

}  // namespace

void OnExportButtonClicked() {
  StartJobThread(ExportTxt);
  SetDisabled(Control::exportButton, 1);
}

void ExportTxt() {
  AppState& s = *appState;
  s.collectCounter = 0;
  SetProgressPosition(Control::collectProgress, 0);
  SetTimerPeriod(Control::collectProgressTimer, 50);
  s.collectCounter = 10;

  const int rows = ListRowCount(Control::chapterList);
  Text out;
  int ticked = 0;
  for (int i = 1; i <= rows; ++i) {
    if (ListGetTick(Control::chapterList, i - 1) != 1) continue;
    out += ListGetCellText(Control::chapterList, i - 1, 1);
    out += "\r\n";
    ++ticked;
    ++s.collectCounter;
  }

  if (ticked == 0) {
    static const Text nothingTicked = Utf8ToAnsi("请先选择小说章节再输出文本！");
    ShowMessageBox(nothingTicked, kIconError, PromptTitle());
  } else if (WriteBookFile(ProgramDirectory(), s.bookTitle.Load(), out)) {
    s.collectCounter = GetProgressMaximum(Control::collectProgress);
    static const Text written = Utf8ToAnsi("写出到文本成功！");
    ShowMessageBox(written, kIconNone, PromptTitle());
  } else {
    static const Text failed = Utf8ToAnsi("写出到文本失败！");
    ShowMessageBox(failed, kIconError, PromptTitle());
  }
  SetDisabled(Control::exportButton, 0);
}

void SelectAllChapters() {
  const int rows = ListRowCount(Control::chapterList);
  for (int i = 1; i <= rows; ++i)
    ListSetTick(Control::chapterList, i - 1, 1);
}

void InvertChapterTicks() {
  const int rows = ListRowCount(Control::chapterList);
  for (int i = 1; i <= rows; ++i) {
    const int tick = ListGetTick(Control::chapterList, i - 1);
    ListSetTick(Control::chapterList, i - 1, tick == 1 ? 0 : 1);
  }
}

void CheckEmptyChapters() {
  const int rows = ListRowCount(Control::chapterList);
  int empty = 0;
  for (int i = 1; i <= rows; ++i) {
    if (CompareText(ListGetCellText(Control::chapterList, i - 1, 1), "") == 0) ++empty;
  }
  static const Text found = Utf8ToAnsi("找到");
  static const Text emptyChapters = Utf8ToAnsi("个空章节！");
  static const Text title = Utf8ToAnsi("找到空章节");
  ShowMessageBox(Concat(found, ToText(empty), emptyChapters), kIconNone, title);
}
