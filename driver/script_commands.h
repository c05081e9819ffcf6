// The script commands that work on files in the destination folder, each
// in a file of its own.
#pragma once

#include "driver/script_reader.h"

// Delete: removes the entries of the current folder that match value (a
// name or a wildcard mask).
void DeleteMatching(const char* value);

// Shortcut: the six fields of the command (location, target, subfolder,
// description, shortcut name, icon file), each kScriptLineSize bytes;
// fields[1] is changed in place.
void MakeShortcut(char (*fields)[kScriptLineSize]);
