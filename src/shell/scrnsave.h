#ifndef FX_SHELL_SCRNSAVE_H
#define FX_SHELL_SCRNSAVE_H

#include <cstdint>

// The portable half of the screen-saver host: the command-line scan and the close rules. Each
// platform's host owns its windows and events and feeds them through these; the scene is built
// and released through InitScene / DestroyScene (shell/scene.h).

// Modes the command line selects.
enum {
    FXSAVER_CONFIGURE = 0, // no mode letter, or `c`
    FXSAVER_SHOW = 1,      // `s`: full screen
    FXSAVER_PREVIEW = 2,   // `p`: inside the window given by number
    FXSAVER_PASSWORD = 3,  // `a`: password change, owned by the window given by number
};

struct tagFXSaverCommand {
    int mode;
    bool hasNumber;  // digits followed the letter of `p` or `a`
    uint32_t window; // the number they spell, wrapped to 32 bits
};

// The first of a, c, p, s (either case) wherever it stands decides; every other character is
// skipped, so "register_scrsaver" selects the show. Null reads as an empty line.
tagFXSaverCommand fxScanSaverCommand(const char* text);

// The seconds after the scene is built during which a mouse button or movement does not end the
// show (a key always does).
#define FX_SAVER_GRACE 4.0

// The close rules of one show window. All times are seconds on the caller's clock (fxGetTime in
// the hosts, anything in tests); cursor positions are screen pixels. The On... operations answer
// true when the window must be destroyed now; the host then destroys it and ends the show.
class FXSaverClose {
public:
    bool fChildPreview; // preview: the parent owns the show, any close request ends it
    bool escapeHit;     // a key ended the show
    bool started;       // the scene has been built
    double startTime;   // when it was, for the grace period
    int32_t pt_orig[2]; // the cursor when the window was created

    FXSaverClose();
    // The window exists; the cursor stands at (x, y).
    void OnCreate(bool preview, int x, int y);
    // The scene is built and the show runs from now on.
    void OnStarted(double now);
    // Any key message, down, up or character: always ends the show.
    bool OnKey();
    // A close request from anywhere: ends the show in preview, after a key, or once the grace
    // period is over; inside it the request is dropped, not deferred.
    bool OnCloseRequest(double now);
    // Mouse button down: a close request in full-screen mode.
    bool OnButton(double now);
    // The cursor was reported at (x, y), by a move or when activation was lost: a close request
    // when it stands anywhere but where it stood at the start.
    bool OnCursor(int x, int y, double now);
};

#endif
