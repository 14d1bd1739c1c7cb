#include "io/manifest.h"

#include <cstdio>

std::string fxTrimManifestText(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) {
        return std::string();
    }
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

int fxReadManifestLines(const char* path, std::vector<tagFXManifestLine>* lines) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) {
        return FXMANIFEST_CANNOT_OPEN;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) {
        text.append(buf, n);
    }
    bool readOk = ferror(f) == 0;
    fclose(f);
    if (!readOk) {
        return FXMANIFEST_CANNOT_READ;
    }
    size_t pos = 0;
    for (int number = 1; pos < text.size(); number++) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string row = fxTrimManifestText(text.substr(pos, end - pos));
        pos = end + 1;
        if (row.empty() || row[0] == '#') {
            continue;
        }
        size_t gap = row.find_first_of(" \t");
        tagFXManifestLine line;
        line.number = number;
        line.idText = row.substr(0, gap);
        line.rest = gap == std::string::npos ? std::string() : fxTrimManifestText(row.substr(gap));
        lines->push_back(line);
    }
    return FXMANIFEST_OK;
}
