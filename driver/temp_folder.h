// The temporary destination folder of a TempMode run.
#pragma once

// Every temporary destination folder's name begins with this prefix.
extern const char kTempFolderPrefix[];

// Makes the folder "<temporary folder>QelSFX<n>" with the first n that is
// free, puts its path into name (1024 bytes) and records it in
// sfx.tempFolder. False when no such folder could be made.
bool MakeTempFolder(char* name);

// At shutdown and after a fatal stop: deletes the folder this run made, with
// its contents, and nothing when it made none.
void RemoveTempFolder();
