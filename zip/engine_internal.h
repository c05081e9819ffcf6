// Operations the files of the extraction engine share among themselves. The
// outside world sees only the two entries of zip/engine.h.
#pragma once

#include <stdint.h>

#include "support/portable/pbkdf2.h"
#include "zip/engine_state.h"
#include "zip/engine_ui.h"

// ---------------------------------------------------------------------------
// Buffered archive input (archive_input.cpp)
// ---------------------------------------------------------------------------

// Reads the block-aligned file block at `block` into the buffer and makes it
// the block held; the number of bytes read (0 when the file cannot be
// positioned there). The read pointer is the caller's.
int32_t readBlockAt(EngineState* state, int64_t block);
// Reads the block that follows the one held and points the input at its
// start; false, with an empty buffer, when nothing more comes.
bool readFollowingBlock(EngineState* state);
// Points the input at the file position, reading its block unless that block
// is held; false for a negative position or a block that yields no bytes.
bool SeekArchive(EngineState* state, int64_t position);
// Copies up to n bytes from the read pointer on, refilling block by block;
// the count copied (fewer at the end of the file).
int32_t ReadArchive(EngineState* state, void* destination, int32_t n);
// Reads the four bytes at the read pointer and compares them with a record
// signature: found, other bytes, or nothing left to read.
enum SignatureCheck { kSignatureFound, kSignatureDiffers, kSignatureMissing };
SignatureCheck readSignature(EngineState* state, uint32_t signature);
// Skips, or reads a name or an extra field of this length; false when the
// archive ends first. A name longer than the buffer is cut and marked in
// nameCut (it is refused later, with its line).
bool ReadField(EngineState* state, int32_t length, FieldKind kind);
// The file position of the read pointer.
int64_t archivePosition(EngineState* state);

// ---------------------------------------------------------------------------
// Extra fields (extra_field.cpp)
// ---------------------------------------------------------------------------
// Reads the extra field of the header just read: a Zip64 record gives the
// 64-bit value of every field of marked that holds the all-ones marker, in
// that order; a Unicode Path record (version 1) whose CRC matches the
// header's name bytes replaces the name. False when the Zip64 record is
// shorter than its markers need.
bool interpretExtraField(EngineState* state, uint64_t* const* marked, int32_t count);

// ---------------------------------------------------------------------------
// Directory (archive_directory.cpp)
// ---------------------------------------------------------------------------
// Parses the central header whose signature was just read into
// state->centralHeader; false when the archive ends inside it.
bool ReadCentralHeader(EngineState* state);
// Keeps the member of the header just read in its batch slot; false (with
// its line) for a member that uses a method or a feature the engine lacks.
bool StoreMemberInfo(EngineState* state);

// ---------------------------------------------------------------------------
// Compression methods
// ---------------------------------------------------------------------------
enum MemberMethod : uint16_t {
  kMethodStored = 0,
  kMethodDeflate = 8,
  kMethodDeflate64 = 9,
  kMethodLzma = 14,
  // A member of a solid block (member_solid.cpp). A number the ZIP format
  // leaves unassigned, so that a reader that does not know the blocks
  // reports an unknown method instead of writing wrong data.
  kMethodSolidLzma = 90,
  // AES encryption: the extra field names the method under it.
  kMethodAes = 99,
};
// The method a member's data are read with: an AES member's is the one its
// extra record (the header's just read) names; one without a sound record,
// or without the encryption flag, has none the engine knows (0xFFFF).
inline uint16_t methodUnderEncryption(const EngineState* state, uint16_t method, bool encrypted) {
  if (method != kMethodAes) return method;
  return encrypted && state->aesRecord.present ? state->aesRecord.method : 0xFFFF;
}
// The methods ExtractMember decodes; any other is refused by its number.
inline bool isMethodDecoded(uint16_t method) {
  return method == kMethodStored || method == kMethodDeflate || method == kMethodDeflate64 ||
         method == kMethodLzma || method == kMethodSolidLzma;
}

