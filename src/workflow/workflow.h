// The collection workflow's entry points, as the application shell binds them to the window's
// events.
//
// Promises:
// - `InitAppState` runs once on the main thread before the window opens; `ReleaseAppState` runs
//   once as the process ends and frees nothing that a running job or worker may still use.
// - The click handlers, menu commands and timer ticks run on the main thread and never wait
//   without limit; the jobs they start run on threads of their own.
#pragma once

void InitAppState();
void ReleaseAppState();

// Button clicks.
void OnMatchButtonClicked();
void OnCollectButtonClicked();
void OnExportButtonClicked();

// Timer ticks.
void MatchProgressTick();
void CollectProgressTick();
void BatchFeedTick();
void LargeRunDoneTick();
void SmallRunDoneTick();

// Commands of the chapter list's popup menu.
void SelectAllChapters();
void InvertChapterTicks();
void CheckEmptyChapters();
