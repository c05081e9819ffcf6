// The extraction engine's state: one record per run, made and zeroed by
// ExtractArchive and passed along every step, so that nothing of one run
// survives into the next.
//
// The engine reads the archive through a single 8192-byte buffer filled by
// block-aligned reads. Its read pointer and unread count are a ByteCursor,
// the very cursor the Deflate decoder takes its input from, so the decoder
// reads member data straight out of the engine's buffer with no copy and no
// call per byte. The record also holds the parsed ZIP headers, the current
// batch of directory entries and the output window shared by the Stored copy
// and the decoder (64 KiB, the window of Deflate64; Stored and Deflate use
// its first 32 KiB).
#pragma once

#include <stdint.h>

#include "support/file_calls.h"
#include "support/portable/aes.h"
#include "support/portable/hmac_sha1.h"
#include "zip/engine.h"
#include "zip/engine_ui.h"
#include "zip/portable/inflate.h"
#include "zip/portable/lzma_decoder.h"

// ---------------------------------------------------------------------------
// Sizes
// ---------------------------------------------------------------------------
const int32_t kInputBlockSize = 8192;
// The end-record search compares four bytes at every position of a block;
// the last three positions read on into this area, which holds the first
// bytes of the block that follows in the file.
const int32_t kHoldSize = 4;
const int32_t kBatchSize = 64;
const int32_t kNameSize = 260;          // a name keeps at most 259 bytes
const int32_t kEndRecordSize = 22;
// The Zip64 end record's locator lies right in front of the end record.
const int32_t kZip64LocatorSize = 20;
// The Zip64 end record without its extensible data, as every writer makes it.
const int32_t kZip64EndRecordSize = 56;
const int32_t kCentralHeaderSize = 46;
const int32_t kLocalHeaderSize = 30;
const int32_t kEncryptionHeaderSize = 12;
// The password under test: as long as the password prompt accepts (127
// characters), so that a right password is never cut into a wrong one.
const int32_t kKeyCopySize = 128;

// ---------------------------------------------------------------------------
// ZIP records, as parsed (fields after the signature, little-endian on disk)
// ---------------------------------------------------------------------------
// The classic record's counts, sizes and offsets, or the Zip64 record's where
// the archive has one.
struct EndRecord {
  uint64_t totalEntries;
  uint64_t directorySize;
  uint64_t directoryOffset;
  uint16_t commentLength;
  // A field holds its all-ones marker: the real values are in a Zip64 end
  // record, and an archive without a sound one is damaged.
  bool needsZip64;
};

struct CentralHeader {
  uint8_t madeByVersion;
  uint8_t madeByHost;
  uint16_t flags;
  uint16_t method;
  uint16_t time;
  uint16_t date;
  uint32_t crc;
  // 64-bit: a Zip64 extra field replaces what holds the all-ones marker.
  uint64_t uncompressedSize;
  uint64_t compressedSize;
  uint64_t localOffset;
  uint16_t nameLength;
  uint16_t extraLength;
  uint16_t commentLength;
  uint32_t externalAttributes;
};

struct LocalHeader {
  uint16_t flags;
  uint16_t method;
  uint16_t time;
  uint16_t date;
  uint32_t crc;
  uint64_t uncompressedSize;  // in the order of the Zip64 extra field
  uint64_t compressedSize;
  uint16_t nameLength;
  uint16_t extraLength;
};

// One member of the current batch, kept from the first pass over the
// directory for the second pass that extracts it.
struct MemberInfo {
  int64_t localOffset;  // as stored; the archive shift is added when used
  uint64_t compressedSize;
  uint32_t crc;
  uint64_t uncompressedSize;  // from the central header: a streamed member's local one is 0
  int32_t host;         // version-made-by host byte, at most 18
  uint8_t attributes;   // DOS attributes, archive bit always set
  bool encrypted;
  bool hasDescriptor;
  bool volumeLabel;
};

