#ifndef FX_BASE_OUTFILE_H
#define FX_BASE_OUTFILE_H

// Files the tools write and read: safe replacement of outputs, file identity, the few folder
// services the tools need. Only OS calls live in the platform unit (outfile_posix).

#include <cstdint>
#include <cstdio>
#include <string>

// What a path names, links followed.
enum {
    FXFILE_NONE = 0,    // nothing (or a dangling link)
    FXFILE_REGULAR = 1, // a plain file
    FXFILE_FOLDER = 2,
    FXFILE_OTHER = 3, // a device, a pipe, a socket
};

// Identity of an existing file: two paths name one file when both fields match, whatever links,
// hard links or ".." lie between them.
struct tagFXFileId {
    uint64_t device;
    uint64_t inode;
};

int fxGetFileKind(const char* path);
// False, errno set, when path names nothing.
bool fxGetFileId(const char* path, tagFXFileId* id);
bool fxSameFileId(const tagFXFileId& a, const tagFXFileId& b);

// The folder part of a path without its separator ("." for a bare name, "/" at the root), and
// the name after the last separator.
std::string fxFolderOfPath(const std::string& path);
std::string fxLeafOfPath(const std::string& path);

// The absolute form of an existing path, links resolved; false, errno set, when it cannot be found.
bool fxGetRealPath(const char* path, std::string* real);
bool fxGetCurrentFolder(std::string* folder);
bool fxSetCurrentFolder(const char* folder);
// A new private folder under the system's temporary folder; false, errno set, when none can be made.
bool fxMakeTempFolder(const char* prefix, std::string* folder);

// Whether the stream shows on a terminal (progress may then be redrawn in place).
bool fxIsTerminal(FILE* stream);

// Paths removed when SIGINT, SIGTERM or SIGHUP ends the process: files first, then folders,
// latest first. Up to 64 paths of up to 1023 characters; false when the registry is full.
bool fxAddCleanupPath(const char* path, bool folder);
void fxRemoveCleanupPath(const char* path);
// Holds the terminating signals off (true) until released (false), so a file can be made and
// registered with no moment between the two. Not nested.
void fxHoldCleanupSignals(bool hold);
// Installs the handlers; idempotent. The handler removes the registered paths and then dies of
// the signal, so the parent sees the usual status.
void fxInstallCleanupHandlers();

// An output file written whole or not at all. Create checks the target and makes an empty
// temporary file with a unique name in the target's folder; the caller writes GetTmpPath();
// Commit moves it into place. Until Commit the target is untouched, and the temporary file is
// removed by Discard, the destructor or a terminating signal.
//
// "-" is standard output. A link is followed and its target replaced; the target's mode (and
// owner, where allowed) is kept. A target that is not a regular file (a device, a pipe), or a
// file with other hard links, is written through instead of replaced, so it stays what it is.
class FXOutFile {
public:
    FXOutFile();
    ~FXOutFile();
    FXOutFile(const FXOutFile&) = delete;
    FXOutFile& operator=(const FXOutFile&) = delete;

    // False, errno set, when the folder is missing (ENOENT), the target is a folder (EISDIR) or
    // the folder takes no new file.
    bool Create(const char* path);
    const char* GetTmpPath() const { return tmpPath.c_str(); }
    // The path the user named.
    const char* GetPath() const { return path.c_str(); }
    // The absolute path of the file that takes the bytes (links followed); "-" for standard output.
    const char* GetTarget() const { return toStdout ? "-" : target.c_str(); }
    // Whether the target existed before (so a caller knows an identity to compare).
    bool Exists() const { return existed; }
    // False, errno set, when the finished file cannot take the target's place; the target is
    // then as it was (a written-through target may hold part of the new bytes).
    bool Commit();
    void Discard();

private:
    std::string path;    // as given
    std::string target;  // the file that takes the bytes, links resolved
    std::string tmpPath; // empty when there is nothing to remove
    bool toStdout;
    bool writeThrough; // copy into the target instead of renaming over it
    bool existed;
    int mode;  // of the existing target, -1 for a new one
    int owner; // -1: leave as made
    int group;
};

#endif
