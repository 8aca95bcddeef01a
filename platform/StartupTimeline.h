// The steps of the program's start, timed: each part of the program marks
// the step it has just done, and the host prints them on request (mekko
// --verbose), so a slow start can be laid at the door of its step.
#pragma once

#include <string>

namespace KelpaPlatform {

// Any thread: the step (a string that lives for the whole run) is done
// now. Only a step's first mark counts (the process starts once, whatever
// runs it holds); marks past the 16th are dropped.
void markStartup(const char* step);

// The steps in the order they were done, one line each: the time since the
// step before (the first: since the process started) and since the
// process started, in milliseconds, and the process's peak resident
// memory when the step was done.
std::string startupReport(const char* prefix);

// Milliseconds from the process's start to the step's mark; < 0 when the
// step has not been marked.
double startupMs(const char* step);

}  // namespace KelpaPlatform
