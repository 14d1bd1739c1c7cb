#include "base/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/other.h"
#include "base/thread.h"

#define TRC_TEXT_SIZE 4096

static std::atomic<bool> trcOn(false);
static FILE* trcFile = nullptr;
static std::atomic<FXMUTEX> trcMutex(nullptr);
static std::atomic<FXTraceSink> trcSink(nullptr);
static char trcThreadStr[1024];
static int trcThreadStrSize = 0;
static char trcTimeStr[1024];
static int trcTimeStrSize = 0;
static char trcTrcText[TRC_TEXT_SIZE + 1];
static int trcTrcTextSize = 0;
static char trcDynamicError[TRC_TEXT_SIZE + 1];

static const char* const localDashes = "------------------------------------------------\n";

static void localPrepareThread() {
    trcThreadStrSize = snprintf(trcThreadStr, sizeof(trcThreadStr), "%08x: ", fxGetThreadId());
}

static void localPrepareTime() {
    // Shown in single precision on purpose: the log has always lost the milliseconds this way
    // once the clock passes 16384 seconds.
    float now = (float)fxGetTime();
    trcTimeStrSize = snprintf(trcTimeStr, sizeof(trcTimeStr), "[%.3f] ", (double)now);
}

// Formats into a text buffer of TRC_TEXT_SIZE characters plus a terminator; returns the length
// kept (longer messages are cut).
static int localFormat(char* buffer, const char* format, va_list args) {
    int n = vsnprintf(buffer, TRC_TEXT_SIZE + 1, format, args);
    if (n < 0) {
        buffer[0] = 0;
        return 0;
    }
    return n > TRC_TEXT_SIZE ? TRC_TEXT_SIZE : n;
}

static void localWriteLine(const char* prefix, bool stamped, const char* text, int textSize) {
    if (trcFile == nullptr) {
        return;
    }
    if (prefix != nullptr) {
        fwrite(prefix, 1, strlen(prefix), trcFile);
    }
    if (stamped) {
        fwrite(trcThreadStr, 1, (size_t)trcThreadStrSize, trcFile);
        fwrite(trcTimeStr, 1, (size_t)trcTimeStrSize, trcFile);
    }
    fwrite(text, 1, (size_t)textSize, trcFile);
    fflush(trcFile);
}

bool fxOpenTraces(const char* filename) {
    if (trcOn) {
        FXMUTEX mutex = trcMutex;
        fxLock(mutex);
        if (trcFile != nullptr) {
            fputs(localDashes, trcFile);
            fputs("fxOpenTraces - attempt to open another traces\n", trcFile);
            fprintf(trcFile, "               (filename:%s)\n", filename != nullptr ? filename : "");
            fputs(localDashes, trcFile);
            fputs("\n", trcFile);
            fflush(trcFile);
        }
        fxUnlock(mutex);
        return false;
    }
    if (filename == nullptr) {
        return false;
    }
    FILE* f = fopen(filename, "wt");
    if (f == nullptr) {
        return false;
    }
    trcFile = f;
    fputs(localDashes, trcFile);
    fprintf(trcFile, " fxOpenTraces (filename:%s)\n", filename);
    fputs(localDashes, trcFile);
    fputs("\n", trcFile);
    fflush(trcFile);
    // Created once and kept for the life of the process: a writer may have picked up the mutex
    // just before a concurrent close, and must never lock a destroyed one.
    if (trcMutex.load() == nullptr) {
        trcMutex = fxCreateMutex();
    }
    trcOn = true;
    return true;
}

bool fxTracesOpened() {
    return trcOn;
}

void fxCloseTracesFile() {
    if (trcFile == nullptr) {
        return;
    }
    fputs("\n", trcFile);
    fputs(localDashes, trcFile);
    fputs(" end of traces\n", trcFile);
    fputs(localDashes, trcFile);
    fputs("\n", trcFile);
    fclose(trcFile);
    trcFile = nullptr;
}

void fxCloseTraces() {
    if (!trcOn) {
        return;
    }
    FXMUTEX mutex = trcMutex;
    fxLock(mutex);
    if (!trcOn) {
        fxUnlock(mutex);
        return;
    }
    trcOn = false;
    fxCloseTracesFile();
    fxUnlock(mutex);
}

void fxSetTraceSink(FXTraceSink sink) {
    if (sink != nullptr && trcMutex.load() == nullptr) {
        trcMutex = fxCreateMutex();
    }
    trcSink = sink;
}

static void localTrace(const char* prefix, bool stamped, const char* format, va_list args) {
    if (!trcOn && trcSink.load() == nullptr) {
        return;
    }
    FXMUTEX mutex = trcMutex;
    if (mutex == nullptr) {
        return;
    }
    fxLock(mutex);
    FXTraceSink sink = trcSink;
    if (trcOn || sink != nullptr) {
        if (stamped) {
            localPrepareThread();
            localPrepareTime();
        }
        trcTrcTextSize = localFormat(trcTrcText, format, args);
        if (trcOn) {
            localWriteLine(prefix, stamped, trcTrcText, trcTrcTextSize);
        }
        if (sink != nullptr) {
            sink(prefix != nullptr, trcTrcText);
        }
    }
    fxUnlock(mutex);
}

void trc(const char* format, ...) {
    va_list args;
    va_start(args, format);
    localTrace(nullptr, true, format, args);
    va_end(args);
}

void trc1(const char* format, ...) {
    va_list args;
    va_start(args, format);
    localTrace(nullptr, false, format, args);
    va_end(args);
}

void err(const char* format, ...) {
    va_list args;
    va_start(args, format);
    localTrace("#ERROR: ", true, format, args);
    va_end(args);
}

int errmsg(const char* format, ...) {
    bool formatted = false;
    char text[TRC_TEXT_SIZE + 1];
    va_list args;
    if (trcOn) {
        FXMUTEX mutex = trcMutex;
        fxLock(mutex);
        if (trcOn) {
            va_start(args, format);
            int size = localFormat(trcDynamicError, format, args);
            va_end(args);
            localPrepareThread();
            localPrepareTime();
            localWriteLine("#ERROR: ", true, trcDynamicError, size);
            memcpy(text, trcDynamicError, (size_t)size + 1);
            formatted = true;
        }
        fxUnlock(mutex);
    }
    if (!formatted) {
        va_start(args, format);
        localFormat(text, format, args);
        va_end(args);
    }
    return fxShowErrorMessage(text);
}
