// Whether a clip is worth handing to the looping player. Asked to repeat a clip without a frame,
// with a single one, or a file it cannot read, libVLC starts it again and again without end:
// thousands of error lines a second and a whole core busy. libavformat reads the clip's header
// and its first packets only, cheap enough for the window's thread.
#pragma once

#include <QString>

class CClipProbe {
  public:
    // Video frames of the clip, counted up to upTo; 0 when it is no file, cannot be read or has
    // no video.
    static int CountFrames(const QString& path, int upTo);
    // At least two frames: a loop that shows something moving, or at least showing.
    static bool IsLoopable(const QString& path) { return CountFrames(path, 2) >= 2; }
};
