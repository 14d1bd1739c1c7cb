#ifndef FX_SHELL_HOST_H
#define FX_SHELL_HOST_H

#include <string>

// What every platform's host shares beyond the command-line scan and the close rules: the
// program's own options, the data folder setting and where the show finds its data.

#define FX_HOST_NAME "vantrel"
#ifdef VANTREL_VERSION
#define FX_HOST_VERSION VANTREL_VERSION
#else
#define FX_HOST_VERSION "0.0.0"
#endif

// How the program was asked to run.
struct tagFXHostOptions {
    bool help;
    bool version;
    bool window;          // an ordinary window on the desktop instead of the screen-saver modes
    int maxFps;           // --max-fps: frames per second at most, 0 unpaced, -1 when not given
    bool root;            // -root: the screen-saver manager's window, else the (virtual) root window
    std::string windowId; // -window-id: a window made by someone else, decimal or 0x hexadecimal
    int width, height;    // its size (-geometry WxH), 0 for the default
    std::string data;     // --data: the data folder, over the setting
    std::string snapshot; // --snapshot: the folder for frames of the show off the real clock
    std::string times;    // --times T1,T2,...
    std::string desktop;  // --desktop: a picture in place of the captured screen
    unsigned int seed;    // --seed, 1 when not given
    int sizeW, sizeH;     // --size WxH of the snapshots, 0 for the default
    std::string scan;     // every other argument, joined by blanks, for the mode scan
    std::string error;    // not empty when the arguments are wrong: the one-line reason
};

// Reads argv[1 ...]. Options start with "--" (and -window, -geometry); any other word goes to
// the mode scan, where "/s", "-S", "/p 123" and "register_scrsaver" are read.
tagFXHostOptions fxParseHostArgs(int argc, char** argv);
const char* fxHostUsage();

// The per-user store of settings: "name=value" lines; blank lines and lines starting with '#'
// are skipped. False when the text holds no such name.
bool fxFindSetting(const std::string& text, const char* name, std::string* value);
// The relative place of the settings file, made of the product's key: "tumo3d/Screensavers/Terravane".
std::string fxSettingsRelativePath(const char* key);

// Where the data were found, for the trace.
enum {
    FXDATA_FROM_OPTION = 0,
    FXDATA_FROM_SETTING = 1,
    FXDATA_BESIDE_PROGRAM = 2,
    FXDATA_INSTALLED = 3,
};
const char* fxDataOriginText(int origin);

// Platform services of the host (host_posix on Linux, host_w32 on Windows).
// The settings file of this user, absolute.
std::string fxHostSettingsFile();
// The folder the running program lives in.
std::string fxHostProgramFolder();
bool fxHostFileExists(const std::string& path);
// The path made absolute against the current folder (the show changes folder as it starts).
std::string fxHostAbsolutePath(const std::string& path);
bool fxHostFolderExists(const std::string& path);
// Whether the trace file can be written in folder.
bool fxHostFolderWritable(const std::string& folder);
// A per-user folder for the trace when the data folder is read-only, made when missing; empty
// when it cannot be made.
std::string fxHostStateFolder();
// While held, memory freed by the start-up's picture decoding stays with the process for the
// next picture instead of going back and being faulted in afresh; letting go returns it. Held
// from before the scene is built until its first frame is shown (the first frame uploads).
void fxHostHoldFreedMemory(bool hold);
// SIGINT and SIGTERM (or the platform's equivalents) raise the flag fxHostStopRequested reads.
void fxHostCatchStopSignals();
bool fxHostStopRequested();

// Frames per second from the option (0 and up), else from the setting "maxfps"; 0 (unpaced) when
// neither gives a whole number from 1 to 1000.
int fxChooseMaxFps(int option, const std::string& settings);

// Chooses the data folder: the option, else the setting, else the program's own folder when it
// holds "vantrel.dat", else installed when it does, else the program's folder.
std::string fxChooseDataFolder(const std::string& option, const std::string& setting, const std::string& programFolder,
                               const std::string& installed, int* origin);
// Puts the chosen data folder into tumoPath (the setting read into it before, if any) and moves
// the trace file to the state folder when the data folder cannot take it. Answers the origin.
int fxSettleDataFolder(const std::string& option, const std::string& installed);
// The whole file as text (1 MiB at most); empty when it cannot be read.
std::string fxHostReadText(const std::string& path);

#endif
