#include "shell/snapshot.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>

#include "base/other.h"
#include "render/canvas.h"
#include "shell/scene.h"

bool fxParseSnapshotTimes(const char* text, std::vector<double>* times) {
    times->clear();
    const char* p = text;
    while (p != nullptr && *p != '\0') {
        char* end = nullptr;
        double t = strtod(p, &end);
        if (end == p || !(t >= 0.0 && t <= 86400.0) || (*end != ',' && *end != '\0')) {
            times->clear();
            return false;
        }
        if (*end == ',' && end[1] == '\0') {
            times->clear();
            return false;
        }
        times->push_back(t);
        p = *end == ',' ? end + 1 : end;
    }
    for (size_t i = 1; i < times->size(); i++) {
        for (size_t j = i; j > 0 && (*times)[j - 1] > (*times)[j]; j--) {
            double x = (*times)[j];
            (*times)[j] = (*times)[j - 1];
            (*times)[j - 1] = x;
        }
    }
    return !times->empty();
}

std::string fxSnapshotName(double time) {
    char buf[64];
    snprintf(buf, sizeof(buf), "frame-%g.png", time);
    return buf;
}

// The frame at time, kept in the back buffer: drawn as the hidden first frame (no swap) after
// the clear every shown frame starts with, so that it is exactly what the screen would show.
static bool localSaveFrame(double time, const std::string& path, int* drawnStage) {
    ClearSceneFrame();
    first = true;
    keepFirstFrame = true;
    *drawnStage = stage;
    sc.OnRender(&gr, time);
    keepFirstFrame = false;

    FXCanvas frame;
    if (!frame.pixmap.Realloc(gr.width, gr.height)) {
        return false;
    }
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, frame.pixmap.allocWidth);
    // GL rows run bottom to top; the picture's top to bottom.
    for (int y = 0; y < gr.height; y++) {
        uint32_t* row = frame.pixmap.pixels + (size_t)(gr.height - 1 - y) * (size_t)frame.pixmap.allocWidth;
        glReadPixels(0, y, gr.width, 1, GL_RGBA, GL_UNSIGNED_BYTE, row);
        for (int x = 0; x < gr.width; x++) {
            row[x] |= 0xFF000000u;
        }
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    return frame.SaveToPict1(path.c_str(), 0, 0, gr.width, gr.height);
}

bool fxRunSnapshots(void* window, const std::string& folder, const std::vector<double>& times,
                    const std::string& desktopPicture, unsigned int seed) {
    FXCanvas desktop;
    if (!desktopPicture.empty()) {
        fxLoadDevil();
        if (!desktop.CreateFromPict(desktopPicture.c_str())) {
            fprintf(stderr, "vantrel: cannot read the desktop picture %s\n", desktopPicture.c_str());
            return false;
        }
    }
    fxSeedRandom(seed);
    fxSetRandomRepeatable(true);
    BuildScene(window, false, desktopPicture.empty() ? nullptr : &desktop);
    if (gr.hglrc == nullptr) {
        fprintf(stderr, "vantrel: no OpenGL context for the snapshots\n");
        DestroyScene();
        return false;
    }
    gr.SetAct(true);
    bool ok = true;
    long frame = 0;
    for (double t : times) {
        // Every frame of the virtual clock before t, then t itself.
        for (;; frame++) {
            double ft = (double)frame / FX_SNAPSHOT_FPS;
            if (ft >= t) {
                break;
            }
            sc.OnRender(&gr, ft);
        }
        std::string path = folder + "/" + fxSnapshotName(t);
        int drawn = 0;
        if (!localSaveFrame(t, path, &drawn)) {
            fprintf(stderr, "vantrel: cannot write %s\n", path.c_str());
            ok = false;
            break;
        }
        static const char* const stageNames[] = {"crystal", "pause", "tech desk", "fade-in"};
        printf("%s stage %d %s\n", path.c_str(), drawn, drawn >= 0 && drawn < 4 ? stageNames[drawn] : "");
        while ((double)frame / FX_SNAPSHOT_FPS <= t) {
            frame++;
        }
    }
    gr.SetAct(false);
    DestroyScene();
    return ok;
}