// ---------------------------------------------------------------------------
// Member extraction (member_steps.cpp)
// ---------------------------------------------------------------------------
enum MemberStepOutcome {
  kNextMember,     // the member is done with (extracted, skipped or lost)
  kEndBatch,       // the user cancelled, at a prompt or in the dialog
  kEndMemberLoop,  // nothing more can be extracted: the disk or the archive failed
};
// The second pass for one slot of the batch: what the member loop does next.
MemberStepOutcome RunMemberSteps(EngineState* state, int32_t slot);
// Parses the local header whose signature was just read into
// state->localHeader; false when the archive ends inside it.
bool ReadLocalHeader(EngineState* state);
// Extracts the current member, its destination settled, into its output
// file; every failure writes its lines and notes the outcome, and a write
// that fails leaves diskFullState at 2.
void ExtractMember(EngineState* state);

// How a decoder ended with a member's data.
enum MemberDecodeOutcome {
  kMemberDecoded,   // its stream ended where it should (the sizes and the CRC are checked after)
  kMemberDamaged,   // damaged or truncated data, or a stop (cancel, output beyond the declared size)
  kMemberNoMemory,  // the decoder's tables or dictionary could not be had
};
// Between two stretches of a member's output: the cancel test, the progress
// bar and one message, so the dialog stays alive during a long member. True
// when the decoder is to stop.
bool memberCheckpoint(EngineState* state);
// The decoders' callbacks, whose context is the engine's state: the member
// input's refill, the window flush (0, or 1 to stop) and the checkpoint
// (1 to stop).
int decoderRefill(void* context);
int decoderFlush(void* context, const uint8_t* bytes, uint32_t count);
int decoderCheckpoint(void* context);
// Decodes the current member's LZMA data (member_lzma.cpp), its input
// deferred and its output file open.
MemberDecodeOutcome decodeLzmaMember(EngineState* state);
// The lines of a member whose data could not be decoded: its name, then the
// damage (the installation is corrupt) or the memory that was missing.
void memberLostError(EngineState* state, MemberDecodeOutcome outcome);
// The LZMA properties at the member input and the dictionary they need (the
// smaller of theirs and the output's size, within the engine's limit), 0
// when it passes the limit; false when the stream's header is damaged.
bool readLzmaStreamHeader(EngineState* state, LzmaProperties* properties);
uint32_t lzmaDictionaryBytes(const LzmaProperties* properties, uint64_t outputSize);
// Allocates the decoder's dictionary and probabilities and starts it on a
// stream; false (with nothing held) when the memory cannot be had.
bool startLzmaDecoder(EngineState* state, const LzmaProperties* properties, uint32_t dictionaryBytes);
// Gives the decoder's memory back.
void releaseLzmaDecoder(EngineState* state);

// ---------------------------------------------------------------------------
// Solid blocks (member_solid.cpp)
// ---------------------------------------------------------------------------
// With the local header of a solid member read: true when the member opens
// a block or follows the open block in step; false, its lines written, when
// it cannot be had (its block lost, or the member in no block's place).
bool joinSolidBlock(EngineState* state);
// Points the member input at the block's stream where the last member left
// it, before the input is deferred.
void resumeSolidInput(EngineState* state);
// Decodes the member's bytes out of the block's stream (the stream's header
// and the decoder first, for the block's first member).
MemberDecodeOutcome decodeSolidMember(EngineState* state);
// The same for a member that is not written, so that the members after it
// come out right; a failure writes the member's lines.
void discardSolidMember(EngineState* state);
// Ends the open block, giving its decoder's memory back.
void closeSolidBlock(EngineState* state);

