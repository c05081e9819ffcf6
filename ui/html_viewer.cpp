// The HTML text viewer.
//
// The browser control is an OLE object: it needs a container window, a site
// (browser_site.cpp) and in-place activation before it shows anything, and
// it loads a document asynchronously. The viewer therefore creates a host
// window over the dialog's edit control, embeds the browser while that
// window is being created, hands it the document as a stream over one block
// of memory, and waits for the document to appear - dispatching the
// thread's messages meanwhile, so the dialog stays usable. Whenever any step
// fails (no browser on this system, an old NT, a document that never comes)
// the host window goes and the edit control shows the text converted to
// plain text: the browser is a nicety, the text is what must be seen.
#include "ui/html_viewer.h"

#include <commctrl.h>
#include <ole2.h>
#include <exdisp.h>
#include <ocidl.h>

#include "support/portable/heap.h"
#include "support/os_version.h"
#include "support/strings.h"
#include "ui/browser_site.h"
#include "ui/html_text.h"

const char kHtmlHostClass[] = "QelHtmlClassName";

namespace {

// ---------------------------------------------------------------------------
// Loading the document
// ---------------------------------------------------------------------------

// Waits until the browser has a document to load into, at most
// kDocumentWaitMs, and loads the stream into it.
bool WaitForDocument(IWebBrowser2* browser, IStream* stream) {
  DWORD start = GetTickCount();
  IDispatch* document = nullptr;
  for (;;) {
    if (SUCCEEDED(browser->get_Document(&document)) && document != nullptr) break;
    document = nullptr;
    if (GetTickCount() - start > kDocumentWaitMs) break;
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      if (GetMessageA(&message, nullptr, 0, 0) <= 0) {
        // The quit request belongs to the caller's loop.
        PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    } else {
      // Nothing to do until a message comes or a little time has passed.
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  }
  if (document == nullptr) return false;

  bool loaded = false;
  IPersistStreamInit* persist = nullptr;
  if (SUCCEEDED(document->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
    if (SUCCEEDED(persist->InitNew())) loaded = SUCCEEDED(persist->Load(stream));
    persist->Release();
  }
  document->Release();
  return loaded;
}

// The 9x family before Windows 98 has no UTF-8 in its browser.
bool BrowserReadsUtf8() {
  OSVERSIONINFOA version;
  fillBytes(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(&version)) return true;
  return !(version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && LOWORD(version.dwBuildNumber) < 1998);
}

void LoadDocument(HtmlViewer* viewer, const char* text) {
  if (viewer->browser == nullptr) return;
  BSTR blank = SysAllocString(L"about:blank");
  VARIANT empty;
  VariantInit(&empty);
  viewer->browser->Navigate(blank, &empty, &empty, &empty, &empty);
  SysFreeString(blank);

  size_t size = HtmlBufferSize(textLength(text));
  HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
  if (block == nullptr) return;
  size_t length = BuildHtmlDocument(text, static_cast<char*>(block), size, BrowserReadsUtf8());

  IStream* stream = nullptr;
  if (length == 0 || FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {
    GlobalFree(block);
    return;
  }
  // The stream's size is the document, not the whole block.
  ULARGE_INTEGER streamSize;
  streamSize.QuadPart = length;
  stream->SetSize(streamSize);
  viewer->loaded = WaitForDocument(viewer->browser, stream);
  stream->Release();
}

// ---------------------------------------------------------------------------
// The browser in the host window
// ---------------------------------------------------------------------------

void ActivateBrowser(IOleObject* object, BrowserSite* site, HWND window, LONG verb) {
  object->DoVerb(verb, nullptr, static_cast<IOleClientSite*>(site), 0, window, &site->position);
}

void CreateBrowser(HtmlViewer* viewer, HWND window) {
  // Windows NT 4.0 and older: no browser control worth embedding.
  int32_t nt = NtMajorVersion();
  if (nt >= 1 && nt <= 4) return;

  viewer->hostWindow = window;
  BrowserSite* site = BrowserSite::Create(window);
  if (site == nullptr) return;
  viewer->site = site;

  CLSID browserClass;
  if (FAILED(CLSIDFromString(const_cast<LPOLESTR>(L"Shell.Explorer"), &browserClass)) ||
      FAILED(CoCreateInstance(browserClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(&site->browserObject)))) {
    site->browserObject = nullptr;
    return;
  }
  IUnknown* object = site->browserObject;

  IOleObject* ole = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
    ole->SetClientSite(static_cast<IOleClientSite*>(site));
    ole->Release();
  }
  IPersistStreamInit* persist = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
    persist->InitNew();
    persist->Release();
  }
  if (SUCCEEDED(object->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
    ActivateBrowser(ole, site, window, OLEIVERB_INPLACEACTIVATE);
    ActivateBrowser(ole, site, window, OLEIVERB_SHOW);
    ole->Release();
  }
  if (SUCCEEDED(object->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
    ActivateBrowser(ole, site, window, OLEIVERB_UIACTIVATE);
    ole->Release();
  }
  // Offline: the document comes from memory, never from the network.
  if (SUCCEEDED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&viewer->browser)))) {
    viewer->browser->put_Offline(VARIANT_TRUE);
  } else {
    viewer->browser = nullptr;
  }
  LoadDocument(viewer, viewer->text);
}

void CloseBrowser(BrowserSite* site) {
  IUnknown* object = site->browserObject;
  if (object == nullptr) return;
  IOleObject* ole = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
  }
  IOleInPlaceObject* inPlace = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
    inPlace->UIDeactivate();
    inPlace->InPlaceDeactivate();
    inPlace->Release();
  }
  object->Release();
  site->browserObject = nullptr;
}

