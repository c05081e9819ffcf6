// Puts a run back to its state at process start.
#pragma once

// Clears the whole run state: `sfx` with its remembered answers (Yes to All,
// No to All) and password, and the extraction engine's record. Owned texts
// are not released (their owners do that); a password is wiped, not just
// forgotten. For the tests, which run many runs in one process, and for any
// caller that starts a run afresh.
void ResetRunState();
