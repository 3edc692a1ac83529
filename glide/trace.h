// The call trace: every board call written to a text file, one line each (its
// name and arguments; floats with "%.9g"; a vertex as its x y r g b a oow sow
// tow; a texture download as its handle and a hash of the texels, the texels
// themselves once per distinct content on a "texels" line before it; pixels
// written through a frame-buffer lock on "lfbWrite x y count hex" lines), and
// its replay through the board.
#pragma once

#include <string>

// Starts writing every board call to the file (replacing a trace in progress).
bool boardStartTrace(const char *path, std::string &error);
// Finishes the trace file; nothing when no trace runs.
void boardStopTrace();
// Renders a trace through the board: every grBufferSwap presents through the
// installed presenter as usual. False with a message naming the file and line
// when the file cannot be read or a line is not understood.
bool boardReplay(const char *path, std::string &error);
