#ifndef FX_SHELL_SCRNSAVE_W32_H
#define FX_SHELL_SCRNSAVE_W32_H

#include <cstdint>

#include <windows.h>

#include "shell/scrnsave.h"

// The Windows host in the platform's screen-saver convention: a generic layer (scrnsave_w32: entry,
// window, message loop) and the product's layer (main_w32), which the generic layer calls.

extern HINSTANCE hMainInstance; // stored first thing in WinMain
extern HWND hMainWindow;        // the show window once created
extern int32_t w95;             // the platform is of the 9x family
// fChildPreview, escapeHit, started, startTime and pt_orig: the close rules' state, touched only
// by the main thread.
extern FXSaverClose saverClose;

// The generic layer.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
// Registers the class, makes the show window (a child of parent, or full screen when null) and
// pumps messages until the quit message. Answers the wParam of the last message.
WPARAM LaunchScreenSaver(HWND parent);
LRESULT CALLBACK SysScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The password change of the `a` mode as a function of its own; nothing calls it.
void ScreenSaverChangePassword(HWND parent);

// The product's layer.
LRESULT ScreenSaverProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL RegisterDialogClasses(HINSTANCE instance);

#endif
