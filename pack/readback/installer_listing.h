// --list: what an installer holds, read as the stub reads it: the program in
// front, a messages block (found by the stub's own scan), the archive with
// its shift, the script, and every member. Works on installers made by hand
// (stub, block and a zip archive joined with cat) too.
#pragma once

#include <string>

#include "pack/common/code_page.h"

std::string ListInstaller(const std::string& path, const CodePage& codePage);
