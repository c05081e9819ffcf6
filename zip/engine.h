// The extraction engine's two entries.
#pragma once

#include <stdint.h>

// Finds the archive comment (the script) in the last 32768 bytes of the file.
// Sets text (a heap block of length + 1 bytes, NUL-terminated, owned by the
// caller) and length only when a comment is found.
void ReadArchiveComment(const char* path, char** text, int32_t* length);

// Extracts every member of the archive appended to the file into the current
// folder. Failures reach the caller only through sfx.errorCount,
// sfx.exitCode and sfx.runState.
void ExtractArchive(const char* archivePath);
