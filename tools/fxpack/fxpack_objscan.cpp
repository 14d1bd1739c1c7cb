// A look over an OBJ file's text for what the import skips, with line numbers: the importer's
// own traces name neither lines nor unreadable numbers.

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "fxpack.h"
#include "fxpack_objscan.h"

#define SCAN_LINES_KEPT 5

void FXPackObjScan::Note(int cause, int line) {
    Cause& c = causes[cause];
    c.count++;
    if (c.lines.size() < SCAN_LINES_KEPT) {
        c.lines.push_back(line);
    }
}

const char* FXPackObjScan::CauseText(int cause) {
    switch (cause) {
        case FXOBJSCAN_NOT_A_STATEMENT:
            return "lines that are no statement, skipped";
        case FXOBJSCAN_BAD_NUMBER:
            return "v, vn or vt lines with a missing, unreadable or infinite number, not read as written";
        case FXOBJSCAN_BAD_CORNER:
            return "faces or lines with a corner that is no index, skipped";
        case FXOBJSCAN_BAD_INDEX:
            return "faces or lines naming a vertex, texture coordinate or normal that does not exist, skipped";
        case FXOBJSCAN_TOO_FEW:
            return "faces with fewer than 3 corners or lines with fewer than 2 points, skipped";
        case FXOBJSCAN_UNKNOWN_MATERIAL:
            return "usemtl naming a material the library does not hold, drawn plain";
        case FXOBJSCAN_UNUSED:
            return "statements the engine has no use for (o, s, ...), ignored";
        default:
            return "?";
    }
}

static bool localIsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// Splits a line into words.
static void localWords(const char* b, const char* e, std::vector<std::string>* words) {
    words->clear();
    while (b < e) {
        while (b < e && localIsSpace(*b)) {
            b++;
        }
        const char* s = b;
        while (b < e && !localIsSpace(*b)) {
            b++;
        }
        if (b > s) {
            words->emplace_back(s, b);
        }
    }
}

static bool localNumber(const std::string& w) {
    char* end = nullptr;
    float v = strtof(w.c_str(), &end);
    return end != w.c_str() && *end == 0 && std::isfinite(v);
}

// One index of a corner: empty is allowed where optional; 0 never.
static bool localIndex(const std::string& w, long* v) {
    char* end = nullptr;
    *v = strtol(w.c_str(), &end, 10);
    return !w.empty() && *end == 0 && *v != 0;
}

// Whether index v names an entry: positive against the whole file, negative against those so far.
static bool localInRange(long v, int64_t total, int64_t sofar) {
    return v > 0 ? v <= total : -v <= sofar;
}

static bool localUnused(const std::string& k) {
    static const char* const words[] = {
        "o",        "s",        "vp",   "p",      "cstype", "deg",        "bmat",      "step",  "curv", "curv2",
        "surf",     "parm",     "trim", "hole",   "scrv",   "sp",         "end",       "con",   "mg",   "bevel",
        "c_interp", "d_interp", "lod",  "usemap", "maplib", "shadow_obj", "trace_obj", "ctech", "stech"};
    for (const char* w : words) {
        if (k == w) {
            return true;
        }
    }
    return false;
}

bool FXPackObjScan::Scan(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    std::string text;
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) {
        text.append(buf, n);
    }
    fclose(f);

    size_t control = 0;
    for (unsigned char c : text) {
        control += (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '\v') ? 1 : 0;
    }
    binary = control > 0 && (memchr(text.data(), 0, text.size()) != nullptr || control * 100 > text.size());
    if (binary) {
        return true;
    }

    int64_t totals[3] = {0, 0, 0}; // positions, texture coordinates, normals
    int64_t sofar[3] = {0, 0, 0};
    std::vector<std::string> words;
    for (int pass = 0; pass < 2; pass++) {
        size_t pos = 0;
        for (int line = 1; pos < text.size(); line++) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) {
                end = text.size();
            }
            localWords(text.data() + pos, text.data() + end, &words);
            pos = end + 1;
            if (words.empty() || words[0][0] == '#') {
                continue;
            }
            const std::string& k = words[0];
            int table = k == "v" ? 0 : k == "vt" ? 1 : k == "vn" ? 2 : -1;
            if (table >= 0) {
                if (pass == 0) {
                    totals[table]++;
                    continue;
                }
                sofar[table]++;
                size_t needed = table == 1 ? 1 : 3;
                bool ok = words.size() > needed;
                for (size_t i = 1; ok && i < words.size() && i <= 3; i++) {
                    ok = localNumber(words[i]);
                }
                if (!ok) {
                    Note(FXOBJSCAN_BAD_NUMBER, line);
                }
                continue;
            }
            if (pass == 0) {
                continue;
            }
            if (k == "f" || k == "l") {
                size_t need = k == "f" ? 3 : 2;
                bool cornersOk = true, indexOk = true;
                for (size_t i = 1; i < words.size(); i++) {
                    const std::string& w = words[i];
                    size_t s1 = w.find('/');
                    size_t s2 = s1 == std::string::npos ? std::string::npos : w.find('/', s1 + 1);
                    std::string parts[3] = {w.substr(0, s1), "", ""};
                    if (s1 != std::string::npos) {
                        parts[1] = w.substr(s1 + 1, s2 == std::string::npos ? std::string::npos : s2 - s1 - 1);
                        parts[2] = s2 == std::string::npos ? "" : w.substr(s2 + 1);
                    }
                    const int tables[3] = {0, 1, 2};
                    for (int p = 0; p < 3; p++) {
                        long v;
                        if (p > 0 && parts[p].empty()) {
                            continue;
                        }
                        if (!localIndex(parts[p], &v)) {
                            cornersOk = false;
                        } else if (!localInRange(v, totals[tables[p]], sofar[tables[p]])) {
                            indexOk = false;
                        }
                    }
                }
                if (!cornersOk) {
                    Note(FXOBJSCAN_BAD_CORNER, line);
                } else if (words.size() - 1 < need) {
                    Note(FXOBJSCAN_TOO_FEW, line);
                } else if (!indexOk) {
                    Note(FXOBJSCAN_BAD_INDEX, line);
                } else if (k == "f") {
                    faces += (int64_t)words.size() - 3;
                }
            } else if (k == "usemtl") {
                std::string name = words.size() > 1 ? words[1] : std::string();
                bool known = false;
                for (const auto& u : usemtls) {
                    known = known || u.first == name;
                }
                if (!known && !name.empty()) {
                    usemtls.emplace_back(name, line);
                }
            } else if (k == "mtllib" || k == "g") {
                continue;
            } else if (localUnused(k)) {
                Note(FXOBJSCAN_UNUSED, line);
            } else {
                Note(FXOBJSCAN_NOT_A_STATEMENT, line);
            }
        }
    }
    return true;
}

int FXPackObjScan::Skipped() const {
    int n = 0;
    for (int i = 0; i < FXOBJSCAN_CAUSES; i++) {
        n += i == FXOBJSCAN_UNUSED ? 0 : causes[i].count;
    }
    return n;
}

std::string FXPackObjScan::Lines(int cause) const {
    const Cause& c = causes[cause];
    std::string s = c.lines.size() > 1 ? "lines " : "line ";
    for (size_t i = 0; i < c.lines.size(); i++) {
        s += (i > 0 ? ", " : "") + std::to_string(c.lines[i]);
    }
    return s + (c.count > (int)c.lines.size() ? ", ..." : "");
}
