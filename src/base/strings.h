#ifndef FX_BASE_STRINGS_H
#define FX_BASE_STRINGS_H

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cwchar>

#define FXSTR_CAPACITY 1024 // characters plus the terminator

// Fixed-capacity string: at most 1023 characters, longer input is cut silently.
class FXStr {
public:
    char chars[FXSTR_CAPACITY];
    int32_t length;

    FXStr();
    FXStr(const char* s);

    void Clear();
    int Set(const char* s);
    void Append(const char* s);
    int AppendChar(char c);
    int InsertChar(char c);
    void RemoveLast();
    int Format(const char* format, ...);
    int FormatV(const char* format, va_list args);
    int TrimSpaces();
    void ToLower();
    void ToUpper();
    void ExchangeChars(char from, char to);
    bool IsEmpty() const;
    bool Compare(const char* s) const;
    bool nCompare(const char* s, int n) const;
    bool iCompare(const char* s) const;

    // Stored form: int32 length, then the characters without terminator.
    void Save(FILE* f) const;
    void Load(FILE* f);
    void SaveShortPath(FILE* f, const char* baseFolder) const;
};

// Heap string of any length; not copyable.
class FXLongStr {
public:
    char* chars;
    int32_t length;
    int32_t allocated;

    FXLongStr();
    FXLongStr(const char* s);
    ~FXLongStr();
    FXLongStr(const FXLongStr&) = delete;
    FXLongStr& operator=(const FXLongStr&) = delete;

    void Clear();
    void ClearBuf();
    void Set(const char* s);
    void Append(const char* s);
    int TrimSpaces();
    void ToLower();
    bool IsEmpty() const;
    bool Compare(const char* s) const;
    bool iCompare(const char* s) const;
};

// Wide heap string (wchar_t: 16-bit units on Windows, 32-bit on Linux).
class FXLongStrW {
public:
    wchar_t* chars;
    int32_t length;
    int32_t allocated;

    FXLongStrW();
    FXLongStrW(const wchar_t* s);
    ~FXLongStrW();
    FXLongStrW(const FXLongStrW&) = delete;
    FXLongStrW& operator=(const FXLongStrW&) = delete;

    void Clear();
    void ClearBuf();
    void Set(const wchar_t* s);
    void Append(const wchar_t* s);
    void AppendChar(wchar_t c);
    void RemoveLast();
    int TrimSpaces();
    void ToLower();
    bool IsEmpty() const;
    bool Compare(const wchar_t* s) const;
    bool iCompare(const wchar_t* s) const;
};

// Multibyte to wide; the result belongs to the converter.
class FXConvertW {
public:
    wchar_t* result;
    int32_t length;

    FXConvertW();
    FXConvertW(const char* s);
    ~FXConvertW();
    FXConvertW(const FXConvertW&) = delete;
    FXConvertW& operator=(const FXConvertW&) = delete;

    wchar_t* Convert(const char* s);
};

// Wide to multibyte; the result belongs to the converter.
class FXConvertC {
public:
    char* result;
    int32_t length;

    FXConvertC();
    FXConvertC(const wchar_t* s);
    ~FXConvertC();
    FXConvertC(const FXConvertC&) = delete;
    FXConvertC& operator=(const FXConvertC&) = delete;

    char* Convert(const wchar_t* s);
};

#endif
