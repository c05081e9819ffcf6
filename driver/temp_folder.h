// The temporary destination folder of a TempMode run.
#pragma once

// Every temporary destination folder's name begins with this prefix.
extern const char kTempFolderPrefix[];

// The first name "<temporary folder>QelSFX<n>" (n = 0, 1, ...) that does not
// exist yet, into name (1024 bytes). False when the temporary folder's path
// leaves no room for the name.
bool NextTempFolderName(char* name);

// At shutdown: leaves the current folder (the temporary destination after an
// installation) and deletes it with its contents, but only when its name
// carries the prefix and the user did not decline the TempMode question.
void RemoveTempFolder();
