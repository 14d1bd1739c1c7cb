#ifndef FX_BASE_TRACE_H
#define FX_BASE_TRACE_H

#if defined(__MINGW32__)
// Checked against the C99 formats the MinGW runtime's printf is built with.
#define FX_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#elif defined(__GNUC__)
#define FX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define FX_PRINTF(f, a)
#endif

bool fxOpenTraces(const char* filename);
bool fxTracesOpened();
void fxCloseTraces();
void fxCloseTracesFile();

// A stamped line: "%08x: " thread id, "[%.3f] " clock, then the message (callers add "\n").
void trc(const char* format, ...) FX_PRINTF(1, 2);
// The message alone.
void trc1(const char* format, ...) FX_PRINTF(1, 2);
// "#ERROR: " then a stamped line.
void err(const char* format, ...) FX_PRINTF(1, 2);
// As err, then shows the message to the user; returns the message box result.
int errmsg(const char* format, ...) FX_PRINTF(1, 2);

// Receives every trc, trc1 and err line besides the trace file, even when no file is open (a
// command-line tool shows them on its own terms). error: an err line; text: the message without
// stamp. Called under the trace lock, from whichever thread traces. Null switches it off.
typedef void (*FXTraceSink)(bool error, const char* text);
void fxSetTraceSink(FXTraceSink sink);

// Platform part of errmsg: shows the text to the user, captioned "Error"; answers the box's result.
int fxShowErrorMessage(const char* text);

#endif
