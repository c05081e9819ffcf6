// The one operating-system test: NT family or 9x family.
#pragma once

#include <stdint.h>

// The major version of Windows on the NT family, 0 on the 9x family. The
// system is queried once; later calls return the kept value.
int32_t NtMajorVersion();
