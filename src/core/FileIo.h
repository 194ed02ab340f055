#pragma once
// Whole-file reads and atomic whole-file replacement. Paths are GBK texts.
#include <string_view>

#include "core/Text.h"

namespace uptorra {

bool FileExists(const Text& path);

// Reads the whole file into out. Returns false (out empty) when the file is missing or
// cannot be read.
bool ReadWholeFile(const Text& path, Bytes& out);

// Replaces the file's content as one step: the bytes go to a temporary file beside it, which
// is flushed and then renamed over the target. A crash or a kill at any moment leaves either
// the old or the new content, never a torn file. Returns false when nothing was replaced
// (the old content, if any, is still there).
bool ReplaceFileAtomically(const Text& path, std::string_view content);

// Removes temporary files that a replace of path left behind when its process was killed
// between writing and renaming ("<name>.<pid>.<n>.tmp" of processes that no longer run).
// Returns how many were removed.
int RemoveStaleTemporaries(const Text& path);

// The folder of a path without its trailing backslash ("C:\a\b.exe" gives "C:\a").
Text FolderOf(const Text& path);

}  // namespace uptorra
