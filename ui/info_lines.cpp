// Member lines on their way into the information window.
//
// An archive of thousands of small members used to pay for one layout and
// repaint of the rich edit control per member, and the control kept every
// line: its paragraph records cost about 7 KB each, so the run's memory grew
// with the member count (59 MB for 5,000 members against 24 MB for one).
// Two changes keep the report as the user reads it while making its cost
// flat:
//
//   - Plain lines are gathered and written in one replacement when the
//     batch has waited kLineBatchInterval, when it is full, and before
//     anything that must follow them on the screen (an error line, a prompt,
//     the end of the extraction, a fatal stop). Every line still reaches the
//     window, in order; the run log gets each line at once, before this.
//   - Once more than kCutMemberLines plain lines follow the last error
//     line, the oldest of them are cut, at batch boundaries, down to about
//     kKeptMemberLines. Error lines, and every line before the last of them,
//     are never cut: whatever went wrong stays on the screen until Close.
//   - While the start dialog is hidden (a silent run shows it only at the
//     end, and only when something went wrong), nobody can read a line
//     before the next forced write, so none is written on time: the lines
//     wait in the batch, and a full batch drops its oldest lines down to
//     kKeptMemberLines, the ones the cut would take from the control before
//     it is ever shown. Writing a line into the rich edit control costs tens
//     of microseconds under some system layers, about as much as creating
//     the member's file.
//
// Positions are the control's own, read back after each batch (EM_GETSEL),
// so they agree with EM_SETSEL whatever a line end counts in this version
// of the control (one character or two).
#include "ui/info_lines.h"

#include "support/strings.h"
#include "ui/resource_ids.h"
#include "ui/run_view.h"
#include "ui/start_controls.h"

