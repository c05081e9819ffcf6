// Where the stub looks for what it reads from the end of its own file: the
// archive's end record and the script (the archive comment). The stub and
// the packer's --list and --test compile this same file, so the packer shows
// the script and the archive the stub will find, and none where it finds
// none. Portable: no system calls, no runtime library. The end-record
// signature is passed in by the caller, because the stub keeps none of the
// ZIP signatures in its image in one piece.
#pragma once

#include <stdint.h>

// The end record's fixed part; its comment follows.
const int32_t kSearchEndRecordSize = 22;
// The script is looked for in this many bytes at the end of the file only,
// read at once before anything else runs.
const int32_t kScriptSearchLength = 32768;
// The end record is looked for in at least this many bytes at the end of
// the file (the largest comment and the record), read in blocks.
const int32_t kEndRecordSearchLength = 66000;
const int32_t kSearchBlockSize = 8192;

// How many bytes at the start of the file SignedDataEnd needs: the DOS
// header, the PE headers and the data directories.
const int32_t kSignatureHeadLength = 1024;

// Where the searches from the end start: a signed installer's certificate
// table follows its archive, and the security directory names it. When
// the first n bytes of the file (a program's headers) name a table that
// ends the file, its start is the end of the data every search reads: end
// record, script and archive are found exactly as before the signing.
// Otherwise the file's size.
int64_t SignedDataEnd(const uint8_t* head, int32_t n, int64_t fileSize);

// A certificate table starts on an eight-byte boundary: a signer pads the
// file with up to seven zero bytes before it. The script search of a signed
// file reaches that much further back, so that the largest script still
// lies wholly inside it.
const int32_t kSignaturePadding = 8;
// The longest the script search reads.
const int32_t kScriptSearchMost = kScriptSearchLength + kSignaturePadding;

// The first file position the script search reads, which ends at dataEnd
// (SignedDataEnd) in a file of fileSize bytes.
int64_t ScriptSearchStart(int64_t dataEnd, int64_t fileSize);

// The script in the n bytes read from ScriptSearchStart: the comment of the
// last end record whose comment is not empty (an empty one does not end the
// search: a stray signature in the last member's data must not hide the
// real comment further back), cut to the bytes read. Position 0 is not
// examined. False when there is none.
bool FindScriptComment(const uint8_t* bytes, int32_t n, uint32_t endSignature, int32_t* offset,
                       int32_t* length);

// The blocks of kSearchBlockSize the end-record search reads before the
// last, partial block (tail bytes) of a file whose search covers
// searchLength bytes.
int32_t EndSearchBlocks(int32_t searchLength, int32_t tail);
// How many bytes at the end of a file of fileLength bytes the search covers
// at least.
int32_t EndSearchLength(int64_t fileLength);

// Backwards from index from down to 0: the first index at which the four
// bytes equal signature (little-endian), or -1. bytes must hold three bytes
// beyond from.
int32_t FindSignatureBackwards(const uint8_t* bytes, int32_t from, uint32_t signature);

// The file positions at which the end-record search can find the
// signature, first to last; false for a file shorter than a record.
bool EndRecordSearchRange(int64_t fileLength, int64_t* first, int64_t* last);
