// Picture kinds of package entries: what a file's bytes and its name say it is.

#include <cctype>
#include <cstring>

#include "io/package.h"
#include "fxpack.h"

namespace {
struct KindInfo {
    int code;
    const char* name;
    const char* extensions; // space-separated, lower case
};
} // namespace

static const KindInfo localKinds[] = {
    {FXDATA_JPG, "JPEG", "jpg jpeg jpe jfif"},
    {FXDATA_PNG, "PNG", "png"},
    {FXDATA_TGA, "TGA", "tga targa icb vda vst"},
    {FXDATA_BMP, "BMP", "bmp dib"},
    {FXDATA_GIF, "GIF", "gif"},
    {FXDATA_TIF, "TIFF", "tif tiff"},
    {FXDATA_PNM, "PNM", "pnm pbm pgm ppm"},
    {FXDATA_DDS, "DDS", "dds"},
    {FXDATA_PSD, "PSD", "psd"},
    {FXDATA_HDR, "HDR", "hdr"},
};

const char* fxpackKindName(int code) {
    for (const KindInfo& k : localKinds) {
        if (k.code == code) {
            return k.name;
        }
    }
    return code == FXDATA_OTHER ? "data" : nullptr;
}

bool fxpackSameNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) {
            return false;
        }
        if (a[i] == 0) {
            return true;
        }
    }
    return true;
}

int fxpackKindFromExt(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 >= path.size()) {
        return FXDATA_OTHER;
    }
    std::string ext = path.substr(dot + 1);
    for (const KindInfo& k : localKinds) {
        const char* p = k.extensions;
        while (*p != 0) {
            size_t n = strcspn(p, " ");
            if (n == ext.size() && fxpackSameNoCase(p, ext.c_str(), n)) {
                return k.code;
            }
            p += n;
            p += *p == ' ' ? 1 : 0;
        }
    }
    return FXDATA_OTHER;
}

static bool localStarts(const uint8_t* head, size_t size, const char* magic, size_t n) {
    return size >= n && memcmp(head, magic, n) == 0;
}

int fxpackKindFromBytes(const uint8_t* head, size_t size) {
    if (localStarts(head, size, "\xFF\xD8\xFF", 3)) {
        return FXDATA_JPG;
    }
    if (localStarts(head, size, "\x89PNG\r\n\x1A\n", 8)) {
        return FXDATA_PNG;
    }
    if (localStarts(head, size, "GIF87a", 6) || localStarts(head, size, "GIF89a", 6)) {
        return FXDATA_GIF;
    }
    // "BM", the file size, then two reserved words that writers leave zero.
    if (localStarts(head, size, "BM", 2) && size >= 14 && memcmp(head + 6, "\0\0\0\0", 4) == 0) {
        return FXDATA_BMP;
    }
    if (localStarts(head, size, "II*\0", 4) || localStarts(head, size, "MM\0*", 4)) {
        return FXDATA_TIF;
    }
    if (localStarts(head, size, "8BPS", 4)) {
        return FXDATA_PSD;
    }
    if (localStarts(head, size, "DDS ", 4)) {
        return FXDATA_DDS;
    }
    if (localStarts(head, size, "#?RADIANCE", 10) || localStarts(head, size, "#?RGBE", 6)) {
        return FXDATA_HDR;
    }
    if (size >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' &&
        (head[2] == '\n' || head[2] == '\r' || head[2] == ' ' || head[2] == '\t')) {
        return FXDATA_PNM;
    }
    return FXDATA_OTHER;
}

// A TGA file has no signature; its header is plausible or not.
bool fxpackLooksLikeTga(const uint8_t* head, size_t size) {
    if (size < 18) {
        return false;
    }
    int colorMapType = head[1];
    int imageType = head[2];
    int width = head[12] | (head[13] << 8);
    int height = head[14] | (head[15] << 8);
    int bits = head[16];
    bool typeOk =
        imageType == 1 || imageType == 2 || imageType == 3 || imageType == 9 || imageType == 10 || imageType == 11;
    bool bitsOk = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
    return colorMapType <= 1 && typeOk && bitsOk && width > 0 && height > 0;
}

bool fxpackSourceKind(const std::string& path, const std::string& where, const std::string& shown, int* code) {
    uint8_t head[32];
    size_t got = 0;
    FILE* f = fopen(path.c_str(), "rb");
    if (f != nullptr) {
        got = fread(head, 1, sizeof(head), f);
        fclose(f);
    }
    const int byName = fxpackKindFromExt(path);
    const int byBytes = fxpackKindFromBytes(head, got);
    if (byBytes != FXDATA_OTHER) {
        if (byName != byBytes) {
            fxpackWarning("%s%s holds a %s picture; stored as %s", where.c_str(), shown.c_str(),
                          fxpackKindName(byBytes), fxpackKindName(byBytes));
        }
        *code = byBytes;
        return true;
    }
    if (byName == FXDATA_TGA && fxpackLooksLikeTga(head, got)) {
        *code = FXDATA_TGA;
        return true;
    }
    if (byName != FXDATA_OTHER) {
        fxpackError("%s%s is not a %s picture: its bytes are no picture fxpack knows", where.c_str(), shown.c_str(),
                    fxpackKindName(byName));
        return false;
    }
    *code = FXDATA_OTHER;
    return true;
}
