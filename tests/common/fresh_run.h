// A fresh run for each test: the tests run many runs in one process, where
// the product runs one.
#pragma once

// Clears the whole run state: `sfx` with its remembered answers (Yes to All,
// No to All) and password. Owned texts are not released (their owners do
// that); a password is wiped, not just forgotten. The extraction engine
// needs no reset: every ExtractArchive makes a fresh state of its own.
void ResetRunState();
