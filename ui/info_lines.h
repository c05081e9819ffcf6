// Member lines on their way into the information window: gathered and
// written in batches, and only the newest of them kept in the control.
#pragma once

#include <windows.h>

#include <stdint.h>

// Lines newer than the last error line that the window keeps at least (a
// long scroll back: the window shows a dozen); older ones go, a block at a
// time, once half as many again have come. Error lines and everything
// before the last of them always stay.
const uint32_t kKeptMemberLines = 200;
const uint32_t kCutMemberLines = kKeptMemberLines + kKeptMemberLines / 2;
// The longest wait of a gathered line for the window, in milliseconds: the
// window is redrawn a few dozen times a second, not once per member.
const DWORD kLineBatchInterval = 40;

// Gathers one plain line (its line end is added here) for the control.
void QueueInfoLine(const char* text);
// Writes every gathered line into the control now: before an error line,
// a prompt, the end of the extraction and a fatal stop.
void FlushInfoLines();
// Gathered lines have waited long enough to be shown (never while the start
// dialog is hidden: then they wait for the next forced write).
bool InfoLinesDue();
// An error line was just written at the control's end: nothing before it
// is cut from now on.
void KeepInfoLinesSoFar(HWND control);
// The control was emptied: positions start again from its beginning.
void ForgetInfoLines();
