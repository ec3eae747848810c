#include <windows.h>

#include "app/application_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunApplication(); }
