#include "base/strings.h"

#include "base/stream.h"

#include "base/paths.h"
#include "base/trace.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#define FXSTR_MAX (FXSTR_CAPACITY - 1)

// Case-insensitive equality of at most max characters, in the default locale's case mapping.
static bool localEqualNoCase(const char* a, const char* b, size_t max) {
    for (size_t i = 0; i < max; i++) {
        int ca = tolower((unsigned char)a[i]);
        int cb = tolower((unsigned char)b[i]);
        if (ca != cb) {
            return false;
        }
        if (ca == 0) {
            return true;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Trimming

static bool localIsSpace(char c) {
    return isspace((unsigned char)c) != 0;
}

// Units above 255 are never white space.
static bool localIsSpaceW(wchar_t c) {
    return c >= 0 && c < 256 && isspace((int)c) != 0;
}

static int localTrimSpaces(char* text, int length) {
    if (length <= 0) {
        return 0;
    }
    int lead = 0;
    while (lead < length && localIsSpace(text[lead])) {
        lead++;
    }
    if (lead > 0) {
        memmove(text, text + lead, (size_t)(length - lead + 1));
        length -= lead;
        if (length == 0) {
            return 0;
        }
    }
    int end = length;
    while (end > 0 && localIsSpace(text[end - 1])) {
        end--;
    }
    if (end == length) {
        return length;
    }
    text[end] = 0;
    return end;
}

static int localTrimSpacesW(wchar_t* text, int length) {
    if (length <= 0) {
        return 0;
    }
    int lead = 0;
    while (lead < length && localIsSpaceW(text[lead])) {
        lead++;
    }
    if (lead > 0) {
        memmove(text, text + lead, (size_t)(length - lead + 1) * sizeof(wchar_t));
        length -= lead;
        if (length == 0) {
            return 0;
        }
    }
    int end = length;
    while (end > 0 && localIsSpaceW(text[end - 1])) {
        end--;
    }
    if (end == length) {
        return length;
    }
    text[end] = 0;
    return end;
}

// ---------------------------------------------------------------------------------------------
// FXStr

FXStr::FXStr() : length(0) {
    chars[0] = 0;
}

FXStr::FXStr(const char* s) : length(0) {
    chars[0] = 0;
    Set(s);
}

void FXStr::Clear() {
    chars[0] = 0;
    length = 0;
}

int FXStr::Set(const char* s) {
    if (s == nullptr || s[0] == 0) {
        Clear();
        return 0;
    }
    int n = 0;
    while (n < FXSTR_MAX && s[n] != 0) {
        n++;
    }
    // memmove: s may point into our own buffer
    memmove(chars, s, (size_t)n);
    chars[n] = 0;
    length = n;
    return length;
}

void FXStr::Append(const char* s) {
    if (s == nullptr || s[0] == 0) {
        return;
    }
    int room = FXSTR_MAX - length;
    int n = 0;
    while (n < room && s[n] != 0) {
        n++;
    }
    memmove(chars + length, s, (size_t)n);
    length += n;
    chars[length] = 0;
}

int FXStr::AppendChar(char c) {
    if (length >= FXSTR_MAX) {
        return length;
    }
    chars[length] = c;
    chars[length + 1] = 0;
    length = (int32_t)strlen(chars);
    return length;
}

int FXStr::InsertChar(char c) {
    if (length >= FXSTR_MAX) {
        return length;
    }
    memmove(chars + 1, chars, (size_t)length + 1);
    chars[0] = c;
    length = (int32_t)strlen(chars);
    return length;
}

void FXStr::RemoveLast() {
    if (length > 0) {
        length--;
        chars[length] = 0;
    }
}

int FXStr::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = FormatV(format, args);
    va_end(args);
    return n;
}

int FXStr::FormatV(const char* format, va_list args) {
    // Formatted through a scratch buffer so our own text may appear among the arguments.
    char scratch[FXSTR_CAPACITY];
    int n = vsnprintf(scratch, sizeof(scratch), format, args);
    if (n < 0) {
        Clear();
        return 0;
    }
    if (n > FXSTR_MAX) {
        n = FXSTR_MAX;
    }
    memcpy(chars, scratch, (size_t)n);
    chars[n] = 0;
    length = n;
    return length;
}

int FXStr::TrimSpaces() {
    length = localTrimSpaces(chars, length);
    return length;
}

void FXStr::ToLower() {
    for (int i = 0; i < length; i++) {
        chars[i] = (char)tolower((unsigned char)chars[i]);
    }
}

void FXStr::ToUpper() {
    for (int i = 0; i < length; i++) {
        chars[i] = (char)toupper((unsigned char)chars[i]);
    }
}

void FXStr::ExchangeChars(char from, char to) {
    for (int i = 0; i < length; i++) {
        if (chars[i] == from) {
            chars[i] = to;
        }
    }
}

bool FXStr::IsEmpty() const {
    return length == 0;
}

bool FXStr::Compare(const char* s) const {
    if (s == nullptr || s[0] == 0) {
        return length == 0;
    }
    if (length == 0) {
        return false;
    }
    return strncmp(chars, s, FXSTR_MAX) == 0;
}

bool FXStr::nCompare(const char* s, int n) const {
    if (s == nullptr || s[0] == 0) {
        return length == 0;
    }
    if (length == 0) {
        return false;
    }
    if (n < 0) {
        n = 0;
    } else if (n > FXSTR_MAX) {
        n = FXSTR_MAX;
    }
    return strncmp(chars, s, (size_t)n) == 0;
}

bool FXStr::iCompare(const char* s) const {
    if (s == nullptr) {
        return length == 0;
    }
    if (length == 0) {
        return false;
    }
    return localEqualNoCase(chars, s, FXSTR_MAX);
}

void FXStr::Save(FILE* f) const {
    fxWriteText(f, chars, (size_t)length);
}

void FXStr::Load(FILE* f) {
    Clear();
    int32_t stored = fxReadInt32(f);
    if (stored == 0) {
        return;
    }
    if (stored < 0) {
        err("FXStr::Load: negative length %d\n", (int)stored);
        return;
    }
    int32_t keep = stored;
    if (keep > FXSTR_MAX) {
        err("FXStr::Load: length %d cut to %d\n", (int)stored, FXSTR_MAX);
        keep = FXSTR_MAX;
    }
    size_t got = fread(chars, 1, (size_t)keep, f);
    chars[got] = 0;
    length = (int32_t)got;
    // Stay in step with the next record even when this one was cut.
    fxSkipBytes(f, (long)stored - (long)keep);
}

void FXStr::SaveShortPath(FILE* f, const char* baseFolder) const {
    if (length == 0) {
        fxWriteInt32(f, 0);
        return;
    }
    const char* relative = fxBuildRelativePath(baseFolder, false, chars, true);
    if (relative == nullptr) {
        fxWriteInt32(f, 0);
        return;
    }
    fxWriteText(f, relative, strlen(relative));
}

// ---------------------------------------------------------------------------------------------
// FXLongStr

FXLongStr::FXLongStr() : chars(nullptr), length(0), allocated(0) {}

FXLongStr::FXLongStr(const char* s) : chars(nullptr), length(0), allocated(0) {
    Set(s);
}

FXLongStr::~FXLongStr() {
    Clear();
}

void FXLongStr::Clear() {
    free(chars);
    chars = nullptr;
    length = 0;
    allocated = 0;
}

void FXLongStr::ClearBuf() {
    free(chars);
    chars = nullptr;
    allocated = 0;
}

void FXLongStr::Set(const char* s) {
    if (s == nullptr || s[0] == 0) {
        if (chars != nullptr) {
            chars[0] = 0;
        }
        length = 0;
        return;
    }
    size_t n = strlen(s);
    if (n > (size_t)INT32_MAX - 2) {
        err("FXLongStr::Set: text of %zu characters refused\n", n);
        return;
    }
    if (allocated < (int32_t)n + 1) {
        // The new block is filled before the old one goes: s may live in it.
        char* block = (char*)malloc(n + 1);
        if (block == nullptr) {
            err("FXLongStr::Set: out of memory (%zu characters)\n", n);
            return;
        }
        memcpy(block, s, n + 1);
        ClearBuf();
        chars = block;
        allocated = (int32_t)n + 1;
    } else {
        memmove(chars, s, n + 1);
    }
    length = (int32_t)n;
}

void FXLongStr::Append(const char* s) {
    if (s == nullptr || s[0] == 0) {
        return;
    }
    size_t n = strlen(s);
    if (n > (size_t)INT32_MAX - 2 - (size_t)length) {
        err("FXLongStr::Append: text of %zu characters refused\n", n);
        return;
    }
    int32_t total = length + (int32_t)n;
    if (allocated < total + 1) {
        char* block = (char*)malloc((size_t)total + 1);
        if (block == nullptr) {
            err("FXLongStr::Append: out of memory (%d characters)\n", (int)total);
            return;
        }
        if (chars != nullptr) {
            memcpy(block, chars, (size_t)length);
        }
        memcpy(block + length, s, n);
        free(chars);
        chars = block;
        allocated = total + 1;
    } else {
        memmove(chars + length, s, n);
    }
    chars[total] = 0;
    length = total;
}

int FXLongStr::TrimSpaces() {
    if (chars == nullptr) {
        length = 0;
        return 0;
    }
    length = localTrimSpaces(chars, length);
    return length;
}

void FXLongStr::ToLower() {
    if (chars == nullptr) {
        return;
    }
    for (int i = 0; i < length; i++) {
        chars[i] = (char)tolower((unsigned char)chars[i]);
    }
}

bool FXLongStr::IsEmpty() const {
    return length == 0;
}

bool FXLongStr::Compare(const char* s) const {
    if (s == nullptr || s[0] == 0) {
        return length == 0;
    }
    if (chars == nullptr) {
        return false;
    }
    return strcmp(chars, s) == 0;
}

bool FXLongStr::iCompare(const char* s) const {
    if (s == nullptr || s[0] == 0) {
        return length == 0;
    }
    if (chars == nullptr) {
        return false;
    }
    return localEqualNoCase(chars, s, SIZE_MAX);
}

// ---------------------------------------------------------------------------------------------
// FXLongStrW

FXLongStrW::FXLongStrW() : chars(nullptr), length(0), allocated(0) {}

FXLongStrW::FXLongStrW(const wchar_t* s) : chars(nullptr), length(0), allocated(0) {
    Set(s);
}

FXLongStrW::~FXLongStrW() {
    Clear();
}

void FXLongStrW::Clear() {
    free(chars);
    chars = nullptr;
    length = 0;
    allocated = 0;
}

void FXLongStrW::ClearBuf() {
    free(chars);
    chars = nullptr;
    allocated = 0;
}

static wchar_t* localAllocW(size_t units) {
    if (units > SIZE_MAX / sizeof(wchar_t)) {
        return nullptr;
    }
    return (wchar_t*)malloc(units * sizeof(wchar_t));
}

void FXLongStrW::Set(const wchar_t* s) {
    if (s == nullptr || s[0] == 0) {
        if (chars != nullptr) {
            chars[0] = 0;
        }
        length = 0;
        return;
    }
    size_t n = wcslen(s);
    if (n > (size_t)INT32_MAX - 2) {
        err("FXLongStrW::Set: text of %zu units refused\n", n);
        return;
    }
    if (allocated < (int32_t)n + 1) {
        wchar_t* block = localAllocW(n + 1);
        if (block == nullptr) {
            err("FXLongStrW::Set: out of memory (%zu units)\n", n);
            return;
        }
        memcpy(block, s, (n + 1) * sizeof(wchar_t));
        ClearBuf();
        chars = block;
        allocated = (int32_t)n + 1;
    } else {
        memmove(chars, s, (n + 1) * sizeof(wchar_t));
    }
    length = (int32_t)n;
}

void FXLongStrW::Append(const wchar_t* s) {
    if (s == nullptr || s[0] == 0) {
        return;
    }
    size_t n = wcslen(s);
    if (n > (size_t)INT32_MAX - 2 - (size_t)length) {
        err("FXLongStrW::Append: text of %zu units refused\n", n);
        return;
    }
    int32_t total = length + (int32_t)n;
    if (allocated < total + 1) {
        wchar_t* block = localAllocW((size_t)total + 1);
        if (block == nullptr) {
            err("FXLongStrW::Append: out of memory (%d units)\n", (int)total);
            return;
        }
        if (chars != nullptr) {
            memcpy(block, chars, (size_t)length * sizeof(wchar_t));
        }
        memcpy(block + length, s, n * sizeof(wchar_t));
        free(chars);
        chars = block;
        allocated = total + 1;
    } else {
        memmove(chars + length, s, n * sizeof(wchar_t));
    }
    chars[total] = 0;
    length = total;
}

void FXLongStrW::AppendChar(wchar_t c) {
    if (length > INT32_MAX - 3) {
        return;
    }
    if (allocated < length + 2) {
        wchar_t* block = localAllocW((size_t)length + 2);
        if (block == nullptr) {
            err("FXLongStrW::AppendChar: out of memory (%d units)\n", (int)length);
            return;
        }
        if (chars != nullptr) {
            memcpy(block, chars, (size_t)length * sizeof(wchar_t));
        }
        free(chars);
        chars = block;
        allocated = length + 2;
    }
    chars[length] = c;
    length++;
    chars[length] = 0;
}

void FXLongStrW::RemoveLast() {
    if (length > 0 && chars != nullptr) {
        length--;
        chars[length] = 0;
    }
}

int FXLongStrW::TrimSpaces() {
    if (chars == nullptr) {
        length = 0;
        return 0;
    }
    length = localTrimSpacesW(chars, length);
    return length;
}

void FXLongStrW::ToLower() {
    if (chars == nullptr) {
        return;
    }
    for (int i = 0; i < length; i++) {
        chars[i] = (wchar_t)towlower((wint_t)chars[i]);
    }
}

bool FXLongStrW::IsEmpty() const {
    return length == 0;
}

bool FXLongStrW::Compare(const wchar_t* s) const {
    if (s == nullptr || s[0] == 0) {
        return length == 0;
    }
    if (chars == nullptr) {
        return false;
    }
    return wcscmp(chars, s) == 0;
}

bool FXLongStrW::iCompare(const wchar_t* s) const {
    if (s == nullptr || s[0] == 0) {
        return length == 0;
    }
    if (chars == nullptr || length == 0) {
        return false;
    }
    for (int i = 0;; i++) {
        wint_t a = towlower((wint_t)chars[i]);
        wint_t b = towlower((wint_t)s[i]);
        if (a != b) {
            return false;
        }
        if (a == 0) {
            return true;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Converters

FXConvertW::FXConvertW() : result(nullptr), length(0) {}

FXConvertW::FXConvertW(const char* s) : result(nullptr), length(0) {
    Convert(s);
}

FXConvertW::~FXConvertW() {
    free(result);
}

wchar_t* FXConvertW::Convert(const char* s) {
    free(result);
    result = nullptr;
    length = 0;
    if (s == nullptr) {
        return nullptr;
    }
    size_t need = mbstowcs(nullptr, s, 0);
    if (need == (size_t)-1 || need == 0 || need > (size_t)INT32_MAX - 1) {
        return nullptr;
    }
    wchar_t* block = localAllocW(need + 1);
    if (block == nullptr) {
        return nullptr;
    }
    size_t done = mbstowcs(block, s, need + 1);
    if (done == (size_t)-1 || done == 0 || done > need) {
        free(block);
        return nullptr;
    }
    block[done] = 0;
    result = block;
    length = (int32_t)done;
    return result;
}

FXConvertC::FXConvertC() : result(nullptr), length(0) {}

FXConvertC::FXConvertC(const wchar_t* s) : result(nullptr), length(0) {
    Convert(s);
}

FXConvertC::~FXConvertC() {
    free(result);
}

char* FXConvertC::Convert(const wchar_t* s) {
    free(result);
    result = nullptr;
    length = 0;
    if (s == nullptr) {
        return nullptr;
    }
    size_t need = wcstombs(nullptr, s, 0);
    if (need == (size_t)-1 || need == 0 || need > (size_t)INT32_MAX - 1) {
        return nullptr;
    }
    char* block = (char*)malloc(need + 1);
    if (block == nullptr) {
        return nullptr;
    }
    size_t done = wcstombs(block, s, need + 1);
    if (done == (size_t)-1 || done == 0 || done > need) {
        free(block);
        return nullptr;
    }
    block[done] = 0;
    result = block;
    length = (int32_t)done;
    return result;
}
