// Shows a descriptive text or a license, HTML or plain, in the place of an
// edit control of a dialog: through the platform's browser control when it
// can load the text, as plain text in the edit control otherwise.
#pragma once

#include <windows.h>

class BrowserSite;
struct IWebBrowser2;

// One per dialog that shows a text; zeroed before first use.
struct HtmlViewer {
  HINSTANCE module;      // registered the host window class
  HWND hostWindow;       // the browser's host window, or null
  BrowserSite* site;     // owned; null without a browser
  IWebBrowser2* browser; // owned; null without a browser
  const char* text;      // borrowed, only while ShowText runs
  bool oleInitialized;
  bool loaded;           // the browser holds the document
};

// The host window class of the browser.
extern const char kHtmlHostClass[];

// Shows text (borrowed for the call) over editWindow. Afterwards either the
// browser shows it over the hidden edit control (viewer->loaded), or the
// edit control shows the plain-text version.
void ShowText(HtmlViewer* viewer, HINSTANCE module, HWND editWindow, const char* text);

// Destroys the host window, if any, leaving the edit control in its place.
void HideHtmlView(HtmlViewer* viewer);

// Ends the viewer: its host window if still there, and OLE.
void DestroyHtmlViewer(HtmlViewer* viewer);

// The browser is given this long to present its document before the text
// goes to the edit control instead.
const DWORD kDocumentWaitMs = 10000;
