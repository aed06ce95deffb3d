#pragma once

// The new updater is written to a file of its own beside the chosen target and moved over the
// target only when it is complete, so a failed save leaves the target as it was. Each returns
// true on success, or false with the last error set.

// Creates an empty file with a fresh, short name in the folder of `target`; `path` receives its
// name and has room for MAX_PATH bytes.
bool CreateFileBeside(const char* target, char* path);

// Copies `source` over `copy` and makes the copy writable (a copy takes the source's
// attributes, read-only among them).
bool CopyWritable(const char* source, const char* copy);

// Puts the finished file in the target's place in one step, replacing any file there, waiting a
// moment for a program that has the target open.
bool MoveOver(const char* finished, const char* target);

// Deletes a file left by a failed save, keeping the thread's last error as it was.
void DeleteLeftover(const char* path);
