#ifndef FX_SHELL_SNAPSHOT_H
#define FX_SHELL_SNAPSHOT_H

#include <string>
#include <vector>

// The full-screen show off the real clock: a virtual clock advanced in frames of 1/30 s from 0,
// so the stages move as in a real run, with every random draw seeded, writing the frame at each
// asked time as "frame-<T>.png". Same seed, size and renderer give the same bytes.

#define FX_SNAPSHOT_FPS 30

// Reads "T1,T2,...": seconds, each 0 ... 86400, sorted on the way. False for anything else.
bool fxParseSnapshotTimes(const char* text, std::vector<double>* times);
// "frame-<T>.png" with T in its shortest form ("frame-2.5.png").
std::string fxSnapshotName(double time);

// Builds the show on window (a tagFXWindow* of the frames' size) and writes the frames into
// folder. desktopPicture, when not empty, stands in for the capture of the screen. Messages go
// to standard error; false when the show or a frame could not be made or written.
bool fxRunSnapshots(void* window, const std::string& folder, const std::vector<double>& times,
                    const std::string& desktopPicture, unsigned int seed);

#endif
