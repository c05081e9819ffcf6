#include "driver/layer_hooks.h"

#include "driver/sfx_state.h"
#include "support/file_object.h"
#include "ui/info_window.h"
#include "ui/message_ids.h"
#include "ui/messages.h"
#include "ui/prompts.h"
#include "zip/engine_state.h"
#include "zip/engine_ui.h"

// The engine's answers are the prompt's letters, passed on unchanged.
static_assert(char{kAnswerReplace} == char{kDecisionReplace} && char{kAnswerSkip} == char{kDecisionSkip} &&
                  char{kAnswerRename} == char{kDecisionRename} && char{kAnswerCancel} == char{kDecisionCancel},
              "the engine and the replace prompt must agree on the answers");
static_assert(kNewNameSize == kNameSize, "a typed new name must fit the member name buffer");

// ---------------------------------------------------------------------------
// The file layer's fatal path
// ---------------------------------------------------------------------------

static void reportFileFailure(FileFailure failure, const char* fileName) {
  // The seek error has no text of its own (message 516): its line appears
  // only when a messages block translates the empty text.
  int id = failure == kFailedRead ? kMsgReadError : failure == kFailedClose ? kMsgCloseError : kMsgSeekError;
  ReportFileError(MessageText(id), fileName);
}

static void recordExitCode(int32_t code) { SetExitCode(code); }

// Constant data, as the engine's table below.
static const FatalHooks fatalServices = {reportFileFailure, recordExitCode, FatalStopWait};

const FatalHooks& FatalServices() { return fatalServices; }

// ---------------------------------------------------------------------------
// The engine's user interface
// ---------------------------------------------------------------------------

static void engineErrorLine(int messageId, const char* argument) {
  if (messageId == kPlainLine) {
    ErrorPrint("%s", argument != nullptr ? argument : "");
  } else {
    ErrorPrint(MessageText(messageId), argument);
  }
}

static bool askPassword(char* out, int outSize, const char* memberName) {
  return AskPassword(out, outSize, memberName);
}

static bool stopRequested() { return sfx.runState != kRunning; }

// Constant data: the addresses are known when the program is linked, so the
// table needs no constructor.
static const EngineUi engineServices = {ReportMember, engineErrorLine, SetProgress,  PumpWhileWorking,
                                        AskOverwrite, askPassword,     stopRequested};

const EngineUi& EngineServices() { return engineServices; }

namespace {

struct Service {
  const char* name;
  bool set;
};

// The name of the first service that is not set, or null.
template <size_t count>
const char* firstMissing(const Service (&services)[count]) {
  for (const Service& service : services) {
    if (!service.set) return service.name;
  }
  return nullptr;
}

}  // namespace

const char* MissingEngineService(const EngineUi& ui) {
  const Service services[] = {
      {"EngineUi.reportMember", ui.reportMember != nullptr},
      {"EngineUi.errorLine", ui.errorLine != nullptr},
      {"EngineUi.progress", ui.progress != nullptr},
      {"EngineUi.pumpMessage", ui.pumpMessage != nullptr},
      {"EngineUi.askOverwrite", ui.askOverwrite != nullptr},
      {"EngineUi.askPassword", ui.askPassword != nullptr},
      {"EngineUi.stopRequested", ui.stopRequested != nullptr},
  };
  return firstMissing(services);
}

const char* MissingLayerHook() {
  const Service services[] = {
      {"FatalHooks.reportFailure", fatalServices.reportFailure != nullptr},
      {"FatalHooks.recordExitCode", fatalServices.recordExitCode != nullptr},
      {"FatalHooks.waitForStop", fatalServices.waitForStop != nullptr},
  };
  const char* missing = firstMissing(services);
  return missing != nullptr ? missing : MissingEngineService(EngineServices());
}
