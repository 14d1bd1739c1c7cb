#include "support/test_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(_WIN32)
#include "base/outfile.h"
#else
#include <sys/wait.h>
#endif

static void localRemoveTree(const std::string& path) {
    struct stat st;
#if defined(_WIN32)
    if (stat(path.c_str(), &st) != 0) { // no links to stay out of
#else
    if (lstat(path.c_str(), &st) != 0) {
#endif
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        for (const std::string& name : fxTestListDir(path)) {
            localRemoveTree(path + "/" + name);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

FXTestDir::FXTestDir() {
#if defined(_WIN32)
    if (!fxMakeTempFolder("vantrel-test", &path)) {
        path.clear();
    }
#else
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/vantrel-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (mkdtemp(buf.data()) != nullptr) {
        path = buf.data();
    }
#endif
}

FXTestDir::~FXTestDir() {
    if (!path.empty()) {
        localRemoveTree(path);
    }
}

bool fxTestWriteFile(const std::string& path, const FXBytes& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool fxTestWriteText(const std::string& path, const std::string& text) {
    return fxTestWriteFile(path, FXBytes(text.begin(), text.end()));
}

bool fxTestReadFile(const std::string& path, FXBytes* bytes) {
    bytes->clear();
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) {
        bytes->insert(bytes->end(), buf, buf + n);
    }
    bool ok = ferror(f) == 0;
    fclose(f);
    return ok;
}

bool fxTestFileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> fxTestListDir(const std::string& path) {
    std::vector<std::string> names;
    DIR* d = opendir(path.c_str());
    if (d == nullptr) {
        return names;
    }
    while (struct dirent* e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
            names.push_back(e->d_name);
        }
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

void fxTestPutI32(FXBytes* out, int32_t v) {
    uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; i++) {
        out->push_back((uint8_t)(u >> (8 * i)));
    }
}

void fxTestPutF32(FXBytes* out, float v) {
    uint32_t u;
    memcpy(&u, &v, 4);
    fxTestPutI32(out, (int32_t)u);
}

void fxTestPutF64(FXBytes* out, double v) {
    uint64_t u;
    memcpy(&u, &v, 8);
    for (int i = 0; i < 8; i++) {
        out->push_back((uint8_t)(u >> (8 * i)));
    }
}

void fxTestPutStr(FXBytes* out, const std::string& s) {
    fxTestPutI32(out, (int32_t)s.size());
    out->insert(out->end(), s.begin(), s.end());
}

void fxTestPutBytes(FXBytes* out, const FXBytes& bytes) {
    out->insert(out->end(), bytes.begin(), bytes.end());
}

int32_t fxTestGetI32(const FXBytes& bytes, size_t offset) {
    uint32_t u = 0;
    for (int i = 0; i < 4 && offset + i < bytes.size(); i++) {
        u |= (uint32_t)bytes[offset + i] << (8 * i);
    }
    return (int32_t)u;
}

FXBytes fxTestPattern(size_t size, uint32_t seed) {
    FXBytes out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = (uint8_t)x;
    }
    return out;
}

std::string fxTestReadText(const std::string& path) {
    FXBytes b;
    fxTestReadFile(path, &b);
    return std::string(b.begin(), b.end());
}

#if defined(_WIN32)
// cmd.exe quoting: names with double quotes in them are not supported.
static std::string localQuote(const std::string& s) {
    return "\"" + s + "\"";
}
#define FX_TEST_NO_INPUT " <NUL"
#else
#define FX_TEST_NO_INPUT " </dev/null"
static std::string localQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}
#endif

FXTestRun fxTestRunTool(const std::string& program, const FXTestDir& dir, const std::vector<std::string>& args,
                        const std::string& envPrefix) {
    std::string cmd = "cd " + localQuote(dir.path) + " && " + envPrefix + localQuote(program);
    for (const std::string& a : args) {
        cmd += " " + localQuote(a);
    }
    std::string out = dir.File("run.out");
    std::string err = dir.File("run.err");
    cmd += " >" + localQuote(out) + " 2>" + localQuote(err) + FX_TEST_NO_INPUT;
    FXTestRun r;
    int raw = system(cmd.c_str());
#if defined(_WIN32)
    r.status = raw; // the exit code itself
#else
    r.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    r.out = fxTestReadText(out);
    r.err = fxTestReadText(err);
    remove(out.c_str());
    remove(err.c_str());
    return r;
}

std::string fxTestReadTrace(const std::string& path) {
    std::string text = fxTestReadText(path);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}
