// The few C and C++ runtime symbols that the compiler may emit calls to,
// and the stack protector's guard with its seeding at entry. The stub links
// no runtime library, so it provides them itself; the tests link the normal
// runtime and never see this file.
#include "support/stub_runtime.h"

#include <stddef.h>
#include <windows.h>

#include "support/file_object.h"
#include "support/portable/heap.h"

extern "C" {

void* memset(void* destination, int value, size_t count) {
  unsigned char* d = static_cast<unsigned char*>(destination);
  while (count-- != 0) *d++ = static_cast<unsigned char>(value);
  return destination;
}

void* memcpy(void* destination, const void* source, size_t count) {
  unsigned char* d = static_cast<unsigned char*>(destination);
  const unsigned char* s = static_cast<const unsigned char*>(source);
  while (count-- != 0) *d++ = *s++;
  return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
  unsigned char* d = static_cast<unsigned char*>(destination);
  const unsigned char* s = static_cast<const unsigned char*>(source);
  if (d < s) {
    while (count-- != 0) *d++ = *s++;
  } else {
    while (count-- != 0) d[count] = s[count];
  }
  return destination;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; count != 0; --count, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

// A pure virtual call cannot happen in correct code; end quietly if it does.
void __cxa_pure_virtual() { exitProcess(2); }

// The stack protector (-fstack-protector-strong): every function with an
// array, or a local whose address is taken, keeps a copy of this guard
// between its locals and its return address and compares it before it
// returns. An overrun that reached the return address has changed the copy.
// The value below holds only until SeedStackGuard replaces it at entry.
uintptr_t __stack_chk_guard = static_cast<uintptr_t>(0x5A3C96E1D2B4780Full);

// A changed copy: the return address may be an attacker's. The process ends
// here, at once: no exception handler, no DLL notification, nothing more of
// the program runs.
[[noreturn]] void __stack_chk_fail() {
  TerminateProcess(GetCurrentProcess(), kFatalExitCode);
  __builtin_trap();  // TerminateProcess does not return for the own process
}

}  // extern "C"

extern "C" IMAGE_DOS_HEADER __ImageBase;

// One step of a 64-bit mixing function (the finaliser of splitmix64): every
// bit of the input reaches every bit of the state.
static uint64_t MixIn(uint64_t state, uint64_t value) {
  state = (state ^ value) * 0x9E3779B97F4A7C15ull;
  return state ^ (state >> 31);
}

// What differs from run to run, read through kernel32 alone: where ASLR put
// the stack and the image, the process and thread ids, the tick count, the
// performance counter (where the machine has one) and the clock. No single
// source is secret, but together they are not known in advance to an
// attacker who plans an overrun.
void SeedStackGuard() {
  LARGE_INTEGER counter;
  counter.QuadPart = 0;
  QueryPerformanceCounter(&counter);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t state = MixIn(0, reinterpret_cast<uintptr_t>(&counter));
  state = MixIn(state, reinterpret_cast<uintptr_t>(&__ImageBase));
  state = MixIn(state, (static_cast<uint64_t>(GetCurrentProcessId()) << 32) | GetCurrentThreadId());
  state = MixIn(state, GetTickCount());
  state = MixIn(state, static_cast<uint64_t>(counter.QuadPart));
  state = MixIn(state, (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  __stack_chk_guard = static_cast<uintptr_t>(state ^ (state >> 32));
}

// Class objects live in blocks of the process heap.
void* operator new(size_t bytes) { return allocate(bytes); }
void* operator new[](size_t bytes) { return allocate(bytes); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, size_t) noexcept { release(block); }
void operator delete[](void* block, size_t) noexcept { release(block); }
