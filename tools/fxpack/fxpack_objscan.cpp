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

static bool localIsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Characters of [p, stop) that no text holds: controls other than white space.
static size_t localControls(const char* p, const char* stop) {
    size_t control = 0;
    while (p < stop) {
        // Counted a byte wide, 255 bytes at a time: the loop then runs on whole vectors of bytes.
        size_t n = (size_t)(stop - p) < 255 ? (size_t)(stop - p) : 255;
        uint8_t chunk = 0;
        for (size_t i = 0; i < n; i++) {
            uint8_t c = (uint8_t)p[i];
            chunk += (uint8_t)((c < '\t') | ((uint8_t)(c - '\r' - 1) < 0x20 - '\r' - 1));
        }
        control += chunk;
        p += n;
    }
    return control;
}

// The '\n' ending the line at p, or stop.
static const char* localLineEnd(const char* p, const char* stop) {
    const char* end = (const char*)memchr(p, '\n', (size_t)(stop - p));
    return end != nullptr ? end : stop;
}

static const char* localSkipSpaces(const char* p, const char* end) {
    while (p < end && localIsSpace(*p)) {
        p++;
    }
    return p;
}

static const char* localWordEnd(const char* p, const char* end) {
    while (p < end && !localIsSpace(*p)) {
        p++;
    }
    return p;
}

static bool localIs(const char* b, const char* e, const char* word) {
    size_t n = strlen(word);
    return (size_t)(e - b) == n && memcmp(b, word, n) == 0;
}

// 0 for v, 1 for vt, 2 for vn, else -1.
static int localTable(const char* b, const char* e) {
    if (e - b == 1 && b[0] == 'v') {
        return 0;
    }
    if (e - b == 2 && b[0] == 'v') {
        return b[1] == 't' ? 1 : b[1] == 'n' ? 2 : -1;
    }
    return -1;
}

// Whether the word starting at b reads whole as a finite float, as strtof reads it; *we receives
// its end, the first white space before end (or end). Plain decimals well inside the float range
// are told by their form in one pass over the word; anything else (infinities, NaN, hexadecimals,
// values near or past the largest float) goes to strtof. The text is terminated and the word
// ends at white space, so strtof stops where the word does at the latest.
static bool localNumberWord(const char* b, const char* end, const char** we) {
    const char* p = b;
    if (p < end && (*p == '+' || *p == '-')) {
        p++;
    }
    int intDigits = 0, digits = 0;
    for (; p < end && localIsDigit(*p); p++) {
        intDigits++;
    }
    digits = intDigits;
    if (p < end && *p == '.') {
        for (p++; p < end && localIsDigit(*p); p++) {
            digits++;
        }
    }
    int exponent = 0;
    if (digits > 0 && p < end && (*p == 'e' || *p == 'E')) {
        const char* x = p + 1;
        bool negative = x < end && *x == '-';
        x += x < end && (*x == '-' || *x == '+') ? 1 : 0;
        int exponentDigits = 0;
        for (; x < end && localIsDigit(*x) && exponentDigits < 5; x++) {
            exponent = exponent * 10 + (*x - '0');
            exponentDigits++;
        }
        exponent = negative ? -exponent : exponent;
        p = exponentDigits > 0 ? x : p;
    }
    // Below 10^38 a float cannot overflow; small values at worst round to zero, still finite.
    if (digits > 0 && (p == end || localIsSpace(*p)) && intDigits + exponent <= 38) {
        *we = p;
        return true;
    }
    *we = localWordEnd(p, end);
    char* stop = nullptr;
    float v = strtof(b, &stop);
    return stop != b && stop == *we && std::isfinite(v);
}

// One index of a corner, as strtol reads it whole: an optional sign and digits; empty and 0
// are no index. Values past any table are held at a magnitude no table reaches.
static bool localIndex(const char* b, const char* e, int64_t* v) {
    const char* p = b;
    bool negative = p < e && *p == '-';
    p += p < e && (*p == '-' || *p == '+') ? 1 : 0;
    if (p == e) {
        return false;
    }
    int64_t value = 0;
    for (; p < e; p++) {
        if (!localIsDigit(*p)) {
            return false;
        }
        value = value < ((int64_t)1 << 56) ? value * 10 + (*p - '0') : value;
    }
    *v = negative ? -value : value;
    return value != 0;
}

