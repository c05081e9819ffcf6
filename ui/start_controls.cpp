// Looking up a dialog control asks the window manager for the dialog's
// children: a trip to another process under some system layers, which an
// archive of thousands of small members paid several times per member (its
// line, the progress bar). The last control found for each id is kept and
// used again while it is still a live child of the same dialog under that
// id; those checks read the window's own record, without the trip. A
// control that is replaced (the information window's rich edit takes the
// plain edit's place and id) or a dialog that is made anew fails them and is
// looked up again.
#include "ui/start_controls.h"

#include "ui/resource_ids.h"
#include "ui/run_view.h"

namespace {

// The two controls that every member touches; others are looked up plainly.
const int kKeptIds[2] = {IDC_START_TEXT, IDC_START_PROGRESS};

struct FoundControl {
  HWND dialog;
  HWND control;
};

// Zeroed at load, no constructor: nothing found yet.
FoundControl found[2];

bool stillThere(const FoundControl& entry, HWND dialog, int id) {
  return entry.control != nullptr && entry.dialog == dialog && IsWindow(entry.control) &&
         GetParent(entry.control) == dialog && GetDlgCtrlID(entry.control) == id;
}

}  // namespace

HWND StartDialogControl(int id) {
  HWND dialog = RunWindow();
  if (dialog == nullptr) return nullptr;
  for (int i = 0; i < 2; ++i) {
    if (kKeptIds[i] != id) continue;
    FoundControl& entry = found[i];
    if (stillThere(entry, dialog, id)) return entry.control;
    entry.dialog = dialog;
    entry.control = GetDlgItem(dialog, id);
    return entry.control;
  }
  return GetDlgItem(dialog, id);
}
