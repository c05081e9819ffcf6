// A text file of the publisher in the stub's code page.
#pragma once

#include <string>

#include "pack/common/code_page.h"
#include "pack/common/findings.h"

// The file (UTF-8, a leading byte order mark dropped) as code-page text with
// CR LF line ends. Characters that the code page cannot hold, bytes that are
// not UTF-8 and NUL bytes are errors on their line.
std::string ConvertTextFile(const std::string& utf8, const CodePage& codePage, Findings* findings);
