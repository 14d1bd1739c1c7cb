#include "base/outfile.h"

// The portable side of the output-file unit; the OS calls are in outfile_posix.

std::string fxFolderOfPath(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string fxLeafOfPath(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
