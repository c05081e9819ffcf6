// PLACEHOLDER until the messages block lands: plain string-table loading.
#include "ui/messages.h"

#include "support/strings.h"

MessagesBlock messagesBlock;

void LoadMessagesBlock(const char*) {}
void FreeMessagesBlock() {}

void TranslateText(const char* source, char* destination, int destinationSize, const char*, const char*) {
  if (destination != source) copyTextCut(destination, source, destinationSize);
}

char* MessageText(int id) {
  static char buffers[8][256];
  static int ring = 0;
  ring = (ring + 1) % 8;
  char* buffer = buffers[ring];
  buffer[0] = '\0';
  LoadStringA(GetModuleHandleA(nullptr), id, buffer, 256);
  return buffer;
}

void LocalizeDialog(HWND, UINT, const char*) {}
