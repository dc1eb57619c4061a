#include "windows/win32/webbrowser_events.h"

#include <exdisp.h>
#include <exdispid.h>
#include <olectl.h>

#include <utility>

namespace pagimor::win32 {

namespace {
// Both events carry (pDisp, URL); DISPPARAMS holds the last argument first.
constexpr UINT kEventArguments = 2;
constexpr UINT kUrlArgument = 0;
// NewWindow2 carries (ppDisp, Cancel), NewWindow3 (ppDisp, Cancel, dwFlags,
// bstrUrlContext, bstrUrl): Cancel is the second of either.
constexpr UINT kNewWindow2Arguments = 2;
constexpr UINT kNewWindow3Arguments = 5;
constexpr UINT kCancelFromFirst = 1;
// FileDownload carries (ActiveDocument, Cancel).
constexpr UINT kFileDownloadArguments = 2;
constexpr UINT kActiveDocumentFromFirst = 0;

// Where an event's by-reference Cancel argument is to be set: the
// VARIANT_BOOL it refers to, or the one held by the variant it refers to.
// Null for anything else, a null reference included.
VARIANT_BOOL* CancelFlag(VARIANT& argument) {
  VARIANT* held = &argument;
  if (V_VT(held) == (VT_BYREF | VT_VARIANT)) {
    held = V_VARIANTREF(held);
    if (held == nullptr) return nullptr;
    if (V_VT(held) == VT_BOOL) return &V_BOOL(held);
  }
  if (V_VT(held) == (VT_BYREF | VT_BOOL)) return V_BOOLREF(held);
  return nullptr;
}

// A page asks for a window of its own (window.open, a link with a target of
// its own, Shift with a click): unless the request is cancelled, the control
// opens the system's web browser outside the book, on the book's files or
// wherever the page points, in a window that outlives the book and its
// folder. It is cancelled, and nothing is opened instead. Showing the page in
// the book's own window would replace the page the reader is working in (a
// quiz and its answers so far), and going back would bring the page but not
// what the reader had done; the Linux viewer opens nothing for such a request
// either, so a book behaves the same on both.
HRESULT CancelRequest(DISPPARAMS* params, UINT count, UINT* badArgument) {
  if (params == nullptr || params->cArgs < count) return DISP_E_BADPARAMCOUNT;
  if (params->rgvarg == nullptr) return E_INVALIDARG;
  const UINT index = params->cArgs - 1 - kCancelFromFirst;
  VARIANT_BOOL* cancel = CancelFlag(params->rgvarg[index]);
  if (cancel == nullptr) {
    if (badArgument != nullptr) *badArgument = index;
    return DISP_E_TYPEMISMATCH;
  }
  *cancel = VARIANT_TRUE;
  return S_OK;
}

// The control is about to save a file the page asked for (a link with
// download, an address it cannot show): a book writes nothing outside its
// folder, so the download is cancelled before the control asks where to put
// it. The event also comes for every page the control shows itself, an
// active document, which goes on.
HRESULT CancelFileDownload(DISPPARAMS* params, UINT* badArgument) {
  if (params == nullptr || params->cArgs < kFileDownloadArguments) return DISP_E_BADPARAMCOUNT;
  if (params->rgvarg == nullptr) return E_INVALIDARG;
  const VARIANT& active = params->rgvarg[params->cArgs - 1 - kActiveDocumentFromFirst];
  if (V_VT(&active) == VT_BOOL && V_BOOL(&active) != VARIANT_FALSE) return S_OK;
  return CancelRequest(params, kFileDownloadArguments, badArgument);
}

}  // namespace

std::optional<std::u16string> VariantText(const VARIANT& value) {
  const VARIANT* held = &value;
  // One level of reference only: a variant may not refer to a reference.
  if (V_VT(held) == (VT_BYREF | VT_VARIANT)) {
    held = V_VARIANTREF(held);
    if (held == nullptr) return std::nullopt;
  }
  switch (V_VT(held)) {
    case VT_BSTR:
      return Bstr::Text(V_BSTR(held));
    case VT_BYREF | VT_BSTR:
      if (V_BSTRREF(held) == nullptr) return std::nullopt;
      return Bstr::Text(*V_BSTRREF(held));
    default:
      return std::nullopt;
  }
}

ComPtr<WebBrowserEventSink> WebBrowserEventSink::Create(WebBrowserCallbacks callbacks) {
  return ComPtr<WebBrowserEventSink>::Adopt(new WebBrowserEventSink(std::move(callbacks)));
}

WebBrowserEventSink::WebBrowserEventSink(WebBrowserCallbacks callbacks) : callbacks_(std::move(callbacks)) {}

void WebBrowserEventSink::Disconnect() { callbacks_ = {}; }

HRESULT WebBrowserEventSink::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG WebBrowserEventSink::AddRef() { return ++references_; }

ULONG WebBrowserEventSink::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT WebBrowserEventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT WebBrowserEventSink::GetTypeInfo(UINT /*index*/, LCID /*locale*/, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT WebBrowserEventSink::GetIDsOfNames(REFIID /*iid*/, LPOLESTR* /*names*/, UINT /*count*/, LCID /*locale*/,
                                           DISPID* /*ids*/) {
  return E_NOTIMPL;
}

HRESULT WebBrowserEventSink::Invoke(DISPID member, REFIID /*iid*/, LCID /*locale*/, WORD /*flags*/,
                                    DISPPARAMS* params, VARIANT* /*result*/, EXCEPINFO* /*exception*/,
                                    UINT* badArgument) {
  // A callback may pump messages and end the owner, which drops its
  // reference: the sink stays until the callback has returned. The callback
  // is called through a copy, which a disconnect inside it cannot destroy.
  const ComPtr<WebBrowserEventSink> keep = ComPtr<WebBrowserEventSink>::Share(this);
  switch (member) {
    case DISPID_NAVIGATECOMPLETE2: {
      if (params == nullptr || params->cArgs < kEventArguments) return DISP_E_BADPARAMCOUNT;
      if (params->rgvarg == nullptr) return E_INVALIDARG;
      const std::optional<std::u16string> url = VariantText(params->rgvarg[kUrlArgument]);
      if (!url) {
        if (badArgument != nullptr) *badArgument = kUrlArgument;
        return DISP_E_TYPEMISMATCH;
      }
      if (const auto callback = callbacks_.navigateComplete) callback(*url);
      return S_OK;
    }
    case DISPID_DOCUMENTCOMPLETE:
      // The viewer wants only the moment; pDisp and URL are not read.
      if (const auto callback = callbacks_.documentComplete) callback();
      return S_OK;
    // Also once disconnected: the control may still open windows while it goes.
    case DISPID_NEWWINDOW2:
      return CancelRequest(params, kNewWindow2Arguments, badArgument);
    case DISPID_NEWWINDOW3:
      return CancelRequest(params, kNewWindow3Arguments, badArgument);
    case DISPID_FILEDOWNLOAD:
      return CancelFileDownload(params, badArgument);
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT EventConnection::Connect(IUnknown* source, REFIID events, IUnknown* sink) {
  Disconnect();
  if (source == nullptr || sink == nullptr) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.put_void());
  if (FAILED(hr)) return hr;
  if (!container) return E_NOINTERFACE;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(events, point.put());
  if (FAILED(hr)) return hr;
  if (!point) return CONNECT_E_NOCONNECTION;
  DWORD cookie = 0;
  hr = point->Advise(sink, &cookie);
  if (FAILED(hr)) return hr;
  point_ = std::move(point);
  cookie_ = cookie;
  return S_OK;
}

void EventConnection::Disconnect() {
  if (!point_) return;
  point_->Unadvise(cookie_);
  point_.reset();
  cookie_ = 0;
}

}  // namespace pagimor::win32
