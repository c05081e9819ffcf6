#include "driver/sfx_state.h"

SfxState sfx;

void SetExitCode(int32_t value) {
  ExitCodeRecord& record = sfx.exitCode;
  if (value == kExitFolderNotEntered || value == kExitCancelled) {
    // A cancel or an unusable folder never hides a more specific outcome.
    if (record.code == 0) record.code = value;
  } else if (value == kExitFatal) {
    if (record.code == 0 || record.code == kExitFolderNotEntered) record.code = value;
  } else {
    record.code = value;
  }
  record.count += 1;
}

int32_t ExitCodeOf(RunOutcome outcome) {
  switch (outcome) {
    case kRunFilesCorrupt:
      return kExitCrcFailed;
    case kRunFilesNotCreated:
      return kExitCreateFailed;
    case kRunNothingLost:
      break;
  }
  return kExitSuccess;
}

void RecordExtraction(RunOutcome outcome) {
  const int32_t code = ExitCodeOf(outcome);
  if (code != kExitSuccess) SetExitCode(code);
}