// ---------------------------------------------------------------------------
// Member input (member_input.cpp): the decoder's byte source
// ---------------------------------------------------------------------------
// Limits the input to the member's own bytes, putting the rest of the buffer
// aside.
void DeferInput(EngineState* state);
// Gives back the part of the buffer DeferInput put aside.
void RestoreInput(EngineState* state);
// The next byte of the member from a fresh block (deciphered when the member
// is encrypted), or -1 once its bytes, or the file, are used up.
int RefillInput(EngineState* state);
// The next compressed byte of the member, or -1 at its end. The bytes come
// straight from the buffer; a call is made only to refill it.
inline int nextInputByte(EngineState* state) {
  if (--state->input.unread >= 0) return *state->input.next++;
  return RefillInput(state);
}

// ---------------------------------------------------------------------------
// AES-encrypted members (member_aes.cpp)
// ---------------------------------------------------------------------------
// The salt and the password verifier, in front of the encrypted data.
inline int32_t aesMemberHeaderBytes(AesKeyLength length) {
  return static_cast<int32_t>(aesMemberSaltBytes(length) + kAesMemberVerifierBytes);
}
// Room for either cipher's header.
const int32_t kLargestEncryptionHeader = 18;
static_assert(kLargestEncryptionHeader >= kEncryptionHeaderSize, "the traditional header fits");
// With the member input right after the verifier: takes the authentication
// code out of what the member input gives and notes where it lies; false
// when the member is too short to hold one.
bool reserveAesCode(EngineState* state);
// Adds a block of the member's encrypted bytes to the authentication and
// deciphers it in place.
void decipherAesInput(EngineState* state, uint8_t* bytes, int32_t count);
// After the member's decoder: takes the encrypted bytes the decoder left,
// then compares the stored code with the one computed, in constant time;
// the keys are wiped either way. False when they differ or the archive ends.
bool authenticateAesMember(EngineState* state);
// Wipes the member's keys (also when its extraction stopped early).
void endAesMember(EngineState* state);

// ---------------------------------------------------------------------------
// Output files (output_file.cpp)
// ---------------------------------------------------------------------------
// Adds count bytes of output to the running CRC and writes them; false when
// they pass the declared size (nothing written) or the write fails (its line
// written, diskFullState set to 2).
bool WindowFlush(EngineState* state, const uint8_t* buffer, uint32_t count);
// Creates the member's file under its own name when no file has that name
// yet; false leaves the name to the existing-file checks.
bool CreateNewOutputFile(EngineState* state);
// Opens the member's output file, or takes the one made ahead; false (with
// its line) when it cannot be created.
bool OpenOutputFile(EngineState* state);
// Closes the output file and gives it the member's time and attributes.
void CloseOutputFile(EngineState* state);
// A member's output that failed goes; a file it was to replace stays as it
// was, attributes included.
void AbandonOutputFile(EngineState* state);
// Gives a file that the member was to replace its attributes back.
void KeepReplacedFile(EngineState* state);
// Puts a finished replacement in the place of the existing file; false
// (with its error line) when the existing file had to stay.
bool CommitOutputFile(EngineState* state);

// ---------------------------------------------------------------------------
// Member names and existing files (member_name.cpp)
// ---------------------------------------------------------------------------
// Converts a name just read into the ANSI code page when its host wrote it
// in the OEM code page.
void applyNameCharset(EngineState* state, char* name);
// The same for a name that is UTF-8: kept so on the NT family (wide calls),
// converted into the ANSI code page on the 9x family.
void applyUtf8Name(EngineState* state, char* name);
enum DestinationDecision {
  kExtractMember,
  kSkipMember,    // by the user's choice, or refused (its lines written)
  kCancelMember,  // the user cancelled at the replace prompt
};
// Turns the local name into the path of the output file and settles an
// existing file of that path (asking the user when needed).
DestinationDecision DecideDestination(EngineState* state);

// ---------------------------------------------------------------------------
// Which names are refused (name_rules.cpp)
// ---------------------------------------------------------------------------
// False for a name that must not be created: one that leaves the current
// folder, names a device, ends a component in a dot or a blank, has a
// component longer than 255 characters, makes a path longer than the
// platform takes, or claims UTF-8 without being it.
bool isNameAcceptable(EngineState* state, const char* name);
// True for a component that every file system takes as it is; false says
// only that the platform must be asked.
bool isComponentPlainlyValid(const char* component);

