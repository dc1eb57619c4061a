#include "windows/win32/webbrowser_site.h"

namespace pagimor::win32 {

ComPtr<WebBrowserSite> WebBrowserSite::Create(HWND window) {
  return ComPtr<WebBrowserSite>::Adopt(new WebBrowserSite(window));
}

void WebBrowserSite::Detach() {
  window_ = nullptr;
  active_.reset();
}

// --- IUnknown ---

HRESULT WebBrowserSite::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else if (IsEqualIID(iid, IID_IDocHostUIHandler)) {
    *object = static_cast<IDocHostUIHandler*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG WebBrowserSite::AddRef() { return ++references_; }

ULONG WebBrowserSite::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

// --- IOleClientSite ---

HRESULT WebBrowserSite::SaveObject() { return E_NOTIMPL; }

HRESULT WebBrowserSite::GetMoniker(DWORD /*assign*/, DWORD /*which*/, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT WebBrowserSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT WebBrowserSite::ShowObject() { return S_OK; }
HRESULT WebBrowserSite::OnShowWindow(BOOL /*show*/) { return S_OK; }
HRESULT WebBrowserSite::RequestNewObjectLayout() { return E_NOTIMPL; }

// --- IOleWindow ---

HRESULT WebBrowserSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

HRESULT WebBrowserSite::ContextSensitiveHelp(BOOL /*enter*/) { return E_NOTIMPL; }

// --- IOleInPlaceSite ---

HRESULT WebBrowserSite::CanInPlaceActivate() { return window_ != nullptr ? S_OK : S_FALSE; }
HRESULT WebBrowserSite::OnInPlaceActivate() { return S_OK; }
HRESULT WebBrowserSite::OnUIActivate() { return S_OK; }

HRESULT WebBrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                         LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr)
    return E_POINTER;
  *document = nullptr;  // no document window apart from the frame
  if (window_ == nullptr) {
    *frame = nullptr;
    return E_FAIL;
  }
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  RECT area{};
  ::GetClientRect(window_, &area);
  *position = area;
  *clip = area;
  // The frame is the top-level window the control sits in; its menu
  // shortcuts are the application's to handle, not the control's.
  info->cb = sizeof *info;
  info->fMDIApp = FALSE;
  info->hwndFrame = ::GetAncestor(window_, GA_ROOT);
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT WebBrowserSite::Scroll(SIZE /*extent*/) { return E_NOTIMPL; }
HRESULT WebBrowserSite::OnUIDeactivate(BOOL /*undoable*/) { return S_OK; }

HRESULT WebBrowserSite::OnInPlaceDeactivate() {
  active_.reset();
  return S_OK;
}

HRESULT WebBrowserSite::DiscardUndoState() { return E_NOTIMPL; }
HRESULT WebBrowserSite::DeactivateAndUndo() { return E_NOTIMPL; }

// The control's place is the window's client area, which the owner keeps
// it to on every resize; a wish of the control's for another is not taken.
HRESULT WebBrowserSite::OnPosRectChange(LPCRECT /*position*/) { return S_OK; }

// --- IOleInPlaceUIWindow and IOleInPlaceFrame ---

HRESULT WebBrowserSite::GetBorder(LPRECT /*border*/) { return INPLACE_E_NOTOOLSPACE; }
HRESULT WebBrowserSite::RequestBorderSpace(LPCBORDERWIDTHS /*widths*/) { return INPLACE_E_NOTOOLSPACE; }

HRESULT WebBrowserSite::SetBorderSpace(LPCBORDERWIDTHS widths) {
  // Asking for no space at all is the one request there is room for.
  return widths == nullptr ? S_OK : INPLACE_E_NOTOOLSPACE;
}

HRESULT WebBrowserSite::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR /*name*/) {
  active_ = window_ != nullptr ? ComPtr<IOleInPlaceActiveObject>::Share(active) : nullptr;
  return S_OK;
}

HRESULT WebBrowserSite::InsertMenus(HMENU /*shared*/, LPOLEMENUGROUPWIDTHS /*widths*/) { return E_NOTIMPL; }
HRESULT WebBrowserSite::SetMenu(HMENU /*shared*/, HOLEMENU /*descriptor*/, HWND /*activeObject*/) { return S_OK; }
HRESULT WebBrowserSite::RemoveMenus(HMENU /*shared*/) { return E_NOTIMPL; }
HRESULT WebBrowserSite::SetStatusText(LPCOLESTR /*text*/) { return S_OK; }
HRESULT WebBrowserSite::EnableModeless(BOOL /*enable*/) { return S_OK; }
HRESULT WebBrowserSite::TranslateAccelerator(LPMSG /*message*/, WORD /*id*/) { return S_FALSE; }

// --- IDocHostUIHandler ---

HRESULT WebBrowserSite::ShowContextMenu(DWORD /*id*/, POINT* /*point*/, IUnknown* /*target*/,
                                        IDispatch* /*object*/) {
  return S_FALSE;  // the control shows its own
}

HRESULT WebBrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  if (info->cbSize < sizeof *info) return E_INVALIDARG;
  info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_DPI_AWARE;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  info->pchHostCss = nullptr;
  info->pchHostNS = nullptr;
  return S_OK;
}

HRESULT WebBrowserSite::ShowUI(DWORD /*id*/, IOleInPlaceActiveObject* /*active*/, IOleCommandTarget* /*target*/,
                               IOleInPlaceFrame* /*frame*/, IOleInPlaceUIWindow* /*document*/) {
  return S_FALSE;
}

HRESULT WebBrowserSite::HideUI() { return S_OK; }
HRESULT WebBrowserSite::UpdateUI() { return S_OK; }
HRESULT WebBrowserSite::OnDocWindowActivate(BOOL /*activate*/) { return S_OK; }
HRESULT WebBrowserSite::OnFrameWindowActivate(BOOL /*activate*/) { return S_OK; }

HRESULT WebBrowserSite::ResizeBorder(LPCRECT /*border*/, IOleInPlaceUIWindow* /*window*/, BOOL /*frame*/) {
  return S_OK;
}

HRESULT WebBrowserSite::TranslateAccelerator(LPMSG /*message*/, const GUID* /*group*/, DWORD /*id*/) {
  return S_FALSE;  // the control handles its keys itself
}

HRESULT WebBrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD /*reserved*/) {
  if (key != nullptr) *key = nullptr;
  return S_FALSE;  // the control's default settings
}

HRESULT WebBrowserSite::GetDropTarget(IDropTarget* /*target*/, IDropTarget** replacement) {
  if (replacement != nullptr) *replacement = nullptr;
  return E_NOTIMPL;
}

HRESULT WebBrowserSite::GetExternal(IDispatch** external) {
  if (external != nullptr) *external = nullptr;
  return E_NOTIMPL;  // the page's window.external is empty
}

HRESULT WebBrowserSite::TranslateUrl(DWORD /*reserved*/, LPWSTR /*url*/, LPWSTR* translated) {
  if (translated != nullptr) *translated = nullptr;
  return S_FALSE;
}

HRESULT WebBrowserSite::FilterDataObject(IDataObject* /*data*/, IDataObject** replacement) {
  if (replacement != nullptr) *replacement = nullptr;
  return S_FALSE;
}

}  // namespace pagimor::win32
