#include "base/outfile.h"

// The portable side of the output-file unit; the OS calls are in outfile_posix and outfile_w32.

#if defined(_WIN32)
static const char* const localSeparators = "/\\"; // Windows takes both
#else
static const char* const localSeparators = "/";
#endif

std::string fxFolderOfPath(const std::string& path) {
    size_t slash = path.find_last_of(localSeparators);
    return slash == std::string::npos ? std::string(".") : slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string fxLeafOfPath(const std::string& path) {
    size_t slash = path.find_last_of(localSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
