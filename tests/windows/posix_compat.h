#ifndef FX_TESTS_WINDOWS_POSIX_COMPAT_H
#define FX_TESTS_WINDOWS_POSIX_COMPAT_H

// The one POSIX call the portable tests make that the MinGW runtime lacks; forced into the
// Windows test builds so those tests run there unchanged.

#include <direct.h>
#include <io.h>
#include <cstdlib>
#include <cstring>

// A fresh folder from a template ending in XXXXXX; null when none can be made.
inline char* mkdtemp(char* pattern) {
    size_t n = strlen(pattern);
    if (n < 6 || strcmp(pattern + n - 6, "XXXXXX") != 0) {
        return nullptr;
    }
    for (int attempt = 0; attempt < 100; attempt++) {
        for (size_t i = n - 6; i < n; i++) {
            pattern[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[rand() % 36];
        }
        if (_mkdir(pattern) == 0) {
            return pattern;
        }
    }
    return nullptr;
}

#endif
