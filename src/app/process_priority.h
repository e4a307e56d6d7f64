// The process priority, mapped from the priority levels the window asks for onto nice values.
//
// Promises: any thread may call `SetProcessPriority`; it never throws and reports failure only
// through its result.
#pragma once

#include <optional>

// Levels: 0 high, 1 above normal, 2 realtime, 3 normal, 4 below normal, 5 idle; an omitted level
// means high. Any other level is taken as a priority-class value (0x80 high, 0x8000 above
// normal, 0x100 realtime, 0x20 normal, 0x4000 below normal, 0x40 idle); an unknown one fails.
// Without a process id it acts on the current process. Returns 1 on success, 0 on failure (for
// example when raising the priority needs privileges the process lacks).
int SetProcessPriority(std::optional<int> processId = std::nullopt,
                       std::optional<int> level = std::nullopt);