namespace {

// Holds a few hundred member lines: enough for a batch of 40 ms.
const uint32_t kBatchBytes = 16 * 1024;
// Beyond any text the control can hold: selects the end.
const LPARAM kPastTheEnd = 100000000;
// The longest line a caller formats; a longer one is cut.
const uint32_t kLongestLine = 1024;
static_assert(kBatchBytes >= kLongestLine + 3, "a batch holds at least one line with its line end");

// The end of one written batch: the control position after it, and the
// plain lines written since the cut point up to there.
struct BatchEnd {
  DWORD position;
  uint32_t lines;
};

// Each batch holds at least one line, so the cuttable lines bound the
// batch ends; the last one is overwritten when more batches come.
const uint32_t kBatchEnds = kCutMemberLines + 1;

struct InfoLines {
  char batch[kBatchBytes + 1];
  uint32_t batchLength;
  uint32_t batchLines;
  DWORD lastWrite;  // GetTickCount at the last batch written
  // Where the cuttable lines begin: after the last error line, or the start.
  DWORD cutFrom;
  uint32_t cuttableLines;
  BatchEnd ends[kBatchEnds];
  uint32_t endCount;
};

// The one report of the process; zeroed at load, no constructor.
InfoLines lines;

HWND infoControl() { return StartDialogControl(IDC_START_TEXT); }

// The start dialog is there but cannot be seen: its lines can wait.
bool dialogHidden() {
  HWND window = RunWindow();
  return window != nullptr && !IsWindowVisible(window);
}

// Drops the oldest lines of the batch so that it keeps its newest
// kKeptMemberLines; true when that leaves room for `needed` more bytes.
bool dropOldestBatchLines(uint32_t needed) {
  if (lines.batchLines <= kKeptMemberLines) return false;
  // Every queued line ends in the "\r\n" added here; counted from the
  // end, the kKeptMemberLines-th line end from the last marks the cut.
  uint32_t ends = 0;
  uint32_t from = lines.batchLength;
  for (uint32_t i = lines.batchLength - 1; i > 0; --i) {
    if (lines.batch[i] != '\n' || lines.batch[i - 1] != '\r') continue;
    if (ends++ == kKeptMemberLines) {
      from = i + 1;
      break;
    }
  }
  if (from == lines.batchLength) return false;
  const uint32_t kept = lines.batchLength - from;
  for (uint32_t i = 0; i < kept; ++i) lines.batch[i] = lines.batch[from + i];
  lines.batchLength = kept;
  lines.batchLines = kKeptMemberLines;
  return lines.batchLength + needed <= kBatchBytes;
}

DWORD controlEnd(HWND control) {
  SendMessageA(control, EM_SETSEL, kPastTheEnd, kPastTheEnd);
  DWORD start = 0, end = 0;
  SendMessageA(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return end;
}

// Cuts the oldest lines after the cut point down to about kKeptMemberLines,
// at the last batch end that leaves at least that many.
void cutOldLines(HWND control) {
  uint32_t chosen = kBatchEnds;
  for (uint32_t i = 0; i < lines.endCount; ++i) {
    if (lines.cuttableLines - lines.ends[i].lines >= kKeptMemberLines) chosen = i;
  }
  if (chosen == kBatchEnds) return;
  const BatchEnd cut = lines.ends[chosen];
  SendMessageA(control, EM_SETSEL, lines.cutFrom, cut.position);
  SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
  const DWORD removed = cut.position - lines.cutFrom;
  uint32_t kept = 0;
  for (uint32_t i = chosen + 1; i < lines.endCount; ++i) {
    lines.ends[kept].position = lines.ends[i].position - removed;
    lines.ends[kept].lines = lines.ends[i].lines - cut.lines;
    kept += 1;
  }
  lines.endCount = kept;
  lines.cuttableLines -= cut.lines;
  SendMessageA(control, EM_SETSEL, kPastTheEnd, kPastTheEnd);
  SendMessageA(control, EM_SCROLLCARET, 0, 0);
}

void noteBatchEnd(HWND control, uint32_t batchLines) {
  lines.cuttableLines += batchLines;
  const BatchEnd end = {controlEnd(control), lines.cuttableLines};
  if (lines.endCount == kBatchEnds) lines.endCount -= 1;
  lines.ends[lines.endCount++] = end;
  if (lines.cuttableLines > kCutMemberLines) cutOldLines(control);
}

}  // namespace

// The control's default look for plain text, at its end (info_window.cpp).
void SelectEndInPlainLook(HWND control);

void QueueInfoLine(const char* text) {
  const uint32_t length = static_cast<uint32_t>(textLength(text));
  const uint32_t take = length < kLongestLine ? length : kLongestLine;
  if (lines.batchLength + take + 2 > kBatchBytes && !(dialogHidden() && dropOldestBatchLines(take + 2))) {
    FlushInfoLines();
  }
  if (lines.batchLength == 0 && lines.batchLines == 0) {
    // A batch waits from its first line on, not from the last write: lines
    // that trickle in show within one interval.
    lines.lastWrite = GetTickCount();
  }
  copyBytes(lines.batch + lines.batchLength, text, take);
  lines.batchLength += take;
  lines.batch[lines.batchLength++] = '\r';
  lines.batch[lines.batchLength++] = '\n';
  lines.batchLines += 1;
}

bool InfoLinesDue() {
  return lines.batchLines != 0 && GetTickCount() - lines.lastWrite >= kLineBatchInterval && !dialogHidden();
}

void FlushInfoLines() {
  if (lines.batchLines == 0) return;
  // Lines that waited in a hidden dialog: those beyond what the control
  // keeps would be written only to be cut.
  if (dialogHidden()) dropOldestBatchLines(0);
  lines.batch[lines.batchLength] = '\0';
  const uint32_t written = lines.batchLines;
  lines.batchLength = 0;
  lines.batchLines = 0;
  HWND control = infoControl();
  // Without the start dialog there is nowhere to write.
  if (control == nullptr) return;
  SelectEndInPlainLook(control);
  SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(lines.batch));
  noteBatchEnd(control, written);
}

void KeepInfoLinesSoFar(HWND control) {
  lines.cutFrom = controlEnd(control);
  lines.cuttableLines = 0;
  lines.endCount = 0;
}

void ForgetInfoLines() {
  lines.batchLength = 0;
  lines.batchLines = 0;
  lines.cutFrom = 0;
  lines.cuttableLines = 0;
  lines.endCount = 0;
}
