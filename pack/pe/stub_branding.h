// The publisher's marks on its copy of the stub: the program's icon (every
// size of the icon file), version information (what Explorer's Details tab
// and inventory tools read) and the execution level in the manifest.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

struct Branding {
  std::string iconPath;                                         // a .ico file, or empty
  std::vector<std::pair<std::string, std::string>> versionInfo;  // key, UTF-8 value
  std::string executionLevel;                                   // asInvoker, highestAvailable, requireAdministrator
  bool empty() const { return iconPath.empty() && versionInfo.empty() && executionLevel.empty(); }
};

// The keys --version-info takes; FileVersion and ProductVersion also give
// the numeric versions ("1.2.3.4", missing parts 0).
extern const char* const kVersionInfoKeys[6];
extern const char* const kExecutionLevels[3];

// Throws UsageError for a key or level that is not one of the above.
void CheckBrandingOptions(const Branding& branding);

// The stub with its resources changed; throws PackError naming the file at
// fault (the icon file, or the stub).
std::vector<uint8_t> BrandStub(const std::vector<uint8_t>& stub, const Branding& branding, const std::string& stubPath);

// "1.2.3.4" as the two 32-bit halves of a version; false when the text does
// not begin with a number.
bool ParseVersionNumbers(const std::string& text, uint32_t* high, uint32_t* low);

// What a program's resources say of its branding, as --list shows it.
struct BrandingFound {
  std::vector<std::pair<std::string, std::string>> versionInfo;  // the strings, UTF-8
  std::string fileVersion, productVersion;                       // the numeric versions, "1.2.3.4"
  std::string executionLevel;                                    // empty when the manifest names none
  std::vector<std::string> iconSizes;                            // "32x32, 32 bits" per image of the first group
};
BrandingFound ReadBranding(const std::vector<uint8_t>& program, const std::string& path);
