// The destination folder remembered between runs, one registry value per
// script destination under "Software\Zimbro SFX": in HKEY_CURRENT_USER, or in
// HKEY_LOCAL_MACHINE for an elevated run.
#pragma once

// The value name of a script destination: the path with every ':', '\' and
// '/' replaced by '%' (C:\Apps\Tool gives C%%Apps%Tool). name holds 1024
// bytes.
void RegistryValueName(const char* path, char* name);

// Stores the folder the user installed to, when the script asks for it
// (SavePath) and has a destination of its own.
void SaveDestination(const char* folder);

// Replaces path (1024 bytes) by the folder an earlier run saved for it, when
// the script asks for it and there is one.
void LoadSavedDestination(char* path);
