// The chapter-link matching job: fetch the table of contents, take the book title, list every
// link the user's pattern matches.
#include "text/codepage.h"
#include "web/fetch_page.h"
#include "web/url_pieces.h"
#include "workflow/app_state.h"
#include "workflow/jobs.h"
#include "workflow/window_ops.h"
#include "workflow/workflow.h"

const Text& ProductCaption() {
  static const Text caption = Utf8ToAnsi("Norvel小说网多线程采集器V1.0");
  return caption;
}

void OnMatchButtonClicked() {
  SetDisabled(Control::matchButton, 1);
  SetDisabled(Control::collectButton, 1);
  StartJobThread(RunMatchJob);
}

void RunMatchJob() {
  AppState& s = *appState;
  s.matchStage = 0;
  SetProgressPosition(Control::matchProgress, 0);
  SetTimerPeriod(Control::matchProgressTimer, 50);
  s.matchStage = 0;
  ListDeleteAll(Control::linkList);

  s.siteBase = Concat(Text("http://"), UrlHost(GetEditText(Control::tocUrlEdit)));
  s.matchStage = 30;

  const Bytes body = FetchPage(GetEditText(Control::tocUrlEdit), 0);
  s.tocPageText = Utf8ToAnsi(BytesToText(body));
  s.matchStage = 40;

  s.bookTitle.Store(TextBetween(s.tocPageText, "<title>", "</title>"));
  s.matchStage = 50;

  SetCaption(Control::MainWindow,
             Concat(ProductCaption(), BlankText(20), "----------", s.bookTitle.Load()));
  s.matchStage = 60;

  s.linkRegex.Create(GetEditText(Control::linkPatternEdit), s.tocPageText, false, true, true, true);
  const int count = s.linkRegex.MatchCount();
  s.matchStage = 70;

  static const Text countPrefix = Utf8ToAnsi("已匹配章节：");
  static const Text countSuffix = Utf8ToAnsi("个");
  SetCaption(Control::matchCountLabel, Concat(countPrefix, ToText(count), countSuffix));
  SetProgressMaximum(Control::collectProgress, count + 100);

  Text joined;
  for (int i = 1; i <= count; ++i)
    joined += s.linkRegex.MatchText(i);
  s.matchedLinksText = std::move(joined);
  s.matchStage = 80;

  for (int i = 1; i <= count; ++i) {
    ListInsertRow(Control::linkList, i - 1, ToText(i));
    ListSetCellText(Control::linkList, i - 1, 1, s.linkRegex.MatchText(i));
  }
  s.matchStage = 100;

  SetDisabled(Control::collectButton, 0);
  SetDisabled(Control::matchButton, 0);
}

void MatchProgressTick() {
  SetProgressPosition(Control::matchProgress, appState->matchStage);
  if (GetProgressPosition(Control::matchProgress) == 100) {
    SetTimerPeriod(Control::matchProgressTimer, 0);
  }
}
