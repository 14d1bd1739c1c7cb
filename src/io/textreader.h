#ifndef FX_ASSETS_TEXTREADER_H
#define FX_ASSETS_TEXTREADER_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// A text held whole in memory, terminated, and read front to back: the tokens, lines and numbers
// of the OBJ and MTL readers. No call reads outside the text or writes past the buffer it is
// given; longer tokens and lines are cut.
class FXTextReader {
public:
    const char* text; // terminated; null until Load or Borrow
    size_t size;      // characters before the terminator
    size_t pos;       // read position, 0 ... size

    FXTextReader();
    ~FXTextReader();
    FXTextReader(const FXTextReader&) = delete;
    FXTextReader& operator=(const FXTextReader&) = delete;

    // Reads what is left of f. False, holding nothing, when memory runs out; a read error ends
    // the text where it happened (ferror(f) tells).
    bool Load(FILE* f);
    // Reads a terminated text the caller keeps alive and owns.
    void Borrow(const char* borrowed);
    // Reads the length characters at start, which the caller keeps alive and owns, as a whole
    // text. They need not be terminated, so a view takes tokens, lines, ints and characters, but
    // no floats.
    void View(const char* start, size_t length);
    void Destroy();

    // The next white-space separated token into tok (capacity chars, terminator included); false
    // at the end of the text. *cut, when given, tells whether characters were passed over.
    bool NextToken(char* tok, int capacity, bool* cut);
    // The next token where it stands, consumed as NextToken consumes it: its first character and
    // its length, or null at the end of the text.
    const char* TokenAt(size_t* length);
    // Drops the rest of the current line, its line end included.
    void SkipLine();
    // The rest of the current line into line (capacity chars) without its line end or a "\r"
    // before it; the whole line is consumed, so a cut line leaves nothing behind. Answers whether
    // it was cut.
    bool RestOfLine(char* line, int capacity);
    // "%d": white space (line ends too), an optional sign and digits. Nothing is consumed when no
    // digit follows; values beyond an int are held at INT_MIN / INT_MAX.
    // Inline below: the face reader calls these for every corner.
    bool ReadInt(int* v);
    // Consumes c if it is next.
    bool Match(char c) {
        if (pos < size && text[pos] == c) {
            pos++;
            return true;
        }
        return false;
    }
    // "%f": passes over white space (line ends too), then takes a number if one follows.
    bool ReadFloat(float* v);
    // One "%f" on the current line; false at the line end or when no number follows.
    bool ReadLineFloat(float* v);

private:
    char* block; // the loaded text; null for a borrowed one
};

inline bool FXTextReader::ReadInt(int* v) {
    size_t p = pos;
    while (p < size && (text[p] == ' ' || (text[p] >= '\t' && text[p] <= '\r'))) {
        p++;
    }
    bool negative = false;
    if (p < size && (text[p] == '-' || text[p] == '+')) {
        negative = text[p] == '-';
        p++;
    }
    if (p >= size || text[p] < '0' || text[p] > '9') {
        return false;
    }
    int64_t value = 0;
    while (p < size && text[p] >= '0' && text[p] <= '9') {
        if (value <= (int64_t)INT_MAX + 1) {
            value = value * 10 + (text[p] - '0');
        }
        p++;
    }
    if (negative) {
        value = -value;
    }
    *v = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : (int)value;
    pos = p;
    return true;
}

// The first white-space separated word of line into word (capacity chars, longer words cut).
void fxFirstWord(const char* line, char* word, int capacity);

#endif
