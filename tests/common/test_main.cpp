// The main function of every test executable: GoogleTest's own, with one
// wait before the tests that keeps Wine from crashing the process as it ends.
//
// GoogleTest keeps values per thread (the SCOPED_TRACE stack, the reporter of
// results) and, on Windows, starts a watcher thread for a thread the first
// time one of them is used there. Without the wait below, a test that takes a
// trace or reports a failure starts that thread a moment before the process
// ends. Wine cannot end a process while one of its threads is still being
// set up (the new thread is in its first request to wineserver): the signal
// Wine sends the thread to end it finds no thread state to work with, and the
// whole process dies of SIGSEGV after every test has passed; ctest reports a
// SegFault. So the main thread's watcher is started here, before any test,
// and the main thread waits until the watcher runs: the loader calls this
// executable's TLS callback in every new thread once the thread is set up.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Threads that have started so far, and an event set at each start.
volatile LONG startedThreads = 0;
HANDLE threadStarted = nullptr;

void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID) {
  if (reason != DLL_THREAD_ATTACH) return;
  InterlockedIncrement(&startedThreads);
  if (threadStarted != nullptr) SetEvent(threadStarted);
}

}  // namespace

// The TLS callbacks lie between the runtime's markers .CRT$XLA and .CRT$XLZ;
// the runtime's own take .CRT$XLC and .CRT$XLD.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK zimbroTestThreadCallback =
    OnThreadEvent;

int main(int argc, char** argv) {
  threadStarted = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  const LONG before = InterlockedCompareExchange(&startedThreads, 0, 0);
  testing::InitGoogleTest(&argc, argv);
  // The first trace of this thread starts its watcher (once per thread).
  { testing::ScopedTrace start(__FILE__, __LINE__, "the watcher of the main thread"); }
  while (InterlockedCompareExchange(&startedThreads, 0, 0) == before) WaitForSingleObject(threadStarted, INFINITE);
  return RUN_ALL_TESTS();
}