// What the extra field of the header just read says of a solid block: the
// block it belongs to (its first member's local offset, as stored) and where
// the member's data begin in the block's uncompressed stream.
struct SolidRecord {
  bool present;  // a record of a version this engine reads
  uint8_t filter;  // 0: the stream is the data as they are
  uint64_t headOffset;
  uint64_t offsetInBlock;
};

// Why the rest of a solid block cannot be had.
enum SolidLoss : uint8_t {
  kSolidSound,
  kSolidDamaged,      // its stream failed, or a member of it was lost
  kSolidNoMemory,     // the dictionary could not be had
  kSolidUnsupported,  // a transform of the stream the engine does not undo
};

// The solid block being read: its decoder is state->lzma, whose dictionary
// is held from the block's first member to its last.
struct SolidBlock {
  bool open;
  SolidLoss loss;
  uint64_t headOffset;     // the block's identity
  uint64_t nextOffset;     // where the next member's data begin in the stream
  int64_t inputPosition;   // file position of the stream's next unread byte
  int64_t inputLeft;       // the stream's bytes from there on
};

// What the extra field of the header just read says of an AES-encrypted
// member (method 99): the format's version (1 keeps the CRC, 2 stores none),
// the key length and the method its data are compressed with.
struct AesRecord {
  bool present;  // a record this engine reads: vendor "AE", version 1 or 2, a known key length
  uint8_t version;
  AesKeyLength keyLength;
  uint16_t method;
};

// The AES-encrypted member being read. The member input authenticates each
// block as it comes, then deciphers it in place; the code stored after the
// data is compared once they have all come.
struct AesMember {
  bool used;              // the current member is AES-encrypted (its local header says so)
  bool active;            // its keys are set: the member input deciphers
  bool keepsCrc;          // version 1: the CRC of the plain data is checked too
  AesKeyLength keyLength;
  int64_t codePosition;   // file position of the stored authentication code
  AesCtr cipher;
  HmacSha1 authentication;
};

// General-purpose flag bit 11: the name (and comment) are UTF-8.
const uint16_t kFlagUtf8Name = 0x0800;

enum FieldKind : int32_t {
  kFieldSkip = 0,
  kFieldName = 2,
  kFieldExtra = 3,
};

struct EngineState {
  RunOutcome outcome;  // what the run means for the installation so far
  const EngineUi* ui;  // the caller's services: lines, prompts, progress, cancel

  // The archive and its buffered input.
  const char* archivePath;
  FileBox* archiveFile;
  int64_t archiveLength;
  uint8_t* inputBuffer;  // kInputBlockSize + kHoldSize bytes, owned
  int64_t blockStart;    // file position of inputBuffer[0]
  ByteCursor input;      // read pointer and unread count; unread < 0 means empty

  // The directory. Offsets and sizes from the archive are untrusted: every
  // sum of them is formed in 64 bits, so that no hostile value can wrap a
  // position round into a plausible one; SeekArchive then checks the range.
  int64_t archiveShift;  // bytes in front of the archive, added to every offset
  int64_t savedShift;    // a shift put aside by the local-header retry
  int64_t endRecordPosition;
  // Where the directory ends in the file: the end record, or the Zip64 end
  // record in front of it.
  int64_t directoryEndPosition;
  int64_t expectedEndPosition;
  EndRecord endRecord;
  CentralHeader centralHeader;
  LocalHeader localHeader;
  MemberInfo members[kBatchSize];
  int32_t currentMember;  // index into members, always below kBatchSize
  int32_t batchNumber;
  char name[kNameSize];
  bool nameCut;           // the last name read was longer than 259 bytes
  // The last name read is UTF-8 and kept so (NT family): its paths go
  // through the wide file calls.
  bool nameIsUtf8;
  // The last name read is UTF-8 and the ANSI code page cannot hold it (9x
  // family); the name shows '?' for what is missing.
  bool nameNotInCodePage;
  uint16_t nameFlags;     // general-purpose flags of the header whose name is read next
  char displayName[kNameSize * 2];  // a UTF-8 path in the ANSI code page, for lines
  uint32_t nameCrc;       // CRC-32 of the last name's bytes as the header holds them
  uint8_t* extraField;    // the last extra field read, owned
  int32_t extraLength;
  uint32_t centralSignature;
  uint32_t localSignature;
  uint32_t endSignature;
  uint32_t zip64EndSignature;
  uint32_t zip64LocatorSignature;
  bool firstEncryptedPending;
  const uint32_t* crcTable;

