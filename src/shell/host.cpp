#include "shell/host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/paths.h"
#include "shell/scene.h"

const char* fxHostUsage() {
    return "usage: vantrel [MODE] [OPTIONS]\n"
           "\n"
           "Modes (the first of the letters s, p, c, a in the arguments decides, in either case):\n"
           "  /s            the show full screen; a key ends it, the mouse after 4 seconds\n"
           "  /p ID         a preview inside the existing X window ID (decimal)\n"
           "  /c            where the one setting, the data folder, is kept (also with no mode)\n"
           "  /a            password change: nothing to do on this platform\n"
           "\n"
           "Options:\n"
           "  -window           the show in an ordinary window; a key or closing the window ends it\n"
           "  -geometry WxH     size of that window (default 1024x768)\n"
           "  -root             the show in the screen-saver manager's window ($XSCREENSAVER_WINDOW),\n"
           "                    else on the root window; the manager ends it with a signal\n"
           "  -window-id ID     the show in the existing window ID (decimal or 0x hexadecimal)\n"
           "  --max-fps N       draw at most N frames per second; 0 for no limit (default: the setting\n"
           "                    maxfps, else as fast as the machine can)\n"
           "  --data DIR        read vantrel.dat from DIR instead of the configured data folder\n"
           "  --snapshot DIR --times T1,T2,... [--size WxH] [--desktop PICTURE] [--seed N]\n"
           "                    render the show on a virtual clock and write DIR/frame-<T>.png for each\n"
           "                    time in seconds (default size 1024x768, seed 1); needs an X display\n"
           "  --help            this text\n"
           "  --version         the version\n";
}

static bool localParseSize(const char* text, int* w, int* h) {
    char* end = nullptr;
    long a = strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) {
        return false;
    }
    const char* rest = end + 1;
    long b = strtol(rest, &end, 10);
    // A position (+X+Y) may follow, as window managers write geometry; it is not used.
    if (end == rest || (*end != '\0' && *end != '+' && *end != '-')) {
        return false;
    }
    if (a < 16 || b < 16 || a > 16384 || b > 16384) {
        return false;
    }
    *w = (int)a;
    *h = (int)b;
    return true;
}

tagFXHostOptions fxParseHostArgs(int argc, char** argv) {
    tagFXHostOptions o = {};
    o.seed = 1;
    o.maxFps = -1;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            o.help = true;
        } else if (strcmp(a, "--version") == 0) {
            o.version = true;
        } else if (strcmp(a, "-window") == 0 || strcmp(a, "--window") == 0) {
            o.window = true;
        } else if (strcmp(a, "--max-fps") == 0) {
            char* end = nullptr;
            long n = i + 1 < argc ? strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || n < 0 || n > 1000) {
                o.error = "--max-fps needs a whole number of frames per second from 0 (no limit) to 1000";
                return o;
            }
            o.maxFps = (int)n;
            i++;
        } else if (strcmp(a, "-root") == 0 || strcmp(a, "--root") == 0) {
            o.root = true;
        } else if (strcmp(a, "-window-id") == 0 || strcmp(a, "--window-id") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                o.error = "-window-id needs a window id";
                return o;
            }
            o.windowId = argv[++i];
        } else if (strcmp(a, "-geometry") == 0 || strcmp(a, "--geometry") == 0) {
            if (i + 1 >= argc || !localParseSize(argv[i + 1], &o.width, &o.height)) {
                o.error = "-geometry needs a size WxH between 16x16 and 16384x16384";
                return o;
            }
            i++;
        } else if (strcmp(a, "--data") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                o.error = "--data needs a folder";
                return o;
            }
            o.data = argv[++i];
        } else if (strncmp(a, "--data=", 7) == 0 && a[7] != '\0') {
            o.data = a + 7;
        } else if (strcmp(a, "--snapshot") == 0 || strcmp(a, "--times") == 0 || strcmp(a, "--desktop") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                o.error = std::string(a) +
                          (strcmp(a, "--times") == 0 ? " needs times in seconds, T1,T2,..." : " needs a path");
                return o;
            }
            std::string* field = strcmp(a, "--snapshot") == 0 ? &o.snapshot
                                 : strcmp(a, "--times") == 0  ? &o.times
                                                              : &o.desktop;
            *field = argv[++i];
        } else if (strcmp(a, "--size") == 0) {
            if (i + 1 >= argc || !localParseSize(argv[i + 1], &o.sizeW, &o.sizeH)) {
                o.error = "--size needs a size WxH between 16x16 and 16384x16384";
                return o;
            }
            i++;
        } else if (strcmp(a, "--seed") == 0) {
            char* end = nullptr;
            unsigned long n = i + 1 < argc ? strtoul(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || argv[i + 1][0] == '-' || n > 0xFFFFFFFFul) {
                o.error = "--seed needs a whole number from 0 to 4294967295";
                return o;
            }
            o.seed = (unsigned int)n;
            i++;
        } else if (strncmp(a, "--", 2) == 0) {
            o.error = std::string("unknown option ") + a;
            return o;
        } else {
            if (!o.scan.empty()) {
                o.scan += ' ';
            }
            o.scan += a;
        }
    }
    if (o.error.empty() && !o.snapshot.empty() && o.times.empty()) {
        o.error = "--snapshot needs --times T1,T2,...";
    } else if (o.error.empty() && o.snapshot.empty() && (!o.times.empty() || !o.desktop.empty() || o.sizeW > 0)) {
        o.error = "--times, --desktop and --size go with --snapshot";
    }
    return o;
}

