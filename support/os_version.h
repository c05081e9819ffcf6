// The one operating-system test: NT family or 9x family. It sits in the
// support library because the file and directory calls choose between their
// wide and ANSI forms by it.
#pragma once

#include <stdint.h>

// The major version of Windows on the NT family, 0 on the 9x family. The
// system is queried once; later calls return the kept value.
int32_t NtMajorVersion();
