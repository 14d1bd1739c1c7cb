#include "base/trace.h"

#include <windows.h>

int fxShowErrorMessage(const char* text) {
    return MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR);
}