bool fxFindSetting(const std::string& text, const char* name, std::string* value) {
    size_t nameLen = strlen(name);
    size_t at = 0;
    bool found = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(at, end - at);
        at = end + 1;
        size_t b = line.find_first_not_of(" \t");
        if (b == std::string::npos || line[b] == '#') {
            continue;
        }
        if (line.compare(b, nameLen, name) != 0) {
            continue;
        }
        size_t eq = line.find_first_not_of(" \t", b + nameLen);
        if (eq == std::string::npos || line[eq] != '=') {
            continue;
        }
        size_t v = line.find_first_not_of(" \t", eq + 1);
        size_t e = line.find_last_not_of(" \t\r");
        *value = v == std::string::npos || e < v ? std::string() : line.substr(v, e - v + 1);
        found = true; // the last line of a name wins, as in most settings files
    }
    return found;
}

std::string fxSettingsRelativePath(const char* key) {
    std::string k = key;
    const char* root = "Software\\";
    if (k.compare(0, strlen(root), root) == 0) {
        k.erase(0, strlen(root));
    }
    for (char& c : k) {
        if (c == '\\') {
            c = '/';
        }
    }
    return k;
}

const char* fxDataOriginText(int origin) {
    switch (origin) {
        case FXDATA_FROM_OPTION:
            return "from --data";
        case FXDATA_FROM_SETTING:
            return "from the setting";
        case FXDATA_BESIDE_PROGRAM:
            return "beside the program";
        case FXDATA_INSTALLED:
            return "installed data";
        default:
            return "";
    }
}

int fxChooseMaxFps(int option, const std::string& settings) {
    if (option >= 0) {
        return option;
    }
    std::string v;
    if (!fxFindSetting(settings, "maxfps", &v)) {
        return 0;
    }
    char* end = nullptr;
    long n = strtol(v.c_str(), &end, 10);
    return end != v.c_str() && *end == '\0' && n >= 1 && n <= 1000 ? (int)n : 0;
}

std::string fxChooseDataFolder(const std::string& option, const std::string& setting, const std::string& programFolder,
                               const std::string& installed, int* origin) {
    if (!option.empty()) {
        *origin = FXDATA_FROM_OPTION;
        return option;
    }
    if (!setting.empty()) {
        *origin = FXDATA_FROM_SETTING;
        return setting;
    }
    if (!programFolder.empty() && fxHostFileExists(programFolder + "/vantrel.dat")) {
        *origin = FXDATA_BESIDE_PROGRAM;
        return programFolder;
    }
    if (!installed.empty() && fxHostFileExists(installed + "/vantrel.dat")) {
        *origin = FXDATA_INSTALLED;
        return installed;
    }
    *origin = FXDATA_BESIDE_PROGRAM;
    return programFolder;
}

std::string fxHostReadText(const std::string& path) {
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return text;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0 && text.size() < (1u << 20)) {
        text.append(buf, n);
    }
    fclose(f);
    return text;
}

static std::string localLogsFile; // keeps logsFile's text alive when it moves out of the data folder

int fxSettleDataFolder(const std::string& option, const std::string& installed) {
    int origin = 0;
    std::string folder = fxChooseDataFolder(option, tumoPath, fxHostProgramFolder(), installed, &origin);
    snprintf(tumoPath, sizeof(tumoPath), "%s", folder.c_str());
    if (!fxHostFolderWritable(folder)) {
        std::string state = fxHostStateFolder();
        const char* log = state.empty() ? nullptr : fxCombinePaths(state.c_str(), "vantrel.log");
        if (log != nullptr) {
            localLogsFile = log;
            logsFile = localLogsFile.c_str();
        }
    }
    return origin;
}
