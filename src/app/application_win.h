#pragma once

// The process: the main window and its message loop, and the release of the
// resolver's state as the process ends. Returns 0 once the main window is gone.
int RunApplication();