static bool localUnused(const char* b, const char* e) {
    static const char* const words[] = {
        "o",        "s",        "vp",   "p",      "cstype", "deg",        "bmat",      "step",  "curv", "curv2",
        "surf",     "parm",     "trim", "hole",   "scrv",   "sp",         "end",       "con",   "mg",   "bevel",
        "c_interp", "d_interp", "lod",  "usemap", "maplib", "shadow_obj", "trace_obj", "ctech", "stech"};
    for (const char* w : words) {
        if (localIs(b, e, w)) {
            return true;
        }
    }
    return false;
}

// The corners of an f or l statement after its keyword: their count, whether each is made of
// indices, whether a negative index reaches back past the entries so far, and the largest
// positive index per table (those count against the whole file, known only at its end).
// The common corner, read in one pass: fields of an optional '-' and digits, at most three,
// joined by slashes, the first not empty, none 0, ending at white space or end. False, with
// nothing read, for any other word: localCorners then takes it apart as written. present: a bit
// per field given.
static bool localPlainCorner(const char** at, const char* end, int64_t* values, int* present) {
    const char* q = *at;
    *present = 0;
    for (int t = 0;; t++) {
        bool negative = q < end && *q == '-';
        q += negative ? 1 : 0;
        const char* digits = q;
        int64_t value = 0;
        for (; q < end && localIsDigit(*q); q++) {
            value = value < ((int64_t)1 << 56) ? value * 10 + (*q - '0') : value;
        }
        if (q == digits ? negative || t == 0 : value == 0) {
            return false;
        }
        if (q != digits) {
            values[t] = negative ? -value : value;
            *present |= 1 << t;
        }
        if (q == end || localIsSpace(*q)) {
            *at = q;
            return true;
        }
        if (*q != '/' || t == 2) {
            return false;
        }
        q++;
    }
}

static int localCorners(const char* p, const char* end, const int64_t* sofar, bool* cornersOk, bool* indexOk,
                        int64_t* largest) {
    int corners = 0;
    for (p = localSkipSpaces(p, end); p < end; p = localSkipSpaces(p, end)) {
        int64_t values[3];
        int present;
        bool valid[3] = {true, true, true};
        if (localPlainCorner(&p, end, values, &present)) {
            for (int t = 0; t < 3; t++) {
                valid[t] = (present >> t & 1) != 0;
            }
        } else {
            // v, v/t, v//n, v/t/n: what follows a second slash is the normal, slashes and all.
            const char* we = localWordEnd(p, end);
            const char* s1 = (const char*)memchr(p, '/', (size_t)(we - p));
            const char* s2 = s1 != nullptr ? (const char*)memchr(s1 + 1, '/', (size_t)(we - s1 - 1)) : nullptr;
            const char* bounds[3][2] = {{p, s1 != nullptr ? s1 : we},
                                        {s1 != nullptr ? s1 + 1 : we, s2 != nullptr ? s2 : we},
                                        {s2 != nullptr ? s2 + 1 : we, we}};
            for (int t = 0; t < 3; t++) {
                valid[t] = t == 0 || bounds[t][0] != bounds[t][1];
                if (valid[t] && !localIndex(bounds[t][0], bounds[t][1], &values[t])) {
                    *cornersOk = false;
                    valid[t] = false;
                }
            }
            p = we;
        }
        for (int t = 0; t < 3; t++) {
            if (!valid[t]) {
                continue;
            }
            if (values[t] < 0 && -values[t] > sofar[t]) {
                *indexOk = false;
            } else if (values[t] > largest[t]) {
                largest[t] = values[t];
            }
        }
        corners++;
    }
    return corners;
}

FXPackObjScan::~FXPackObjScan() {
    Release();
}

