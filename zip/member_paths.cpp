// File calls on the paths of members. A member whose name is stored in
// UTF-8 (general-purpose flag bit 11) keeps that name on the NT family: the
// wide calls create its files and folders with their real characters. Every
// other name, and every name on the 9x family (converted to the ANSI code
// page when it was read), goes through the ANSI calls.
#include <windows.h>

#include "support/file_calls.h"
#include "support/os_version.h"
#include "support/utf8.h"
#include "zip/engine_internal.h"

// The UTF-16 form of a member path, when the member's name is UTF-8.
static bool wideForm(EngineState* state, const char* path, wchar_t* wide) {
  return state->nameIsUtf8 && utf8ToWide(path, -1, wide, kNameSize) >= 0;
}

uint32_t memberPathAttributes(EngineState* state, const char* path) {
  wchar_t wide[kNameSize];
  return wideForm(state, path, wide) ? GetFileAttributesW(wide) : GetFileAttributesA(path);
}

bool memberPathSetAttributes(EngineState* state, const char* path, uint32_t attributes) {
  wchar_t wide[kNameSize];
  return (wideForm(state, path, wide) ? SetFileAttributesW(wide, attributes) : SetFileAttributesA(path, attributes)) != 0;
}

bool memberPathMakeFolder(EngineState* state, const char* path) {
  wchar_t wide[kNameSize];
  return (wideForm(state, path, wide) ? CreateDirectoryW(wide, nullptr) : CreateDirectoryA(path, nullptr)) != 0;
}

bool memberPathDelete(EngineState* state, const char* path) {
  wchar_t wide[kNameSize];
  return (wideForm(state, path, wide) ? DeleteFileW(wide) : DeleteFileA(path)) != 0;
}

HANDLE memberPathOpen(EngineState* state, const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  wchar_t wide[kNameSize];
  if (wideForm(state, path, wide)) return CreateFileW(wide, access, share, nullptr, disposition, flags, nullptr);
  return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}

FileBox* memberPathCreate(EngineState* state, const char* path) {
  // As fileOpen(path, "wb"): created or truncated, for writing.
  return fileFromHandle(
      memberPathOpen(state, path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN));
}

ReplaceOutcome memberPathReplace(EngineState* state, const char* from, const char* to) {
  wchar_t wideFrom[kNameSize];
  wchar_t wideTo[kNameSize];
  if (NtMajorVersion() != 0) {
    const bool wide = wideForm(state, from, wideFrom) && wideForm(state, to, wideTo);
    const BOOL moved = wide ? MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING)
                            : MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING);
    return moved ? kReplaced : kOriginalKept;
  }
  // The 9x family has no replacing move: the original goes only now, when
  // its successor is complete.
  if (!DeleteFileA(to)) return kOriginalKept;
  return MoveFileA(from, to) ? kReplaced : kOriginalGone;
}

ReplaceOutcome memberPathMove(EngineState* state, const char* from, const char* to) {
  wchar_t wideFrom[kNameSize];
  wchar_t wideTo[kNameSize];
  const bool wide = wideForm(state, from, wideFrom) && wideForm(state, to, wideTo);
  const BOOL moved = wide ? MoveFileW(wideFrom, wideTo) : MoveFileA(from, to);
  return moved ? kReplaced : kOriginalKept;
}

bool memberPathSetLabel(EngineState* state, const char* root, const char* label) {
  wchar_t wide[kNameSize];
  if (!wideForm(state, label, wide)) return SetVolumeLabelA(root, label) != 0;
  wchar_t wideRoot[4] = {static_cast<wchar_t>(static_cast<unsigned char>(root[0])), L':', L'\\', L'\0'};
  return SetVolumeLabelW(wideRoot, wide) != 0;
}

const char* memberPathForDisplay(EngineState* state, const char* path) {
  wchar_t wide[kNameSize];
  if (path == nullptr || !wideForm(state, path, wide)) return path;
  // Lines and prompts are ANSI text: characters the code page lacks show
  // as '?'.
  if (WideCharToMultiByte(CP_ACP, 0, wide, -1, state->displayName, kNameSize * 2, "?", nullptr) == 0) {
    return path;
  }
  return state->displayName;
}
