// The pool's hook into the window's event loop. The pool knows nothing of the window: the shell
// registers its pump (the function that handles the window's pending events) and the pool calls
// `PumpEvents` where it lets the window breathe while it starts or stops workers.
//
// Promises: `SetPumpFunction` may be called at any time from any thread (the shell calls it once
// at start-up); `PumpEvents` calls the registered function, or does nothing when none is.
#pragma once

void SetPumpFunction(void (*pump)());
void PumpEvents();