void FXPackObjScan::Release() {
    read.Destroy();
    text = nullptr;
    size = 0;
}

bool FXPackObjScan::Read(const std::string& path) {
    Release();
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    // Read, not mapped: a mapped file that another program cuts short kills the reader.
    bool ok = read.Load(f) && ferror(f) == 0;
    text = read.text;
    size = read.size;
    fclose(f);
    if (!ok) {
        Release();
        return false;
    }
    size_t control = localControls(text, text + size);
    binary = control > 0 && (memchr(text, 0, size) != nullptr || control * 100 > size);
    return true;
}

void FXPackObjScan::Count() {
    const char* const start = text;
    const char* const stop = start + size;

    // One pass over the text. A statement naming an entry further on than those read so far is
    // decided at the end, when the tables are counted.
    std::vector<int> badIndex; // lines, in order
    struct Pending {
        int line;
        int triangles;
        int64_t largest[3];
    };
    std::vector<Pending> pending;
    int64_t sofar[3] = {0, 0, 0};
    const char* next = start;
    for (int line = 1; next < stop; line++) {
        const char* end = localLineEnd(next, stop);
        const char* k = localSkipSpaces(next, end);
        const char* ke = localWordEnd(k, end);
        next = end + 1;
        if (k == end || *k == '#') {
            continue;
        }
        int table = localTable(k, ke);
        if (table >= 0) {
            sofar[table]++;
            // The numbers past the first three are not read.
            int words = 0;
            bool ok = true;
            for (const char* w = localSkipSpaces(ke, end); ok && w < end && words < 3; w = localSkipSpaces(w, end)) {
                ok = localNumberWord(w, end, &w);
                words++;
            }
            if (!ok || words < (table == 1 ? 1 : 3)) {
                Note(FXOBJSCAN_BAD_NUMBER, line);
            }
            continue;
        }
        bool face = localIs(k, ke, "f");
        if (face || localIs(k, ke, "l")) {
            bool cornersOk = true, indexOk = true;
            int64_t largest[3] = {0, 0, 0};
            int corners = localCorners(ke, end, sofar, &cornersOk, &indexOk, largest);
            if (!cornersOk) {
                Note(FXOBJSCAN_BAD_CORNER, line);
            } else if (corners < (face ? 3 : 2)) {
                Note(FXOBJSCAN_TOO_FEW, line);
            } else if (!indexOk) {
                badIndex.push_back(line);
            } else if (largest[0] > sofar[0] || largest[1] > sofar[1] || largest[2] > sofar[2]) {
                pending.push_back({line, face ? corners - 2 : 0, {largest[0], largest[1], largest[2]}});
            } else if (face) {
                faces += corners - 2;
            }
        } else if (localIs(k, ke, "usemtl")) {
            const char* n = localSkipSpaces(ke, end);
            std::string name(n, localWordEnd(n, end));
            bool known = false;
            for (const auto& u : usemtls) {
                known = known || u.first == name;
            }
            if (!known && !name.empty()) {
                usemtls.emplace_back(name, line);
            }
        } else if (localIs(k, ke, "mtllib") || localIs(k, ke, "g")) {
            continue;
        } else if (localUnused(k, ke)) {
            Note(FXOBJSCAN_UNUSED, line);
        } else {
            Note(FXOBJSCAN_NOT_A_STATEMENT, line);
        }
    }

    // sofar now holds the whole tables: the pending statements are decided, and the lines naming
    // what does not exist are noted in file order.
    size_t at = 0;
    for (const Pending& p : pending) {
        if (p.largest[0] <= sofar[0] && p.largest[1] <= sofar[1] && p.largest[2] <= sofar[2]) {
            faces += p.triangles;
            continue;
        }
        for (; at < badIndex.size() && badIndex[at] < p.line; at++) {
            Note(FXOBJSCAN_BAD_INDEX, badIndex[at]);
        }
        Note(FXOBJSCAN_BAD_INDEX, p.line);
    }
    for (; at < badIndex.size(); at++) {
        Note(FXOBJSCAN_BAD_INDEX, badIndex[at]);
    }
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
