#include "base/trace.h"

#include <cstdio>
#include <cstring>

// No message box on Linux: the text the box would show goes to standard error.
int fxShowErrorMessage(const char* text) {
    fprintf(stderr, "Error: %s", text);
    size_t n = strlen(text);
    if (n == 0 || text[n - 1] != '\n') {
        fputc('\n', stderr);
    }
    fflush(stderr);
    return 1; // as the box's OK button
}
