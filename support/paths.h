// Path names: taking them apart, building whole folder paths, and thin
// file-system calls by name. ANSI names are walked by characters (double-byte
// aware). Calls that also take a UTF-16 name use the wide Win32 call on an NT
// system when that name is not empty, else the ANSI call.
#pragma once

#include <stdint.h>
#include <wchar.h>

const int kPathSize = 1024;

inline bool isSeparator(int c) { return c == '\\' || c == '/'; }
inline bool isDriveSeparator(int c) { return c == ':'; }

const char* nameOf(const char* path);
char* nameOf(char* path);
const wchar_t* nameOfWide(const wchar_t* path);
wchar_t* nameOfWide(wchar_t* path);
const char* lastCharOf(const char* path);
const char* extensionOf(const char* path);  // null when the name has no '.'
char* extensionOf(char* path);
bool hasWildcards(const char* path, const wchar_t* widePath);
void stripName(char* path);
char* toBackslashes(char* source, char* destination, int destinationSize);
bool isDriveLetter(const char* path);
void pathRoot(const char* path, char* root);

// 0 created, 1 failed, 2 bad path (file or path not found).
int makeDirectory(const char* name, const wchar_t* wideName, uint32_t attributes);
void createPath(const char* path, const wchar_t* widePath, bool skipLastName);
bool fileExists(const char* name, const wchar_t* wideName);
// GetFileAttributes; INVALID_FILE_ATTRIBUTES when the name does not exist.
uint32_t attributesOf(const char* name, const wchar_t* wideName);
// The attributes (of attributesOf) of a junction, a symbolic link or another
// reparse point: its contents are somewhere else.
bool isLink(uint32_t attributes);
bool setAttributes(const char* name, const wchar_t* wideName, uint32_t attributes);
bool deleteByName(const char* name, const wchar_t* wideName);
void fullPathName(const char* name, char* destination);
bool isPlainAscii(const char* name);
// A relative path that stays below the folder it is taken in: no root, no
// drive or ':', no component of two or more dots only ("..", and "..."
// which the system may take the same way).
bool staysInsideFolder(const char* path);
bool isPlainAscii(const wchar_t* name);
