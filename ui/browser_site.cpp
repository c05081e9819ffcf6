// The browser control's container site.
//
// An embedded browser asks its container for a client site, an in-place site
// and frame (for its window, its rectangle and its activation) and an
// automation interface (for ambient properties). The program needs none of
// the container features behind most of these calls, so the site answers
// each with the least the control accepts: success where it only informs us,
// "not implemented" where it offers something we do not use. One object
// carries all four interfaces and one reference count; the site lives in a
// heap block of its own and frees it when its last reference goes.
#include "ui/browser_site.h"

#include <new>

#include "support/portable/heap.h"

BrowserSite::BrowserSite(HWND window) : refCount(1), hostWindow(window), browserObject(nullptr), position{0, 0, 0, 0} {}

BrowserSite* BrowserSite::Create(HWND hostWindow) {
  void* block = allocate(sizeof(BrowserSite));
  return block != nullptr ? new (block) BrowserSite(hostWindow) : nullptr;
}

// ---------------------------------------------------------------------------
// IUnknown
// ---------------------------------------------------------------------------

HRESULT BrowserSite::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceFrame)) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else if (IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG BrowserSite::AddRef() { return static_cast<ULONG>(++refCount); }

ULONG BrowserSite::Release() {
  if (--refCount > 0) return static_cast<ULONG>(refCount);
  if (browserObject != nullptr) browserObject->Release();
  this->~BrowserSite();
  release(this);
  return 0;
}

// ---------------------------------------------------------------------------
// IOleClientSite
// ---------------------------------------------------------------------------

HRESULT BrowserSite::SaveObject() { return E_NOTIMPL; }
HRESULT BrowserSite::GetMoniker(DWORD, DWORD, IMoniker**) { return E_NOTIMPL; }
HRESULT BrowserSite::GetContainer(IOleContainer**) { return E_NOINTERFACE; }
HRESULT BrowserSite::ShowObject() { return S_OK; }
HRESULT BrowserSite::OnShowWindow(BOOL) { return S_OK; }
HRESULT BrowserSite::RequestNewObjectLayout() { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IOleWindow, IOleInPlaceSite
// ---------------------------------------------------------------------------

HRESULT BrowserSite::GetWindow(HWND* window) {
  // The host window may be gone while the control still holds the site.
  if (!IsWindow(hostWindow)) return S_FALSE;
  *window = hostWindow;
  return S_OK;
}

HRESULT BrowserSite::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
HRESULT BrowserSite::CanInPlaceActivate() { return S_OK; }
HRESULT BrowserSite::OnInPlaceActivate() { return S_OK; }
HRESULT BrowserSite::OnUIActivate() { return S_OK; }

HRESULT BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                      LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *document = nullptr;
  RECT client = {0, 0, 0, 0};
  GetClientRect(hostWindow, &client);
  *position = client;
  *clip = client;
  // The host window is the frame: no MDI, no menu, no accelerators.
  info->cb = sizeof(OLEINPLACEFRAMEINFO);
  info->fMDIApp = FALSE;
  info->hwndFrame = hostWindow;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT BrowserSite::Scroll(SIZE) { return E_NOTIMPL; }
HRESULT BrowserSite::OnUIDeactivate(BOOL) { return E_NOTIMPL; }
HRESULT BrowserSite::OnInPlaceDeactivate() { return S_OK; }
HRESULT BrowserSite::DiscardUndoState() { return E_NOTIMPL; }
HRESULT BrowserSite::DeactivateAndUndo() { return E_NOTIMPL; }
HRESULT BrowserSite::OnPosRectChange(LPCRECT) { return S_OK; }

// ---------------------------------------------------------------------------
// IOleInPlaceUIWindow, IOleInPlaceFrame
// ---------------------------------------------------------------------------

HRESULT BrowserSite::GetBorder(LPRECT) { return E_NOTIMPL; }
HRESULT BrowserSite::RequestBorderSpace(LPCBORDERWIDTHS) { return E_NOTIMPL; }
HRESULT BrowserSite::SetBorderSpace(LPCBORDERWIDTHS) { return E_NOTIMPL; }
HRESULT BrowserSite::SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) { return E_NOTIMPL; }
HRESULT BrowserSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }
HRESULT BrowserSite::SetMenu(HMENU, HOLEMENU, HWND) { return E_NOTIMPL; }
HRESULT BrowserSite::RemoveMenus(HMENU) { return E_NOTIMPL; }
HRESULT BrowserSite::SetStatusText(LPCOLESTR) { return S_OK; }
HRESULT BrowserSite::EnableModeless(BOOL) { return E_NOTIMPL; }
HRESULT BrowserSite::TranslateAccelerator(LPMSG, WORD) { return S_OK; }

// ---------------------------------------------------------------------------
// IDispatch: no ambient properties; the control keeps its defaults.
// ---------------------------------------------------------------------------

HRESULT BrowserSite::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
HRESULT BrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

HRESULT BrowserSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) {
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT BrowserSite::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return DISP_E_MEMBERNOTFOUND;
}
