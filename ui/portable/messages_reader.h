// The messages block as it lies in the stub's file, read by the rules that
// the stub (ui/messages.cpp) and the packer's --list and --messages both
// compile from this file: where the block is recognised, how its escapes
// and line ends are undone, and what an entry line is. Portable: no system
// calls, no runtime library; the file is read through the caller's reader.
#pragma once

#include <stdint.h>

const int kMessagesMarkerLength = 13;
const int kMessagesBlockMaxSize = 65536;
const char kMessagesLineSeparator = 0x0C;  // what raw CR and LF become
// An entry on the last line of a block keeps at most this many characters.
const int kLastLineValueLimit = 255;

// Reads count bytes at position into buffer; the number read (0 or fewer
// on failure).
typedef int32_t (*ReadAtFunction)(void* context, int64_t position, void* buffer, int32_t count);

// Where the program's image ends in the file: the end of its headers, of
// its sections' data and of an appended signature, whichever is last (as
// the packer counts it when it places the block). 0 for a file that is not
// a Windows program (a bare block); -1 for a damaged one.
int64_t ProgramImageEnd(ReadAtFunction read, void* context);

// Whether the 13 bytes at bytes are the block's marker.
bool IsMessagesMarker(const unsigned char* bytes);

// The file position of the block: right after the image, or -1. Found
// anywhere else (inside a Stored member's data, say) the marker is data.
int64_t FindMessagesBlock(ReadAtFunction read, void* context);

// Resolves the escapes (\n \r \t \" \\) of the count bytes read and turns
// raw line ends into kMessagesLineSeparator, stopping at the first zero
// byte; text[result] becomes 0. source, when not null, receives for every
// byte of the result the index of the byte it came from. In place.
int32_t UnescapeBlock(char* text, int32_t count, int32_t* source);

// One entry line of an unescaped block.
struct BlockEntryText {
  const char* key;    // eight characters
  const char* value;  // after the '=' and the double quote
  int32_t extent;     // the value's length as the stub copies it (see the .cpp)
  bool closed;        // a closing double quote was found
};

// From line (a line start) to end: the next entry line's fields in *entry
// and the start of the line after it; null when no entry line is left.
const char* NextBlockEntry(const char* line, const char* end, BlockEntryText* entry);
