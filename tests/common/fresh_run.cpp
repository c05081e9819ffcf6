#include "common/fresh_run.h"

#include "driver/sfx_state.h"
#include "support/strings.h"
#include "zip/engine_state.h"

void ResetRunState() {
  fillBytes(&sfx, 0, sizeof(sfx));
  fillBytes(&engine, 0, sizeof(engine));
}
