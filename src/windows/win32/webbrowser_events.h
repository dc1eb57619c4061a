#pragma once
// The web browser control's events, as this program listens to them: a sink
// for DWebBrowserEvents2 that hands the two events the viewer window uses to
// callbacks and keeps the page from opening windows outside the book, and the
// connection that advises it on the control.

// First: it sets how windows.h is read.
#include "platform/win32/winapi.h"

#include <ocidl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "windows/win32/com.h"

namespace pagimor::win32 {

// Where the events go; either may be empty.
struct WebBrowserCallbacks {
  // A navigation completed, of the page or of a frame inside it.
  std::function<void(std::u16string_view url)> navigateComplete;
  // A document (the page's or a frame's) has been loaded.
  std::function<void()> documentComplete;
};

// The text an event's address argument holds, in the forms the control
// sends it: a BSTR, a reference to one, or a reference to a variant holding
// one. A null BSTR is the empty text. Nothing for anything else.
[[nodiscard]] std::optional<std::u16string> VariantText(const VARIANT& value);

// COM objects are deleted by their own Release, never through an interface
// pointer, so the interfaces' lack of a virtual destructor is their design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The sink. Invoke runs on the thread that made the control (the
// user-interface thread); a callback may pump messages, so further events
// may arrive inside it, and it may disconnect the sink or drop the last
// reference to it meanwhile.
class WebBrowserEventSink final : public IDispatch {
 public:
  [[nodiscard]] static ComPtr<WebBrowserEventSink> Create(WebBrowserCallbacks callbacks);
  WebBrowserEventSink(const WebBrowserEventSink&) = delete;
  WebBrowserEventSink& operator=(const WebBrowserEventSink&) = delete;

  // Later events go nowhere: the owner is going away while the control may
  // still hold the sink.
  void Disconnect();

  // IUnknown: also answers DIID_DWebBrowserEvents2, which the connection
  // point asks for.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch: no type information; events arrive by DISPID alone.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  // DISPID_NAVIGATECOMPLETE2 (pDisp, URL) and DISPID_DOCUMENTCOMPLETE
  // (pDisp, URL), their arguments in reverse order as DISPPARAMS carries
  // them. Any other event is not a member; a navigation whose address is not
  // text is refused and reported to nobody. DISPID_NEWWINDOW2 and
  // DISPID_NEWWINDOW3 are cancelled through their Cancel argument, and open
  // nothing; one whose Cancel cannot be set is refused. DISPID_FILEDOWNLOAD
  // (ActiveDocument, Cancel) is cancelled unless it is for a document the
  // control shows itself.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override;

 private:
  explicit WebBrowserEventSink(WebBrowserCallbacks callbacks);
  ~WebBrowserEventSink() = default;

  ULONG references_ = 1;
  WebBrowserCallbacks callbacks_;
};

#pragma GCC diagnostic pop

// A sink advised on one of an object's connection points; unadvised when
// disconnected or destroyed, with the cookie it was given.
class EventConnection {
 public:
  EventConnection() = default;
  EventConnection(const EventConnection&) = delete;
  EventConnection& operator=(const EventConnection&) = delete;
  ~EventConnection() { Disconnect(); }

  // Advises sink on source's connection point for events; a connection
  // held before is dropped first. The system's code when it fails.
  [[nodiscard]] HRESULT Connect(IUnknown* source, REFIID events, IUnknown* sink);
  void Disconnect();
  [[nodiscard]] bool Connected() const { return static_cast<bool>(point_); }

 private:
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace pagimor::win32
