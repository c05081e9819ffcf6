#include "common/fresh_run.h"

#include "driver/sfx_state.h"
#include "support/strings.h"
#include "ui/info_lines.h"
#include "ui/info_window.h"

void ResetRunState() {
  fillBytes(&sfx, 0, sizeof(sfx));
  // Member lines gathered for a window of an earlier run never reach this one.
  ForgetInfoLines();
  RestartPumpPace();
}