LRESULT CALLBACK HostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HtmlViewer* viewer = reinterpret_cast<HtmlViewer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_CREATE:
      if (viewer != nullptr) CreateBrowser(viewer, window);
      break;
    case WM_SIZE:
      if (viewer != nullptr && viewer->site != nullptr) {
        BrowserSite* site = viewer->site;
        site->position = RECT{0, 0, LOWORD(lParam), HIWORD(lParam)};
        IOleInPlaceObject* inPlace = nullptr;
        if (site->browserObject != nullptr &&
            SUCCEEDED(site->browserObject->QueryInterface(IID_IOleInPlaceObject,
                                                          reinterpret_cast<void**>(&inPlace)))) {
          inPlace->SetObjectRects(&site->position, &site->position);
          inPlace->Release();
        }
      }
      break;
    case WM_DESTROY:
      if (viewer != nullptr) {
        // Destroyed with its dialog or by the viewer: the handle is stale now.
        if (viewer->hostWindow == window) viewer->hostWindow = nullptr;
        if (viewer->browser != nullptr) viewer->browser->Release();
        viewer->browser = nullptr;
        if (viewer->site != nullptr) {
          CloseBrowser(viewer->site);
          viewer->site->Release();
          viewer->site = nullptr;
        }
      }
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterHostClass(HINSTANCE module) {
  WNDCLASSEXA windowClass;
  fillBytes(&windowClass, 0, sizeof(windowClass));
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_DBLCLKS | CS_OWNDC | CS_SAVEBITS;
  windowClass.lpfnWndProc = HostWindowProcedure;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszClassName = kHtmlHostClass;
  // A second registration fails because the class exists: that is fine.
  RegisterClassExA(&windowClass);
}

// The edit control shows the text as plain text.
void ShowPlainText(HWND editWindow, const char* text) {
  size_t size = HtmlBufferSize(textLength(text));
  char* html = static_cast<char*>(allocate(size));
  if (html == nullptr) return;
  copyText(html, text);
  char* plain = nullptr;
  if (LooksLikeHtml(html) || PlainToHtml(html, size)) plain = HtmlToPlain(html);
  if (plain != nullptr) SetWindowTextA(editWindow, plain);
  release(plain);
  release(html);
}

}  // namespace

// ---------------------------------------------------------------------------
// The viewer
// ---------------------------------------------------------------------------

void ShowText(HtmlViewer* viewer, HINSTANCE module, HWND editWindow, const char* text) {
  if (!viewer->oleInitialized) {
    OleInitialize(nullptr);
    InitCommonControls();
    viewer->oleInitialized = true;
  }
  viewer->loaded = false;
  ShowWindow(editWindow, SW_HIDE);
  RegisterHostClass(module);
  viewer->module = module;
  viewer->text = text;

  HWND parent = GetParent(editWindow);
  RECT place;
  GetWindowRect(editWindow, &place);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);

  HideHtmlView(viewer);
  // The browser is created and the document loaded while this call runs.
  HWND host = CreateWindowExA(0, kHtmlHostClass, nullptr, WS_CHILD, place.left + 1, place.top,
                              place.right - place.left - 2, place.bottom - place.top, parent, nullptr, module,
                              viewer);
  viewer->hostWindow = host;
  if (host != nullptr) {
    ShowWindow(host, SW_SHOW);
    UpdateWindow(host);
  }
  viewer->text = nullptr;
  if (viewer->loaded) return;

  HideHtmlView(viewer);
  ShowWindow(editWindow, SW_SHOW);
  ShowPlainText(editWindow, text);
}

void HideHtmlView(HtmlViewer* viewer) {
  if (viewer->hostWindow != nullptr) DestroyWindow(viewer->hostWindow);
  viewer->hostWindow = nullptr;
}

void DestroyHtmlViewer(HtmlViewer* viewer) {
  if (viewer->hostWindow != nullptr && IsWindow(viewer->hostWindow)) DestroyWindow(viewer->hostWindow);
  viewer->hostWindow = nullptr;
  if (viewer->oleInitialized) OleUninitialize();
  viewer->oleInitialized = false;
}