// ---------------------------------------------------------------------------
// File calls on member paths (member_paths.cpp): wide for a UTF-8 name on
// the NT family, ANSI otherwise
// ---------------------------------------------------------------------------
// The path's attributes, INVALID_FILE_ATTRIBUTES when it names nothing.
uint32_t memberPathAttributes(EngineState* state, const char* path);
// Each true when the platform call succeeded.
bool memberPathSetAttributes(EngineState* state, const char* path, uint32_t attributes);
bool memberPathMakeFolder(EngineState* state, const char* path);
bool memberPathDelete(EngineState* state, const char* path);
// The platform's handle, INVALID_HANDLE_VALUE when the open fails.
HANDLE memberPathOpen(EngineState* state, const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
// The file created or truncated for writing; null when that fails.
FileBox* memberPathCreate(EngineState* state, const char* path);
// True when the drive of root took the label.
bool memberPathSetLabel(EngineState* state, const char* root, const char* label);
// Puts the file from in the place of the existing file to: kReplaced, or
// which of the two files is left when that fails.
enum ReplaceOutcome { kReplaced, kOriginalKept, kOriginalGone };
ReplaceOutcome memberPathReplace(EngineState* state, const char* from, const char* to);
// Gives the file from the name to, which names nothing: kReplaced, or
// kOriginalKept when the move fails (from is left as it was).
ReplaceOutcome memberPathMove(EngineState* state, const char* from, const char* to);
// The path as ANSI text for lines and prompts.
const char* memberPathForDisplay(EngineState* state, const char* path);

// ---------------------------------------------------------------------------
// Name mapping (name_mapping.cpp)
// ---------------------------------------------------------------------------
// Releases what the mapping of a name still holds (after a run that stopped
// in the middle of one).
void releaseMappingPaths(EngineState* state);
// False when the platform rejects the path as a name (invalid characters,
// a component too long); a path that merely does not exist is valid.
bool IsNameValid(EngineState* state, const char* path);
// What MapName made of a member's name. Every result but kMapExtract ends
// the member without a file.
enum MapResult {
  kMapExtract,           // the output file's path, its folders made
  kMapNothingToExtract,  // an existing folder entry, or a volume label set
  kMapFolderCreated,     // a folder entry, made
  kMapFailed,            // a folder or a label could not be made, or no file name is left (line written)
  kMapNoMemory,          // the paths could not be allocated
  kMapLabelSkipped,      // a volume label for a folder that is no drive's root
  kMapNameCut,           // the path had to be cut: it is not the file the name meant
};
// Maps state->name into the path of the output file, creating its folders.
// newName: the name was typed by the user at the rename prompt and may
// start at a root.
MapResult MapName(EngineState* state, bool newName);
// The name or path ends with "/" (a folder entry, or a refused file name).
bool endsWithSlash(EngineState* state, const char* name);

// ---------------------------------------------------------------------------
// Error lines (engine_ui.cpp)
// ---------------------------------------------------------------------------
// One counted error line through the engine's user interface: the message
// with the member name or path where the message has a "%s".
void engineError(EngineState* state, int messageId, const char* argument);
// "The archive is either in unknown format or damaged".
void unknownFormat(EngineState* state);
// An error line for a failure that loses files of the installation (a
// damaged archive, member data that cannot be read, a refused name): the
// run then ends as corrupt, which tells the caller to fetch a fresh copy.
void filesLostError(EngineState* state, int messageId, const char* argument);
// Records what a failure means for the run's outcome (the latest decides).
void noteOutcome(EngineState* state, RunOutcome outcome);
// The user cancelled, or the run is closing.
inline bool stopRequested(EngineState* state) { return state->ui->stopRequested(); }
