#include "render/tgafile.h"

// Largest picture accepted, in pixels: keeps every byte count well inside 32 bits.
#define FX_TGA_MAX_PIXELS (1 << 26)

namespace {

// Reads bytes in order; every read past the end fails instead of reading beyond the data.
struct localReader {
    const uint8_t* data;
    size_t size;
    size_t at;

    bool Take(size_t n, const uint8_t** out) {
        if (n > size - at) {
            return false;
        }
        *out = data + at;
        at += n;
        return true;
    }
};

} // namespace

bool fxDecodeTga(const uint8_t* data, size_t size, int* width, int* height, std::vector<uint8_t>* rgba) {
    localReader r = {data, size, 0};
    const uint8_t* head = nullptr;
    if (data == nullptr || !r.Take(18, &head)) {
        return false;
    }
    int idLength = head[0], colourMapType = head[1], type = head[2];
    int mapLength = head[5] | head[6] << 8, mapEntryBits = head[7];
    int w = head[12] | head[13] << 8, h = head[14] | head[15] << 8, bits = head[16], descriptor = head[17];
    bool grey = type == 3 || type == 11;
    bool coded = type == 10 || type == 11;
    if ((type != 2 && type != 3 && type != 10 && type != 11) || w <= 0 || h <= 0 ||
        (int64_t)w * h > FX_TGA_MAX_PIXELS || (grey ? bits != 8 : bits != 24 && bits != 32) || colourMapType > 1) {
        return false;
    }
    const uint8_t* skipped = nullptr;
    size_t mapBytes = colourMapType == 1 ? (size_t)mapLength * (size_t)((mapEntryBits + 7) / 8) : 0;
    if (!r.Take((size_t)idLength + mapBytes, &skipped)) {
        return false;
    }
    int bytes = bits / 8;
    size_t count = (size_t)w * (size_t)h;
    std::vector<uint8_t> raw(count * (size_t)bytes);
    const uint8_t* src = nullptr;
    if (!coded) {
        if (!r.Take(raw.size(), &src)) {
            return false;
        }
        raw.assign(src, src + raw.size());
    } else {
        size_t done = 0;
        while (done < count) {
            const uint8_t* packet = nullptr;
            if (!r.Take(1, &packet)) {
                return false;
            }
            size_t n = (size_t)(packet[0] & 0x7F) + 1;
            if (n > count - done) {
                return false;
            }
            bool run = (packet[0] & 0x80) != 0;
            if (!r.Take(run ? (size_t)bytes : n * (size_t)bytes, &src)) {
                return false;
            }
            for (size_t i = 0; i < n; i++) {
                for (int k = 0; k < bytes; k++) {
                    raw[(done + i) * (size_t)bytes + (size_t)k] = src[(run ? 0 : i * (size_t)bytes) + (size_t)k];
                }
            }
            done += n;
        }
    }
    // Rows are stored bottom first unless the descriptor says the origin is at the top; pixels
    // right to left when it says so.
    bool topFirst = (descriptor & 0x20) != 0;
    bool rightFirst = (descriptor & 0x10) != 0;
    rgba->resize(count * 4);
    for (int y = 0; y < h; y++) {
        int row = topFirst ? y : h - 1 - y;
        for (int x = 0; x < w; x++) {
            int col = rightFirst ? w - 1 - x : x;
            const uint8_t* p = raw.data() + ((size_t)row * (size_t)w + (size_t)col) * (size_t)bytes;
            uint8_t* q = rgba->data() + ((size_t)y * (size_t)w + (size_t)x) * 4u;
            q[0] = grey ? p[0] : p[2];
            q[1] = grey ? p[0] : p[1];
            q[2] = p[0];
            q[3] = bytes == 4 ? p[3] : 255;
        }
    }
    *width = w;
    *height = h;
    return true;
}

bool fxEncodeTga(const uint8_t* pixels, int width, int height, int channels, bool bottomUp, std::vector<uint8_t>* out) {
    if (pixels == nullptr || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF ||
        (int64_t)width * height > FX_TGA_MAX_PIXELS || (channels != 1 && channels != 3 && channels != 4)) {
        return false;
    }
    uint8_t head[18] = {};
    head[2] = channels == 1 ? 3 : 2;
    head[12] = (uint8_t)(width & 0xFF);
    head[13] = (uint8_t)(width >> 8);
    head[14] = (uint8_t)(height & 0xFF);
    head[15] = (uint8_t)(height >> 8);
    head[16] = (uint8_t)(channels * 8);
    head[17] = channels == 4 ? 8 : 0; // alpha bits; rows bottom first
    out->assign(head, head + 18);
    out->reserve(18 + (size_t)width * (size_t)height * (size_t)channels);
    for (int y = height - 1; y >= 0; y--) {
        int row = bottomUp ? height - 1 - y : y;
        const uint8_t* p = pixels + (size_t)row * (size_t)width * (size_t)channels;
        for (int x = 0; x < width; x++, p += channels) {
            if (channels == 1) {
                out->push_back(p[0]);
                continue;
            }
            out->push_back(p[2]);
            out->push_back(p[1]);
            out->push_back(p[0]);
            if (channels == 4) {
                out->push_back(p[3]);
            }
        }
    }
    return true;
}
