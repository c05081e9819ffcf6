// Joining Deflate streams made apart into one (RFC 1951). libdeflate
// compresses whole buffers only, and marks the last block of each as final;
// a member too large to hold in memory is compressed in pieces, each piece
// is turned into a non-final run of blocks that ends on a byte boundary, and
// the pieces follow one another in the member.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Clears the final flag of the stream's last block and appends an empty
// Stored block, which ends it on a byte boundary, so that another stream
// may follow. False when the bytes are not one whole Deflate stream.
bool MakeJoinable(std::vector<uint8_t>* stream);
