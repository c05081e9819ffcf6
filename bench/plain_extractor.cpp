// The plain extractor: the stub's peer on the same system layer. It reads a
// ZIP archive (alone or appended to a program), inflates every member with
// zlib's public API and writes it with CreateFile / WriteFile / SetFileTime
// into the current folder: no window, no prompts, no script. What the stub
// costs beyond it is what its window, its checks and its own decoder cost.
// Usage: plain_extractor ARCHIVE. Exit 0 when every member's CRC matched.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

namespace {

uint32_t read16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t read32(const uint8_t* p) { return read16(p) | read16(p + 2) << 16; }

const uint32_t kEndSignature = 0x06054b50;
const uint32_t kCentralSignature = 0x02014b50;
const uint32_t kLocalSignature = 0x04034b50;

// The end record, searched backwards over the longest comment.
const uint8_t* findEnd(const uint8_t* base, size_t size) {
  if (size < 22) return nullptr;
  const size_t lowest = size > 22 + 65535 ? size - 22 - 65535 : 0;
  for (size_t at = size - 22;; --at) {
    if (read32(base + at) == kEndSignature) return base + at;
    if (at == lowest) return nullptr;
  }
}

// Creates the folders of a path (backslashes), remembering the last one made
// so that members of one folder cost one comparison.
char lastFolder[MAX_PATH * 2];
void makeFolders(char* path) {
  char* slash = strrchr(path, '\\');
  if (slash == nullptr) return;
  *slash = 0;
  if (strcmp(path, lastFolder) != 0) {
    for (char* p = path; *p; ++p) {
      if (*p != '\\') continue;
      *p = 0;
      CreateDirectoryA(path, nullptr);
      *p = '\\';
    }
    CreateDirectoryA(path, nullptr);
    strcpy(lastFolder, path);
  }
  *slash = '\\';
}

uint8_t output[1 << 16];

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: plain_extractor ARCHIVE\n");
    return 2;
  }
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  // The whole archive in one read: the simplest plain way, and faster under
  // Wine than a mapped view, whose every page fault is a round trip.
  const size_t size = GetFileSize(file, nullptr);
  uint8_t* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  DWORD got = 0;
  if (base == nullptr || !ReadFile(file, base, static_cast<DWORD>(size), &got, nullptr) || got != size) return 1;
  CloseHandle(file);
  const uint8_t* end = findEnd(base, size);
  if (end == nullptr) return 1;
  const uint32_t count = read16(end + 10);
  const uint32_t directorySize = read32(end + 12);
  const uint32_t directoryOffset = read32(end + 16);
  // Offsets count from the archive's start, which may lie after a program.
  const size_t shift = static_cast<size_t>(end - base) - directorySize - directoryOffset;

  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return 1;
  int failures = 0;
  const uint8_t* central = base + shift + directoryOffset;
  char name[MAX_PATH * 2];
  for (uint32_t i = 0; i < count; ++i, central += 46 + read16(central + 28) + read16(central + 30) + read16(central + 32)) {
    if (read32(central) != kCentralSignature) return 1;
    const uint32_t method = read16(central + 10);
    const uint32_t dosTime = read16(central + 12), dosDate = read16(central + 14);
    const uint32_t crc = read32(central + 16), packed = read32(central + 20);
    const uint32_t nameLength = read16(central + 28);
    const uint32_t attributes = read32(central + 38) & 0xFF;
    const uint8_t* local = base + shift + read32(central + 42);
    if (read32(local) != kLocalSignature || nameLength >= sizeof name) return 1;
    memcpy(name, central + 46, nameLength);
    name[nameLength] = 0;
    for (char* p = name; *p; ++p) if (*p == '/') *p = '\\';
    if (nameLength != 0 && name[nameLength - 1] == '\\') {
      name[nameLength - 1] = 0;
      strcat(name, "\\x");
      makeFolders(name);
      continue;
    }
    makeFolders(name);
    HANDLE out = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
      ++failures;
      continue;
    }
    const uint8_t* data = local + 30 + read16(local + 26) + read16(local + 28);
    uLong check = crc32(0, nullptr, 0);
    DWORD written;
    if (method == 0) {
      check = crc32(check, data, packed);
      WriteFile(out, data, packed, &written, nullptr);
    } else {
      inflateReset(&z);
      z.next_in = const_cast<Bytef*>(data);
      z.avail_in = packed;
      int status;
      do {
        z.next_out = output;
        z.avail_out = sizeof output;
        status = inflate(&z, Z_NO_FLUSH);
        const uInt n = static_cast<uInt>(sizeof output - z.avail_out);
        check = crc32(check, output, n);
        WriteFile(out, output, n, &written, nullptr);
      } while (status == Z_OK);
      if (status != Z_STREAM_END) ++failures;
    }
    FILETIME local_time, utc;
    DosDateTimeToFileTime(static_cast<WORD>(dosDate), static_cast<WORD>(dosTime), &local_time);
    LocalFileTimeToFileTime(&local_time, &utc);
    SetFileTime(out, nullptr, nullptr, &utc);
    CloseHandle(out);
    if ((attributes & 0x07) != 0) SetFileAttributesA(name, attributes & 0x27);
    if (check != crc) ++failures;
  }
  inflateEnd(&z);
  return failures == 0 ? 0 : 1;
}
