#include "common/fresh_run.h"

#include "driver/sfx_state.h"
#include "support/strings.h"

void ResetRunState() {
  fillBytes(&sfx, 0, sizeof(sfx));
}
