#include "app/application_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "app/main_window_win.h"
#include "app/windows_platform_win.h"

namespace {

// Lives from the start of the process to its end.
ResolverState gState;

void ReleaseStateAtExit() { ReleaseResolverState(gState); }

}  // namespace

int RunApplication() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  std::atexit(ReleaseStateAtExit);

  WindowsPlatform platform(gState);
  MainWindow main{gState, platform};
  if (!CreateMainWindow(main, GetModuleHandleW(nullptr))) return 1;
  platform.SetMainWindow(main.window);
  ShowWindow(main.window, SW_SHOWNORMAL);
  UpdateWindow(main.window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab between the controls, Enter presses the confirm button.
    if (main.window && IsDialogMessageW(main.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
