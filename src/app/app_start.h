// Start-up of the program: the application state, the exit hook, the pool's pump, the window and
// its event loop.
//
// Promises: main thread only, in this order: `BeginApplication` once, after the QApplication
// exists; then `OpenMainWindow`; `RunApplication` does all of it and never returns normally:
// the process ends when the window closes.
#pragma once

class MainWindow;

// Runs `InitAppState`, registers `ReleaseAppState` to run as the process ends, and makes
// `ProcessPendingEvents` the task pool's pump.
void BeginApplication();
// Creates the main window (which sets its caption and the process priority) and shows it.
MainWindow* OpenMainWindow();
// The whole start-up and the event loop; gives 0, the program's exit code.
int RunApplication(int argc, char** argv);
