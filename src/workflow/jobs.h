// The jobs and tasks behind the workflow's entry points, exposed for the tests and benchmarks that
// drive them directly.
//
// Promises: `RunMatchJob`, `RunCollectJob` and `ExportTxt` run on a job thread of their own (each
// click starts one); `StartBatch` runs on the collect thread for a small run and on the main thread
// for a large one; `RunChapterTask` runs on a pool worker.
#pragma once

#include <cstdint>

#include "text/text_ops.h"

void RunMatchJob();
void RunCollectJob();
void StartBatch(int n);
void RunChapterTask(std::int32_t taskNumber, std::int32_t batchSize);
void ExportTxt();

// "Norvel小说网多线程采集器V1.0" in GBK: the product's part of the window caption.
const Text& ProductCaption();