  // The member being extracted.
  int64_t budget;  // compressed bytes still to read (beyond the buffer while deferred)
  uint64_t uncompressedSize;
  const uint8_t* deferredPointer;
  int32_t deferredCount;
  int32_t copyPosition;
  FileBox* outputFile;
  uint32_t runningCrc;
  int32_t diskFullState;  // 0, or 2 after a failed write
  // Where the member's data are written: its own path, or a temporary file
  // beside an existing file that the member replaces.
  char outputPath[kNameSize];
  bool replacing;               // name exists and is to be replaced
  bool createdAhead;            // outputFile was created while the name was checked
  uint32_t replacedAttributes;  // the existing file's attributes, put back when it stays
  uint64_t outputWritten;  // bytes of the member produced so far
  bool outputOverrun;      // the member produced more than its directory entry declares
  // The member is decoded only to keep its solid block in step: its bytes
  // are counted, never written.
  bool discardOutput;

  SolidRecord solidRecord;
  SolidBlock solid;

  // Building the output path of a member (name_mapping.cpp).
  int32_t nameLength;  // of the name when the mapping began
  char* firstPath;     // every component so far, owned, nameLength + 1 bytes
  char* secondPath;    // the components the platform accepts: the path used
  char* firstEnd;
  char* secondEnd;
  bool folderCreated;  // a folder was created while mapping this name
  // The deepest folder path (with its final '/') this run last found or
  // made: members that follow in the same folders skip the check.
  char knownFolder[kNameSize];
  bool rootPrefix;     // a typed new name starts at a root ("/", "D:")
  bool typedName;      // the name mapped was typed at the rename prompt
  int32_t labelDrive;  // 1 for a: of a volume label

  // Decryption (decrypt.cpp, member_aes.cpp).
  char* keyCopy;  // kKeyCopySize bytes, owned; null until a member needs it
  uint32_t keys[3];
  AesRecord aesRecord;
  AesMember aes;
  // The member's data go to a temporary name beside its own, which the file
  // takes only once the data are authenticated.
  bool throughTemporary;

  InflateState inflate;
  // The LZMA decoder's state; its dictionary and probabilities are
  // allocated for each LZMA member and released when it ends, or held for
  // a whole solid block.
  LzmaState lzma;
  uint8_t window[kDeflate64WindowSize];
};

// Writes the five record signatures into the state: central header, local
// header, end record, Zip64 end record and its locator.
void buildSignatures(EngineState* state);
// "PK" and the two-byte tail with this index: 1 central header, 2 local
// header, 3 end record, 4 Zip64 end record, 5 its locator. Built at run time so that the program's image never
// holds a whole signature, which the end-record search could find in the
// executable part of the file in front of a short archive.
uint32_t zipSignature(int kind);

// Little-endian fields, assembled byte by byte.
inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
// A 64-bit size, offset or count from the archive. No file holds 2^60
// bytes: a larger value is damage, and is held at 2^60 so that the sum of
// two such values, and that plus a file position, stays a positive int64.
inline uint64_t readLe64(const uint8_t* p) {
  uint32_t high = readLe32(p + 4);
  if (high >= 0x10000000u) return static_cast<uint64_t>(1) << 60;
  return (static_cast<uint64_t>(high) << 32) | readLe32(p);
}
