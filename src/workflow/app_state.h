// The one program-wide record through which the window's handlers, the job threads, the pool's
// workers and the timer ticks hand work to each other.
//
// Promises:
// - One instance, `appState`, built by `InitAppState` on the main thread before the window opens
//   and left valid until the process ends (running workers may still read it at exit).
// - Most fields have one writer at a time, kept apart by the disabled buttons; the hand-over from
//   one thread to the next goes through the window operations or the pool's queue, both of which
//   order the writes before the reads.
// - The fields polled by timer ticks or written by many threads are atomic; `bookTitle`, which an
//   export reads while a matching run may replace it, is always read and written whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "extract/regex_object.h"
#include "pool/task_pool.h"
#include "text/text_ops.h"

// A Text that one thread may replace while another reads it: each read gets the whole old or the
// whole new value.
struct SharedText {
  Text Load() const;
  void Store(Text value);

 private:
  mutable std::mutex mutex;
  Text value;
};

struct AppState {
  std::atomic<std::int32_t> matchStage{0};
  Text siteBase;
  Text tocPageText;
  SharedText bookTitle;
  RegexObject linkRegex;
  Text matchedLinksText;
  std::atomic<std::int32_t> lastChapterDone{0};
  TaskPool taskPool;
  std::atomic<std::int32_t> collectCounter{0};
  std::int32_t batchesPosted = 0;
  std::int32_t fullBatchCount = 0;
  std::int32_t remainderCount = 0;
  std::int32_t tasksPosted = 0;
  std::int32_t chapterCount = 0;
  TextArray chapterUrls;
  std::int32_t smallRun = 0;
  RegexObject filterRegex;
};

// Valid between `InitAppState` and the end of the process; null before.
extern AppState* appState;
