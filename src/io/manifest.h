#ifndef FX_IO_MANIFEST_H
#define FX_IO_MANIFEST_H

#include <string>
#include <vector>

// Manifests: text files of "ID REST" lines that say what goes into a package. Blank lines and
// lines that start with '#' say nothing; blanks around the words do not count.

struct tagFXManifestLine {
    int number;         // 1 for the file's first line
    std::string idText; // the first word, not yet checked
    std::string rest;   // the rest of the line, trimmed; empty when there is none
};

enum {
    FXMANIFEST_OK = 0,
    FXMANIFEST_CANNOT_OPEN = 1, // errno says why
    FXMANIFEST_CANNOT_READ = 2,
};

// Reads every line that says something. Answers one of the FXMANIFEST_ codes.
int fxReadManifestLines(const char* path, std::vector<tagFXManifestLine>* lines);
// The text without blanks, tabs or line ends at either side.
std::string fxTrimManifestText(const std::string& s);

#endif
