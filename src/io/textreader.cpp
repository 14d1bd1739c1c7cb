#include "io/textreader.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "base/other.h"
#include "base/stream.h"

// Largest text read into a block sized up front (1 GiB); larger ones grow as they are read.
#define LOCAL_LARGEST_BLOCK ((int64_t)1 << 30)

// ' ', then '\t' '\n' '\v' '\f' '\r', which are 9 to 13.
static bool localIsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

static bool localIsLineSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

FXTextReader::FXTextReader() : text(nullptr), size(0), pos(0), block(nullptr) {}

FXTextReader::~FXTextReader() {
    Destroy();
}

void FXTextReader::Destroy() {
    free(block);
    block = nullptr;
    text = nullptr;
    size = 0;
    pos = 0;
}

bool FXTextReader::Load(FILE* f) {
    Destroy();
    // A stream that tells its size is read into one block: doubling would copy a large text over
    // and over. A size beyond any text we take (what a folder may claim) is not believed.
    size_t capacity = 1 << 16;
    int64_t left = fxStreamBytesLeft(f);
    if (left > 0 && left < LOCAL_LARGEST_BLOCK) {
        capacity = (size_t)left + 2;
    }
    char* loaded = (char*)malloc(capacity);
    if (loaded == nullptr && capacity > (1 << 16)) {
        capacity = 1 << 16;
        loaded = (char*)malloc(capacity);
    }
    // No large-page hint: the text is read front to back, where large pages spare little, and
    // taking a large block of them for a file read through cost more system time than it saved.
    size_t length = 0;
    while (loaded != nullptr) {
        if (capacity - length < 2) {
            char* bigger = capacity < ((size_t)-1) / 2 ? (char*)realloc(loaded, capacity * 2) : nullptr;
            if (bigger == nullptr) {
                free(loaded);
                loaded = nullptr;
                break;
            }
            loaded = bigger;
            capacity *= 2;
        }
        size_t got = fread(loaded + length, 1, capacity - length - 1, f);
        length += got;
        if (got == 0) {
            break;
        }
    }
    if (loaded == nullptr) {
        return false;
    }
    loaded[length] = 0;
    block = loaded;
    text = loaded;
    size = length;
    return true;
}

void FXTextReader::Borrow(const char* borrowed) {
    Destroy();
    text = borrowed;
    size = borrowed != nullptr ? strlen(borrowed) : 0;
}

void FXTextReader::View(const char* start, size_t length) {
    Destroy();
    text = start;
    size = start != nullptr ? length : 0;
}

const char* FXTextReader::TokenAt(size_t* length) {
    while (pos < size && localIsSpace(text[pos])) {
        pos++;
    }
    if (pos >= size) {
        return nullptr;
    }
    size_t start = pos;
    while (pos < size && !localIsSpace(text[pos])) {
        pos++;
    }
    *length = pos - start;
    return text + start;
}

bool FXTextReader::NextToken(char* tok, int capacity, bool* cut) {
    size_t length = 0;
    const char* at = TokenAt(&length);
    if (at == nullptr) {
        return false;
    }
    size_t n = length < (size_t)capacity - 1 ? length : (size_t)capacity - 1;
    memcpy(tok, at, n);
    tok[n] = 0;
    if (cut != nullptr) {
        *cut = n < length;
    }
    return true;
}

void FXTextReader::SkipLine() {
    const char* end = (const char*)memchr(text + pos, '\n', size - pos);
    pos = end != nullptr ? (size_t)(end - text) + 1 : size;
}

bool FXTextReader::RestOfLine(char* line, int capacity) {
    int n = 0;
    bool cut = false;
    while (pos < size && text[pos] != '\n') {
        if (n < capacity - 1) {
            line[n++] = text[pos];
        } else {
            cut = true;
        }
        pos++;
    }
    if (pos < size) {
        pos++;
    }
    if (n > 0 && line[n - 1] == '\r') {
        n--;
    }
    line[n] = 0;
    return cut;
}

// Where floats are worked out wider than they are stored (x87), a quotient is rounded twice.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
#define LOCAL_QUICK_DECIMALS true
#else
#define LOCAL_QUICK_DECIMALS false
#endif

// A plain decimal at s of at most nine digits whose digits, read as a whole number, come to no
// more than 2^24, and no exponent: that number is a float exactly, and so is any power of ten up
// to 1e9, so one division rounds it once, exactly as strtof does. Consumed up to its end when it
// is one; otherwise false, leaving the text to the full readers.
static bool localShortDecimal(FXTextReader* t, const char* s, bool negative, float* v) {
    static const float tens[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f};
    // Past nine digits the sum may wrap, but the count then turns it away.
    const char* p = s;
    uint32_t whole = 0;
    for (; (unsigned)(*p - '0') <= 9; p++) {
        whole = whole * 10 + (uint32_t)(*p - '0');
    }
    size_t digits = (size_t)(p - s);
    size_t after = 0;
    if (*p == '.') {
        const char* point = ++p;
        for (; (unsigned)(*p - '0') <= 9; p++) {
            whole = whole * 10 + (uint32_t)(*p - '0');
        }
        after = (size_t)(p - point);
        digits += after;
    }
    // An exponent or a hexadecimal goes on where this stops.
    if (digits == 0 || digits > 9 || *p == 'e' || *p == 'E' || *p == 'x' || *p == 'X' || whole > (1u << 24)) {
        return false;
    }
    float f = (float)whole / tens[after];
    *v = negative ? -f : f;
    t->pos = (size_t)(p - t->text);
    return true;
}

// The number at pos, which holds no white space: the text is terminated, so the conversion
// cannot run past its end.
static bool localConvertFloat(FXTextReader* t, float* v) {
    const char* start = t->text + t->pos;
    // Plain decimals go through from_chars, which rounds exactly as strtof does and is several
    // times faster; signs, hexadecimals, infinities and values out of range keep strtof's reading.
    const char* digits = start + (*start == '-' ? 1 : 0);
    bool plain = (*digits >= '0' && *digits <= '9') || *digits == '.';
    if (plain && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        plain = false;
    }
    if (LOCAL_QUICK_DECIMALS && plain && localShortDecimal(t, digits, digits != start, v)) {
        return true;
    }
    if (plain) {
        float f = 0.0f;
        std::from_chars_result r = std::from_chars(start, t->text + t->size, f);
        if (r.ec == std::errc() && r.ptr != start) {
            t->pos += (size_t)(r.ptr - start);
            *v = f;
            return true;
        }
    }
    char* end = nullptr;
    float f = strtof(start, &end);
    if (end == start) {
        return false;
    }
    t->pos += (size_t)(end - start);
    *v = f;
    return true;
}

bool FXTextReader::ReadFloat(float* v) {
    while (pos < size && localIsSpace(text[pos])) {
        pos++;
    }
    if (pos >= size) {
        return false;
    }
    return localConvertFloat(this, v);
}

bool FXTextReader::ReadLineFloat(float* v) {
    while (pos < size && localIsLineSpace(text[pos])) {
        pos++;
    }
    if (pos >= size || text[pos] == '\n') {
        return false;
    }
    return localConvertFloat(this, v);
}

void fxFirstWord(const char* line, char* word, int capacity) {
    while (*line != 0 && localIsSpace(*line)) {
        line++;
    }
    int n = 0;
    while (line[n] != 0 && !localIsSpace(line[n]) && n < capacity - 1) {
        word[n] = line[n];
        n++;
    }
    word[n] = 0;
}
