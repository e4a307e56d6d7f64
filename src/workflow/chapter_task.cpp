// One chapter on a pool worker: fetch the page, render it to text, clean it, store it in its row.
#include <chrono>
#include <thread>

#include "extract/chapter_cleanup.h"
#include "extract/html_to_text.h"
#include "text/codepage.h"
#include "web/fetch_page.h"
#include "workflow/app_state.h"
#include "workflow/jobs.h"
#include "workflow/window_ops.h"

namespace {

// A page that keeps rendering to nothing is fetched at most this often, with these pauses between
// the fetches, so that every task returns and the run can end. After the last, the row is empty.
constexpr int kRetryPausesMs[] = {500, 1000, 2000, 4000};

Text FetchAndClean(const Text& url) {
  const Bytes body = FetchPage(url, 0);
  return StripBlankLines(HtmlToText(Utf8ToAnsi(BytesToText(body))));
}

}  // namespace

void RunChapterTask(std::int32_t taskNumber, std::int32_t batchSize) {
  AppState& s = *appState;
  if (taskNumber > s.chapterCount) return;

  Text cleaned = FetchAndClean(ArrayMember(s.chapterUrls, taskNumber));
  for (const int pauseMs : kRetryPausesMs) {
    if (CompareText(cleaned, "") != 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    cleaned = FetchAndClean(ArrayMember(s.chapterUrls, taskNumber));
  }

  const Text cut = CutBetweenMarkers(cleaned, chapterStartMarker, chapterEndMarker);
  const TextArray lines = SplitText(cut, "\r\n");
  ListSetCellText(Control::chapterList, taskNumber - 1, 1,
                  FilterNavigationLines(ArrayCount(lines), lines));

  if (taskNumber < s.chapterCount) {
    ++s.collectCounter;
  } else if (taskNumber == s.chapterCount) {
    s.lastChapterDone = 1;
    if (s.smallRun == 1 && batchSize == s.chapterCount) {
      SetTimerPeriod(Control::smallRunDoneTimer, 100);
    }
  }
}
