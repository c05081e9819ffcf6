// Localisation of the dialogs: every dialog procedure hands each message here
// first. The dialogs are built from English templates; a messages block may
// translate their caption and control texts, scale them (translations are
// often longer than the English) and mirror them for right-to-left languages.
//
// Mirroring must be decided before the controls exist, so it is done on
// WM_SETFONT, which the dialog manager sends to the new dialog before it
// creates the controls. Texts and sizes are done on WM_INITDIALOG, once every
// control exists and before the dialog is shown.
//
// The scaling works on pixel rectangles measured once, before the dialog is
// resized, with plain integer arithmetic (product first, then a division that
// truncates), so that a given block lays a dialog out the same way each time.
// In a mirrored dialog a control's x position counts from the right edge, so
// its distance is measured from the right there, and from the right edge of
// the resized dialog, which the controls follow; measured from the left, a
// block with both entries would flip the controls back and push the ones
// near the right edge out of the dialog.

#include "ui/messages.h"

#include "support/strings.h"

namespace {

const int kTextBufferSize = 1024;
const int kSizeEntryBufferSize = 512;
const int kMaxChildren = 512;
const int kPercent = 100;
// A scale beyond a hundredfold is no layout; the bound keeps every product
// of a coordinate and a factor far inside 32 bits.
const int32_t kMaxScale = 10000;

// ---------------------------------------------------------------------------
// Scale factors
// ---------------------------------------------------------------------------

// The decimal digits at the start of text (no sign, no blanks); 0 without.
int32_t LeadingNumber(const char* text) {
  int32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > kMaxScale) value = kMaxScale;
  }
  return value;
}

// The size entry of a dialog is "W*H", percentages; without a star the
// dialog keeps its size.
void ReadScaleFactors(const char* dialogName, int32_t* width, int32_t* height) {
  char value[kSizeEntryBufferSize];
  TranslateText("", value, sizeof(value), dialogName, "$");
  const char* star = findChar(value, '*');
  if (star == nullptr) {
    *width = kPercent;
    *height = kPercent;
    return;
  }
  *width = LeadingNumber(value);
  *height = LeadingNumber(star + 1);
}

// ---------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------

void TranslateWindowText(HWND window, const char* dialogName, bool evenWhenEmpty) {
  char text[kTextBufferSize];
  text[0] = '\0';
  GetWindowTextA(window, text, sizeof(text));
  if (text[0] == '\0' && !evenWhenEmpty) return;
  TranslateText(text, text, sizeof(text), dialogName, "$");
  SetWindowTextA(window, text);
}

// ---------------------------------------------------------------------------
// Message handlers
// ---------------------------------------------------------------------------

void MirrorDialog(HWND dialog) {
  if (!messagesBlock.rightToLeft) return;
  LONG style = GetWindowLongA(dialog, GWL_EXSTYLE);
  SetWindowLongA(dialog, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
}

void LocalizeNewDialog(HWND dialog, const char* dialogName) {
  int32_t scaleX = kPercent;
  int32_t scaleY = kPercent;
  ReadScaleFactors(dialogName, &scaleX, &scaleY);
  bool scaling = scaleX != kPercent || scaleY != kPercent;

  RECT dialogRect;
  RECT clientRect;
  GetWindowRect(dialog, &dialogRect);
  GetClientRect(dialog, &clientRect);
  int32_t frameWidth = (dialogRect.right - dialogRect.left + 1) - clientRect.right;
  int32_t frameHeight = (dialogRect.bottom - dialogRect.top + 1) - clientRect.bottom;

  if (scaling) {
    SetWindowPos(dialog, nullptr, 0, 0, clientRect.right * scaleX / kPercent + frameWidth,
                 clientRect.bottom * scaleY / kPercent + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);
  }

  TranslateWindowText(dialog, dialogName, true);

  bool mirrored = (GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  RECT resizedRect;
  GetWindowRect(dialog, &resizedRect);
  int32_t topOffset = frameHeight - GetSystemMetrics(SM_CYDLGFRAME);
  HWND first = GetWindow(dialog, GW_CHILD);
  HWND child = first;
  for (int count = 0; child != nullptr && count < kMaxChildren; ++count) {
    TranslateWindowText(child, dialogName, false);
    if (scaling) {
      RECT r;
      GetWindowRect(child, &r);
      int32_t fromEdge = mirrored ? resizedRect.right - r.right : r.left - dialogRect.left;
      int32_t x = (fromEdge - frameWidth / 2) * scaleX / kPercent;
      int32_t y = (r.top - dialogRect.top - topOffset) * scaleY / kPercent;
      int32_t width = (r.right - r.left + 1) * scaleX / kPercent;
      int32_t height = (r.bottom - r.top + 1) * scaleY / kPercent;
      SetWindowPos(child, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
    child = GetWindow(child, GW_HWNDNEXT);
    if (child == first) break;
  }
}

}  // namespace

void LocalizeDialog(HWND dialog, UINT message, const char* dialogName) {
  if (message == WM_SETFONT) {
    MirrorDialog(dialog);
  } else if (message == WM_INITDIALOG) {
    LocalizeNewDialog(dialog, dialogName);
  }
}
