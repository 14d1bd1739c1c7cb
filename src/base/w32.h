#ifndef FX_BASE_W32_H
#define FX_BASE_W32_H

// Shared by the Windows platform units only.

// Sets errno from GetLastError(), for callers that report failures the POSIX way.
void fxSetErrnoFromLastError();

#endif
