// How long a password may be, for the stub and for the packer, which
// refuses a longer one rather than make an installer nobody can open.
#pragma once

// A password of up to 127 characters (bytes in the target code page) and
// its terminator: what the password prompt accepts, and the size of every
// copy of it.
const int kPasswordSize = 128;
