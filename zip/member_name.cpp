// Member names: from the name in the local header to the path of the output
// file, relative to the current folder (the destination), and what to do
// when a file of that path exists already.
//
// A name that must not be created (name_rules.cpp), or one cut to fit the
// name buffer (the cut name is not the file the archive meant), is refused:
// one counted error line naming the member. A new name the user types at
// the rename prompt is not checked: where the file goes is then the user's
// own decision.
#include <windows.h>

#include "support/chars.h"
#include "support/os_version.h"
#include "support/paths.h"
#include "support/strings.h"
#include "support/utf8.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"
#include "zip/engine_ui.h"

// ---------------------------------------------------------------------------
// Character set
// ---------------------------------------------------------------------------

// A UTF-8 name on the 9x family: into the ANSI code page, or marked as one
// the code page cannot hold (with '?' for what is missing, for the line
// that refuses it). The conversion back must give the same characters, so a
// character the system would replace by a look-alike ("/" for a division
// slash) never slips through.
static void utf8ToCodePage(EngineState* state, char* name) {
  wchar_t wide[kNameSize];
  wchar_t back[kNameSize];
  char converted[kNameSize];
  if (utf8ToWide(name, -1, wide, kNameSize) < 0) {
    state->nameNotInCodePage = true;
    return;
  }
  BOOL defaulted = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, converted, kNameSize, "?", &defaulted);
  bool same = n > 0 && !defaulted && MultiByteToWideChar(CP_ACP, 0, converted, -1, back, kNameSize) > 0;
  for (int i = 0; same && (i == 0 || wide[i - 1] != L'\0'); ++i) same = wide[i] == back[i];
  if (n > 0) copyTextCut(name, converted, kNameSize);
  state->nameNotInCodePage = !same;
}

void applyUtf8Name(EngineState* state, char* name) {
  state->nameIsUtf8 = false;
  state->nameNotInCodePage = false;
  if (NtMajorVersion() != 0) {
    state->nameIsUtf8 = true;  // created through the wide calls as it is
  } else {
    utf8ToCodePage(state, name);
  }
}

void applyNameCharset(EngineState* state, char* name) {
  if ((state->nameFlags & kFlagUtf8Name) != 0) {
    applyUtf8Name(state, name);
    return;
  }
  state->nameIsUtf8 = false;
  state->nameNotInCodePage = false;
  int32_t host = state->members[state->currentMember].host;
  // MS-DOS and OS/2 packers, and one NTFS packer version, wrote OEM names.
  if (host == 0 || host == 6 || (host == 11 && state->centralHeader.madeByVersion == 50)) {
    OemToCharA(name, name);
  }
}

// ---------------------------------------------------------------------------
// The destination of a member
// ---------------------------------------------------------------------------

// Asks about the existing file state->name until the answer is one the
// engine can act on; on kAnswerRename state->name holds the typed name.
static char askAboutExistingFile(EngineState* state) {
  char scratch[kPathSize];
  for (;;) {
    copyTextCut(scratch, memberPathForDisplay(state, state->name), sizeof(scratch));
    char decision = 0;
    const LocalHeader& local = state->localHeader;
    state->ui->askOverwrite(&decision, scratch, state->uncompressedSize,
                          (static_cast<uint32_t>(local.date) << 16) | local.time);
    if (decision != kAnswerRename) return decision;
    char* last = const_cast<char*>(lastCharOf(scratch));
    if (*last == '\n') *last = '\0';
    // An empty new name names no file: the same question again.
    if (scratch[0] == '\0') continue;
    copyTextCut(state->name, scratch, kNameSize);
    state->nameIsUtf8 = false;  // typed in the ANSI code page
    return decision;
  }
}

DestinationDecision DecideDestination(EngineState* state) {
  if (state->nameCut || state->nameNotInCodePage || !isNameAcceptable(state, state->name)) {
    filesLostError(state, kMsgHeaderCorrupt, state->name);
    return kSkipMember;
  }
  state->replacing = false;
  bool newName = false;
  for (;;) {
    // Folder entries, volume labels and failures end here; their lines,
    // if any, are written. A path cut to fit is refused like a cut name.
    const MapResult mapped = MapName(state, newName);
    if (mapped == kMapNameCut) {
      filesLostError(state, kMsgHeaderCorrupt, state->name);
      return kSkipMember;
    }
    if (mapped != kMapExtract) return kSkipMember;
    // A file name the platform refused leaves only the folder: opening it
    // fails with a line of its own, and there is no file to ask about.
    if (endsWithSlash(state, state->name)) return kExtractMember;
    // Most names are new. Creating the file only if it does not exist
    // answers the question and makes the file in one trip to the file
    // system, where a look and then a create cost two for every member.
    if (CreateNewOutputFile(state)) return kExtractMember;
    const uint32_t existing = memberPathAttributes(state, state->name);
    if (existing == INVALID_FILE_ATTRIBUTES) return kExtractMember;
    if (isLink(existing)) {
      // Replacing would write, or ask about, whatever the link leads to.
      noteOutcome(state, kRunFilesNotCreated);
      engineError(state, kMsgCannotCreate, state->name);
      return kSkipMember;
    }
    switch (askAboutExistingFile(state)) {
      case kAnswerReplace:
        // The prompt has cleared the file's attributes; they come back if
        // the file stays.
        state->replacing = true;
        state->replacedAttributes = existing;
        return kExtractMember;
      case kAnswerSkip:
        return kSkipMember;
      case kAnswerCancel:
        return kCancelMember;
      case kAnswerRename:
        newName = true;
        break;
      default:
        // The prompt could not be shown: the file is not replaced unasked.
        noteOutcome(state, kRunFilesNotCreated);
        engineError(state, kMsgCannotCreate, state->name);
        return kSkipMember;
    }
  }
}
