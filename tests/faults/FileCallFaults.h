#pragma once
// An interposer of the C library's file calls, linked into this test program alone: while
// armed it counts every call that touches a file or folder (opening, reading, writing,
// flushing, closing, renaming, deleting, listing, creating folders) and makes the chosen
// one fail as the disk would (an I/O error), once or from then on. The standard streams
// are left alone.

#include <string>
#include <vector>

namespace filefaults {

enum class Mode {
    Count,     // nothing fails; the calls are counted
    FailOnce,  // the call numbered `target` fails, the rest go through
    FailFrom,  // the call numbered `target` and every later one fail
};

// Starts counting from 1.
void Arm(Mode mode, long target = 0);
// Stops; returns the number of calls counted since Arm.
long Disarm();
// The calls counted since Arm, by name ("rename", "fwrite", ...).
const std::vector<std::string>& Calls();
// True when a call failed because of the fault since Arm.
bool Fired();

}  // namespace filefaults
