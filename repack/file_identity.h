#pragma once

// True when both paths name one existing file: same volume and file index, so another
// spelling, a short name, a hard link or another route to the same share all count. A path
// that names no file (a target not made yet) is never the same file as another; two existing
// files whose identity can't be read are compared by their full paths.
bool SameFile(const char* first, const char* second);
