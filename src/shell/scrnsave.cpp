#include "shell/scrnsave.h"

tagFXSaverCommand fxScanSaverCommand(const char* text) {
    tagFXSaverCommand cmd = {FXSAVER_CONFIGURE, false, 0};
    if (text == nullptr) {
        return cmd;
    }
    for (const char* p = text; *p != '\0'; p++) {
        char c = *p;
        if (c >= 'A' && c <= 'Z') {
            c = (char)(c - 'A' + 'a');
        }
        if (c == 'c') {
            return cmd;
        }
        if (c == 's') {
            cmd.mode = FXSAVER_SHOW;
            return cmd;
        }
        if (c == 'p' || c == 'a') {
            cmd.mode = c == 'p' ? FXSAVER_PREVIEW : FXSAVER_PASSWORD;
            const char* q = p + 1;
            while (*q == ' ' || *q == '\t') {
                q++;
            }
            uint32_t n = 0;
            for (; *q >= '0' && *q <= '9'; q++) {
                cmd.hasNumber = true;
                n = n * 10u + (uint32_t)(*q - '0'); // wraps like the 32-bit reader it mirrors
            }
            cmd.window = n;
            return cmd;
        }
    }
    return cmd;
}

FXSaverClose::FXSaverClose() : fChildPreview(false), escapeHit(false), started(false), startTime(0.0) {
    pt_orig[0] = pt_orig[1] = 0;
}

void FXSaverClose::OnCreate(bool preview, int x, int y) {
    fChildPreview = preview;
    pt_orig[0] = x;
    pt_orig[1] = y;
}

void FXSaverClose::OnStarted(double now) {
    startTime = now;
    started = true;
}

bool FXSaverClose::OnKey() {
    escapeHit = true;
    return true;
}

bool FXSaverClose::OnCloseRequest(double now) {
    return fChildPreview || escapeHit || (started && now - startTime > FX_SAVER_GRACE);
}

bool FXSaverClose::OnButton(double now) {
    return !fChildPreview && OnCloseRequest(now);
}

bool FXSaverClose::OnCursor(int x, int y, double now) {
    if (fChildPreview || (x == pt_orig[0] && y == pt_orig[1])) {
        return false;
    }
    return OnCloseRequest(now);
}
