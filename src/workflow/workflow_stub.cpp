// Placeholder actions until the collection workflow lands: every event is bound and does nothing.
#include "workflow/workflow.h"

void InitAppState() {}
void ReleaseAppState() {}
void OnMatchButtonClicked() {}
void OnCollectButtonClicked() {}
void OnExportButtonClicked() {}
void MatchProgressTick() {}
void CollectProgressTick() {}
void BatchFeedTick() {}
void LargeRunDoneTick() {}
void SmallRunDoneTick() {}
void SelectAllChapters() {}
void InvertChapterTicks() {}
void CheckEmptyChapters() {}
