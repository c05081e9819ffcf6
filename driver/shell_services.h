// What the driver asks of the Windows shell: shortcut files and the paths of
// special folders.
#pragma once

// Writes a shortcut file (.lnk) to target. description, iconFile and
// arguments may be null. Returns whether the file was saved.
bool CreateShortcut(const char* target, const char* shortcutFile, const char* description,
                    const char* iconFile, const char* arguments);

// The path of a special folder (a CSIDL value) into path (1024 bytes).
// Returns false, with path empty, when the shell cannot name the folder.
bool SpecialFolderPath(char* path, int folderId);
