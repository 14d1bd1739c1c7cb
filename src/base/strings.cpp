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

// ---------------------------------------------------------------------------------------------
// Narrow and wide texts share their logic; these pick the library call for each character type.

static size_t localLength(const char* s) {
    return strlen(s);
}

static size_t localLength(const wchar_t* s) {
    return wcslen(s);
}

// Trace wording: narrow texts count characters, wide ones count units.
static const char* localUnitName(const char*) {
    return "characters";
}

static const char* localUnitName(const wchar_t*) {
    return "units";
}

// In the default locale's case mapping.
static unsigned localToLower(char c) {
    return (unsigned)tolower((unsigned char)c);
}

static unsigned localToLower(wchar_t c) {
    return (unsigned)towlower((wint_t)c);
}

static bool localIsSpace(char c) {
    return isspace((unsigned char)c) != 0;
}

// Units above 255 are never white space.
static bool localIsSpace(wchar_t c) {
    return c >= 0 && c < 256 && isspace((int)c) != 0;
}

// Multibyte to wide or back, by the types of out and s.
static size_t localConvertText(wchar_t* out, const char* s, size_t n) {
    return mbstowcs(out, s, n);
}

static size_t localConvertText(char* out, const wchar_t* s, size_t n) {
    return wcstombs(out, s, n);
}

// Null when units * sizeof(C) would not fit a size_t.
template <typename C> static C* localAllocUnits(size_t units) {
    if (units > SIZE_MAX / sizeof(C)) {
        return nullptr;
    }
    return (C*)malloc(units * sizeof(C));
}

// Case-insensitive equality of at most max characters.
template <typename C> static bool localEqualNoCase(const C* a, const C* b, size_t max) {
    for (size_t i = 0; i < max; i++) {
        unsigned ca = localToLower(a[i]);
        unsigned cb = localToLower(b[i]);
        if (ca != cb) {
            return false;
        }
        if (ca == 0) {
            return true;
        }
    }
    return true;
}

// Trims white space at both ends of a terminated text of the given length; the new length.
template <typename C> static int localTrimSpaces(C* text, int length) {
    if (length <= 0) {
        return 0;
    }
    int lead = 0;
    while (lead < length && localIsSpace(text[lead])) {
        lead++;
    }
    if (lead > 0) {
        memmove(text, text + lead, (size_t)(length - lead + 1) * sizeof(C));
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
// Heap strings

// Puts the non-empty text s at position at (0 for Set, length for Append) of a heap string,
// growing its block as needed. A new block is filled before the old one goes: s may live in it.
// A refused or failed placement leaves the string as it was.
template <typename S, typename C> static void localPlaceText(S* str, int32_t at, const C* s, const char* who) {
    size_t n = localLength(s);
    if (n > (size_t)INT32_MAX - 2 - (size_t)at) {
        err("%s: text of %zu %s refused\n", who, n, localUnitName(s));
        return;
    }
    int32_t total = at + (int32_t)n;
    if (str->allocated < total + 1) {
        C* block = localAllocUnits<C>((size_t)total + 1);
        if (block == nullptr) {
            err("%s: out of memory (%d %s)\n", who, (int)total, localUnitName(s));
            return;
        }
        if (str->chars != nullptr) {
            memcpy(block, str->chars, (size_t)at * sizeof(C));
        }
        memcpy(block + at, s, n * sizeof(C));
        free(str->chars);
        str->chars = block;
        str->allocated = total + 1;
    } else {
        memmove(str->chars + at, s, n * sizeof(C));
    }
    str->chars[total] = 0;
    str->length = total;
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
    localPlaceText(this, 0, s, "FXLongStr::Set");
}

void FXLongStr::Append(const char* s) {
    if (s == nullptr || s[0] == 0) {
        return;
    }
    localPlaceText(this, length, s, "FXLongStr::Append");
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

void FXLongStrW::Set(const wchar_t* s) {
    if (s == nullptr || s[0] == 0) {
        if (chars != nullptr) {
            chars[0] = 0;
        }
        length = 0;
        return;
    }
    localPlaceText(this, 0, s, "FXLongStrW::Set");
}

void FXLongStrW::Append(const wchar_t* s) {
    if (s == nullptr || s[0] == 0) {
        return;
    }
    localPlaceText(this, length, s, "FXLongStrW::Append");
}

void FXLongStrW::AppendChar(wchar_t c) {
    if (length > INT32_MAX - 3) {
        return;
    }
    if (allocated < length + 2) {
        wchar_t* block = localAllocUnits<wchar_t>((size_t)length + 2);
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
    length = localTrimSpaces(chars, length);
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
    return localEqualNoCase(chars, s, SIZE_MAX);
}

// ---------------------------------------------------------------------------------------------
// Converters

// s converted into a new block of To units, and its length; null (length 0) for text that
// does not convert or converts to nothing.
template <typename To, typename From> static To* localConvert(const From* s, int32_t* length) {
    *length = 0;
    if (s == nullptr) {
        return nullptr;
    }
    size_t need = localConvertText((To*)nullptr, s, 0);
    if (need == (size_t)-1 || need == 0 || need > (size_t)INT32_MAX - 1) {
        return nullptr;
    }
    To* block = localAllocUnits<To>(need + 1);
    if (block == nullptr) {
        return nullptr;
    }
    size_t done = localConvertText(block, s, need + 1);
    if (done == (size_t)-1 || done == 0 || done > need) {
        free(block);
        return nullptr;
    }
    block[done] = 0;
    *length = (int32_t)done;
    return block;
}

FXConvertW::FXConvertW() : result(nullptr), length(0) {}

FXConvertW::FXConvertW(const char* s) : result(nullptr), length(0) {
    Convert(s);
}

FXConvertW::~FXConvertW() {
    free(result);
}

wchar_t* FXConvertW::Convert(const char* s) {
    free(result);
    result = localConvert<wchar_t>(s, &length);
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
    result = localConvert<char>(s, &length);
    return result;
}
