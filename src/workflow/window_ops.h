// The window operations: the only way the jobs, the timer ticks and the pool workers read and
// change the controls of the main window. Declared here, free of any toolkit; the application
// shell implements them.
//
// Promises (of the shell's implementation):
// - Every operation may be called from any thread and has taken effect when it returns. On the
//   main thread it acts at once; from another thread it is carried to the main thread and the
//   caller waits until the main thread has run it. While the main thread is busy (sleeping before
//   a batch, say) such a caller waits; while the main thread pumps (`ProcessPendingEvents`) the
//   waiting calls are served.
// - Rows and columns count from 0; a tick is 1 for ticked, 0 for not ticked; true/false are 1/0.
// - Texts are GBK `Text`: decoded to Unicode on the way into the window, encoded back on the way
//   out. `ListGetCellText` gives back exactly the Text that was stored.
// - Nothing is reported: an operation on a control of the wrong kind, or on a row that does not
//   exist, does nothing and a query gives 0 or empty Text.
// - Once the window has begun to close, calls from other threads never return: the process is
//   ending.
#pragma once

#include "text/text_ops.h"

// Every control, timer and menu of the main window, by its name in the window's form.
enum class Control {
  MainWindow,
  matchGroup,
  tocUrlLabel,
  tocUrlEdit,
  matchButton,
  linkPatternLabel,
  linkPatternEdit,
  matchCountLabel,
  linkList,
  matchProgress,
  collectGroup,
  filterPatternLabel,
  filterPatternEdit,
  collectButton,
  exportButton,
  chapterList,
  collectProgress,
  largeRunDoneTimer,
  batchFeedTimer,
  smallRunDoneTimer,
  matchProgressTimer,
  collectProgressTimer,
  chapterMenu,
};

// Message-box icon flags.
constexpr int kIconNone = 0;
constexpr int kIconError = 16;

void SetDisabled(Control control, int disabled);
// The caption of the main window, or the text of a label.
void SetCaption(Control control, const Text& text);
Text GetEditText(Control edit);
void SetProgressPosition(Control bar, int position);
int GetProgressPosition(Control bar);
void SetProgressMaximum(Control bar, int maximum);
int GetProgressMaximum(Control bar);
// Period in milliseconds; 0 stops the timer. A new period restarts it.
void SetTimerPeriod(Control timer, int periodMs);
void ListDeleteAll(Control list);
void ListInsertRow(Control list, int row, const Text& column0);
void ListSetCellText(Control list, int row, int column, const Text& text);
Text ListGetCellText(Control list, int row, int column);
int ListRowCount(Control list);
int ListGetTick(Control list, int row);
void ListSetTick(Control list, int row, int tick);
void ListEnsureVisible(Control list, int row);
// A modal box owned by the main window, with an OK button; returns when the user dismisses it.
void ShowMessageBox(const Text& text, int iconFlag, const Text& title);
// Shows the menu at the mouse position; choosing an item raises that item's event.
void PopupMenu(Control menu);
// Lets the window handle its pending events, then returns. Does nothing off the main thread.
void ProcessPendingEvents();

// Starts `job` on a new detached thread and returns at once. Nothing waits for the thread.
void StartJobThread(void (*job)());
