// WebBrowser1 on Win32. The COM plumbing of this side is checked against
// fakes of the test's own: the events as the control sends them, the host
// interfaces the control asks for, and references that all come back. The
// system's control is made, placed and taken down where it exists; under
// Wine it is there but loads no page, so its events are not waited for.
#include "windows/win32/webbrowser.h"

#include <exdispid.h>
#include <gtest/gtest.h>
#include <olectl.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pagimor::win32 {
namespace {

// Neither added nor taken away.
ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// The fakes live on the test's stack: they count references but are never
// deleted through them, so the interfaces' missing virtual destructor does
// not matter.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// A COM object with no interface but IUnknown.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 0;
};

// A connection point container with one point, for the events of one
// interface; it remembers what was advised and unadvised.
class FakeEventSource : public IConnectionPointContainer, public IConnectionPoint {
 public:
  explicit FakeEventSource(REFIID events) : events_(events) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPointContainer)) {
      *object = static_cast<IConnectionPointContainer*>(this);
    } else if (IsEqualIID(iid, IID_IConnectionPoint)) {
      *object = static_cast<IConnectionPoint*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
    *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (!IsEqualIID(iid, events_)) {
      *point = nullptr;
      return CONNECT_E_NOCONNECTION;
    }
    *point = this;
    AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = events_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
    *container = this;
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (refuseAdvise) return CONNECT_E_CANNOTCONNECT;
    // The sink is asked for the events' interface, as a real point asks.
    IUnknown* events = nullptr;
    if (FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(&events)))) return CONNECT_E_CANNOTCONNECT;
    sink_ = events;
    *cookie = kCookie;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    unadvised.push_back(cookie);
    if (cookie != kCookie || sink_ == nullptr) return CONNECT_E_NOCONNECTION;
    std::exchange(sink_, nullptr)->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override {
    *connections = nullptr;
    return E_NOTIMPL;
  }

  static constexpr DWORD kCookie = 42;
  ULONG references = 0;
  bool refuseAdvise = false;
  std::vector<DWORD> unadvised;
  [[nodiscard]] bool Advised() const { return sink_ != nullptr; }

 private:
  IID events_;
  IUnknown* sink_ = nullptr;
};

// The object the control makes active in place; it takes the keys it is
// given when take is set.
class FakeActiveObject : public IOleInPlaceActiveObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
        IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = nullptr;
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL /*enter*/) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override {
    keys.push_back(static_cast<UINT>(message->wParam));
    return take ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL /*activate*/) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL /*activate*/) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT /*border*/, IOleInPlaceUIWindow* /*window*/,
                                         BOOL /*frame*/) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL /*enable*/) override { return S_OK; }

  ULONG references = 0;
  bool take = true;
  std::vector<UINT> keys;
};

#pragma GCC diagnostic pop

// A top-level window standing for the form, with a child standing for the
// window the control is shown in.
class FormWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = ::CreateWindowExW(0, L"STATIC", L"EBook", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480,
                              nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(form_, nullptr);
    child_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 20, 300, 200, form_, nullptr, nullptr,
                               nullptr);
    ASSERT_NE(child_, nullptr);
  }
  void TearDown() override {
    if (form_ != nullptr) ::DestroyWindow(form_);
  }

  HWND form_ = nullptr;
  HWND child_ = nullptr;
};

// --- references ---

TEST(ComPtrTest, EveryReferenceItTakesItGivesBack) {
  Counted object;
  {
    ComPtr<IUnknown> first = ComPtr<IUnknown>::Share(&object);
    EXPECT_EQ(object.references, 1U);
    ComPtr<IUnknown> copy = first;
    EXPECT_EQ(object.references, 2U);
    ComPtr<IUnknown> moved = std::move(copy);
    EXPECT_EQ(object.references, 2U);
    EXPECT_FALSE(copy);  // NOLINT: a moved-from owner holds nothing
    moved = first;  // over a reference to the same object
    EXPECT_EQ(object.references, 2U);
    moved = moved;  // NOLINT: assigned to itself
    EXPECT_EQ(object.references, 2U);
    moved = nullptr;
    EXPECT_EQ(object.references, 1U);

    HRESULT result = E_FAIL;
    const ComPtr<IUnknown> asked = first.As<IUnknown>(&result);
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(object.references, 2U);
    const ComPtr<IDispatch> missing = first.As<IDispatch>(&result);
    EXPECT_EQ(result, E_NOINTERFACE);
    EXPECT_FALSE(missing);
    EXPECT_EQ(object.references, 2U);

    // Filling an owner that holds a reference gives that one back first.
    ComPtr<IUnknown> filled = first;
    EXPECT_EQ(object.references, 3U);
    ASSERT_EQ(first->QueryInterface(IID_IUnknown, filled.put_void()), S_OK);
    EXPECT_EQ(object.references, 3U);

    IUnknown* raw = filled.release();
    EXPECT_FALSE(filled);
    const ComPtr<IUnknown> adopted = ComPtr<IUnknown>::Adopt(raw);
    EXPECT_EQ(object.references, 3U);
  }
  EXPECT_EQ(object.references, 0U);
}

// --- the events ---

// The arguments of a NavigateComplete2 or DocumentComplete as DISPPARAMS
// carries them: the last (URL) first, then pDisp.
class EventArguments {
 public:
  EventArguments() {
    for (VARIANT& argument : arguments_) ::VariantInit(&argument);
    V_VT(&arguments_[1]) = VT_DISPATCH;
    V_DISPATCH(&arguments_[1]) = nullptr;  // the frame; the viewer does not read it
    ::VariantInit(&url_);
  }
  EventArguments(const EventArguments&) = delete;
  EventArguments& operator=(const EventArguments&) = delete;
  ~EventArguments() {
    ::SysFreeString(text_);
    ::VariantClear(&url_);
  }

  // As the control sends it: a reference to a variant holding the BSTR.
  EventArguments& UrlByVariantReference(std::optional<std::u16string_view> text) {
    V_VT(&url_) = VT_BSTR;
    V_BSTR(&url_) = Allocate(text);
    V_VT(&arguments_[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&arguments_[0]) = &url_;
    return *this;
  }
  EventArguments& UrlAsBstr(std::u16string_view text) {
    text_ = Allocate(text);
    V_VT(&arguments_[0]) = VT_BSTR;
    V_BSTR(&arguments_[0]) = text_;
    return *this;
  }
  EventArguments& UrlByBstrReference(std::u16string_view text) {
    text_ = Allocate(text);
    V_VT(&arguments_[0]) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&arguments_[0]) = &text_;
    return *this;
  }
  // A reference to a variant holding something else.
  EventArguments& UrlByVariantReference(VARTYPE type) {
    V_VT(&url_) = type;
    if (type == (VT_BYREF | VT_VARIANT)) V_VARIANTREF(&url_) = &url_;
    V_VT(&arguments_[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&arguments_[0]) = &url_;
    return *this;
  }
  EventArguments& UrlIsNullReference() {
    V_VT(&arguments_[0]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&arguments_[0]) = nullptr;
    return *this;
  }
  EventArguments& Count(UINT count) {
    params_.cArgs = count;
    return *this;
  }

  DISPPARAMS* params() {
    params_.rgvarg = arguments_;
    return &params_;
  }

 private:
  static BSTR Allocate(std::optional<std::u16string_view> text) {
    if (!text) return nullptr;
    return ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text->data()), static_cast<UINT>(text->size()));
  }

  VARIANT arguments_[2];
  VARIANT url_;
  BSTR text_ = nullptr;
  DISPPARAMS params_{nullptr, nullptr, 2, 0};
};

struct Heard {
  std::vector<std::u16string> navigations;
  int documents = 0;
};

WebBrowserCallbacks Listen(Heard& heard) {
  return {[&heard](std::u16string_view url) { heard.navigations.emplace_back(url); },
          [&heard] { ++heard.documents; }};
}

HRESULT Send(WebBrowserEventSink& sink, DISPID member, DISPPARAMS* params) {
  UINT badArgument = 99;
  return sink.Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr,
                     &badArgument);
}

TEST(WebBrowserEventSinkTest, HandsOnTheTwoEventsWithTheAddressAsText) {
  struct Case {
    const char* what;
    DISPID member;
    void (*arguments)(EventArguments&);
    HRESULT result;
    std::vector<std::u16string> navigations;
    int documents;
  };
  const Case cases[] = {
      {"a navigation, as the control sends it", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByVariantReference(u"file:///C:/Users/reader/AppData/index.html"); }, S_OK,
       {u"file:///C:/Users/reader/AppData/index.html"}, 0},
      {"the blank page", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByVariantReference(u"about:blank"); }, S_OK, {u"about:blank"}, 0},
      {"an address outside the basic plane and the ANSI code page", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByVariantReference(u"file:///C:/B\u00fccher/\U0001F600.html"); }, S_OK,
       {u"file:///C:/B\u00fccher/\U0001F600.html"}, 0},
      {"a null BSTR is the empty address", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByVariantReference(std::nullopt); }, S_OK, {u""}, 0},
      {"a plain BSTR", DISPID_NAVIGATECOMPLETE2, [](EventArguments& a) { a.UrlAsBstr(u"about:EBook"); }, S_OK,
       {u"about:EBook"}, 0},
      {"a reference to a BSTR", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByBstrReference(u"about:EBook"); }, S_OK, {u"about:EBook"}, 0},
      {"an address that is not text", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByVariantReference(VT_I4); }, DISP_E_TYPEMISMATCH, {}, 0},
      {"a reference to a reference", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByVariantReference(VT_BYREF | VT_VARIANT); }, DISP_E_TYPEMISMATCH, {}, 0},
      {"a null reference", DISPID_NAVIGATECOMPLETE2, [](EventArguments& a) { a.UrlIsNullReference(); },
       DISP_E_TYPEMISMATCH, {}, 0},
      {"a navigation without its address", DISPID_NAVIGATECOMPLETE2,
       [](EventArguments& a) { a.UrlByVariantReference(u"about:blank").Count(1); }, DISP_E_BADPARAMCOUNT, {}, 0},
      {"a document", DISPID_DOCUMENTCOMPLETE, [](EventArguments& a) { a.UrlByVariantReference(u"about:blank"); },
       S_OK, {}, 1},
      {"another event", DISPID_BEFORENAVIGATE2, [](EventArguments& a) { a.UrlByVariantReference(u"about:blank"); },
       DISP_E_MEMBERNOTFOUND, {}, 0},
  };
  for (const Case& c : cases) {
    Heard heard;
    const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create(Listen(heard));
    EventArguments arguments;
    c.arguments(arguments);
    EXPECT_EQ(Send(*sink.get(), c.member, arguments.params()), c.result) << c.what;
    EXPECT_EQ(heard.navigations, c.navigations) << c.what;
    EXPECT_EQ(heard.documents, c.documents) << c.what;
  }
}

TEST(WebBrowserEventSinkTest, AfterDisconnectEventsReachNobodyEvenFromInsideACallback) {
  Heard heard;
  ComPtr<WebBrowserEventSink> sink;
  sink = WebBrowserEventSink::Create({[&](std::u16string_view url) {
                                        heard.navigations.emplace_back(url);
                                        sink->Disconnect();
                                      },
                                      [&] { ++heard.documents; }});
  EventArguments arguments;
  arguments.UrlByVariantReference(u"about:blank");
  EXPECT_EQ(Send(*sink.get(), DISPID_NAVIGATECOMPLETE2, arguments.params()), S_OK);
  EXPECT_EQ(Send(*sink.get(), DISPID_NAVIGATECOMPLETE2, arguments.params()), S_OK);
  EXPECT_EQ(Send(*sink.get(), DISPID_DOCUMENTCOMPLETE, arguments.params()), S_OK);
  EXPECT_EQ(heard.navigations, std::vector<std::u16string>{u"about:blank"});
  EXPECT_EQ(heard.documents, 0);
  EXPECT_EQ(References(sink.get()), 1U);
}

// The arguments of a NewWindow2 (ppDisp, Cancel) or NewWindow3 (ppDisp,
// Cancel, dwFlags, bstrUrlContext, bstrUrl), last first as DISPPARAMS
// carries them, with Cancel in one of the forms below.
enum class CancelForm { kBoolReference, kVariantReference, kNullReference, kByValue, kIntReference };

class NewWindowArguments {
 public:
  NewWindowArguments(DISPID member, CancelForm form) {
    for (VARIANT& argument : arguments_) ::VariantInit(&argument);
    ::VariantInit(&held_);
    VARIANT* next = arguments_;
    if (member == DISPID_NEWWINDOW3) {
      url_ = ::SysAllocString(L"file:///C:/Users/reader/AppData/Local/Temp/book/help.html");
      context_ = ::SysAllocString(L"file:///C:/Users/reader/AppData/Local/Temp/book/index.html");
      V_VT(next) = VT_BSTR;
      V_BSTR(next++) = url_;
      V_VT(next) = VT_BSTR;
      V_BSTR(next++) = context_;
      V_VT(next) = VT_I4;
      V_I4(next++) = 0x6;  // NWMF_USERINITED | NWMF_FIRST
    }
    cancelIndex = static_cast<UINT>(next - arguments_);
    VARIANT& cancel = *next++;
    switch (form) {
      case CancelForm::kBoolReference:
        V_VT(&cancel) = VT_BYREF | VT_BOOL;
        V_BOOLREF(&cancel) = &flag;
        break;
      case CancelForm::kVariantReference:
        V_VT(&held_) = VT_BOOL;
        V_BOOL(&held_) = VARIANT_FALSE;
        V_VT(&cancel) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&cancel) = &held_;
        break;
      case CancelForm::kNullReference:
        V_VT(&cancel) = VT_BYREF | VT_BOOL;
        V_BOOLREF(&cancel) = nullptr;
        break;
      case CancelForm::kByValue:
        V_VT(&cancel) = VT_BOOL;
        V_BOOL(&cancel) = VARIANT_FALSE;
        break;
      case CancelForm::kIntReference:
        V_VT(&cancel) = VT_BYREF | VT_I4;
        V_I4REF(&cancel) = &number_;
        break;
    }
    V_VT(next) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(next++) = &window_;
    params_.rgvarg = arguments_;
    params_.cArgs = static_cast<UINT>(next - arguments_);
  }
  NewWindowArguments(const NewWindowArguments&) = delete;
  NewWindowArguments& operator=(const NewWindowArguments&) = delete;
  ~NewWindowArguments() {
    ::SysFreeString(url_);
    ::SysFreeString(context_);
  }

  // Whether the request was cancelled, in whichever form Cancel came; and
  // that nothing else was written.
  [[nodiscard]] bool Cancelled() const {
    return flag == VARIANT_TRUE || (V_VT(&held_) == VT_BOOL && V_BOOL(&held_) == VARIANT_TRUE) || number_ != 0;
  }
  [[nodiscard]] bool Untouched() const { return window_ == nullptr && number_ == 0; }

  DISPPARAMS* params() { return &params_; }
  // Keeps only the first count arguments, as a sender that gave too few would.
  NewWindowArguments& Count(UINT count) {
    params_.rgvarg = arguments_ + (params_.cArgs - count);
    params_.cArgs = count;
    return *this;
  }

  VARIANT_BOOL flag = VARIANT_FALSE;
  UINT cancelIndex = 0;

 private:
  VARIANT arguments_[5];
  VARIANT held_;
  BSTR url_ = nullptr;
  BSTR context_ = nullptr;
  IDispatch* window_ = nullptr;
  LONG number_ = 0;
  DISPPARAMS params_{nullptr, nullptr, 0, 0};
};

TEST(WebBrowserEventSinkTest, APageAskingForANewWindowIsCancelledAndNothingIsOpened) {
  struct Case {
    const char* what;
    DISPID member;
    CancelForm form;
    UINT count;  // 0: all of them
    HRESULT result;
    bool cancelled;
  };
  const Case cases[] = {
      {"NewWindow2, as the control sends it", DISPID_NEWWINDOW2, CancelForm::kBoolReference, 0, S_OK, true},
      {"NewWindow3, as the control sends it", DISPID_NEWWINDOW3, CancelForm::kBoolReference, 0, S_OK, true},
      {"NewWindow2, Cancel in a variant referred to", DISPID_NEWWINDOW2, CancelForm::kVariantReference, 0, S_OK,
       true},
      {"NewWindow3, Cancel in a variant referred to", DISPID_NEWWINDOW3, CancelForm::kVariantReference, 0, S_OK,
       true},
      {"Cancel a null reference", DISPID_NEWWINDOW3, CancelForm::kNullReference, 0, DISP_E_TYPEMISMATCH, false},
      {"Cancel by value, which cannot answer", DISPID_NEWWINDOW2, CancelForm::kByValue, 0, DISP_E_TYPEMISMATCH,
       false},
      {"Cancel a reference to a number", DISPID_NEWWINDOW3, CancelForm::kIntReference, 0, DISP_E_TYPEMISMATCH,
       false},
      {"NewWindow3 with only NewWindow2's arguments", DISPID_NEWWINDOW3, CancelForm::kBoolReference, 2,
       DISP_E_BADPARAMCOUNT, false},
      {"NewWindow2 with one argument", DISPID_NEWWINDOW2, CancelForm::kBoolReference, 1, DISP_E_BADPARAMCOUNT, false},
  };
  for (const Case& c : cases) {
    Heard heard;
    const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create(Listen(heard));
    NewWindowArguments arguments(c.member, c.form);
    if (c.count != 0) arguments.Count(c.count);
    UINT badArgument = 99;
    EXPECT_EQ(sink->Invoke(c.member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, arguments.params(), nullptr,
                           nullptr, &badArgument),
              c.result)
        << c.what;
    EXPECT_EQ(arguments.Cancelled(), c.cancelled) << c.what;
    EXPECT_TRUE(arguments.Untouched()) << c.what;
    EXPECT_EQ(badArgument, c.result == DISP_E_TYPEMISMATCH ? arguments.cancelIndex : 99U) << c.what;
    // Nothing is opened instead, in the book's window either.
    EXPECT_TRUE(heard.navigations.empty()) << c.what;
    EXPECT_EQ(heard.documents, 0) << c.what;
  }

  // No arguments at all; and a sink whose owner has gone still cancels.
  const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create({});
  EXPECT_EQ(Send(*sink.get(), DISPID_NEWWINDOW3, nullptr), DISP_E_BADPARAMCOUNT);
  sink->Disconnect();
  for (const DISPID member : {DISPID_NEWWINDOW2, DISPID_NEWWINDOW3}) {
    NewWindowArguments arguments(member, CancelForm::kBoolReference);
    EXPECT_EQ(Send(*sink.get(), member, arguments.params()), S_OK);
    EXPECT_EQ(arguments.flag, VARIANT_TRUE) << member;
  }
  EXPECT_EQ(References(sink.get()), 1U);
}

// FileDownload (ActiveDocument, Cancel), last first: a page's download is
// cancelled before the control asks where to save it; a page the control
// shows itself goes on.
TEST(WebBrowserEventSinkTest, APageDownloadIsCancelledAndAShownDocumentIsNot) {
  struct Case {
    const char* what;
    VARIANT_BOOL activeDocument;
    UINT count;
    HRESULT result;
    bool cancelled;
  };
  const Case cases[] = {
      {"a file to save", VARIANT_FALSE, 2, S_OK, true},
      {"a document the control shows", VARIANT_TRUE, 2, S_OK, false},
      {"Cancel alone", VARIANT_FALSE, 1, DISP_E_BADPARAMCOUNT, false},
  };
  for (const Case& c : cases) {
    Heard heard;
    const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create(Listen(heard));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT arguments[2];
    V_VT(&arguments[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&arguments[0]) = &cancel;
    V_VT(&arguments[1]) = VT_BOOL;
    V_BOOL(&arguments[1]) = c.activeDocument;
    DISPPARAMS params{arguments, nullptr, c.count, 0};
    EXPECT_EQ(Send(*sink.get(), DISPID_FILEDOWNLOAD, &params), c.result) << c.what;
    EXPECT_EQ(cancel == VARIANT_TRUE, c.cancelled) << c.what;
    EXPECT_TRUE(heard.navigations.empty()) << c.what;
  }
}

// The viewer's document handler pauses, pumping messages; a close in that
// pause takes the browser down, and with it the last references to the sink.
TEST(WebBrowserEventSinkTest, ACallbackThatDropsTheLastReferenceFindsTheSinkStillThereAndNothingLeaks) {
  // Held by the callback alone, so it goes when the sink does.
  std::weak_ptr<int> watch;
  long insideCallback = -1;
  ComPtr<WebBrowserEventSink> owner;
  {
    auto token = std::make_shared<int>(0);
    watch = token;
    owner = WebBrowserEventSink::Create({[&owner, &watch, &insideCallback, token = std::move(token)](
                                             std::u16string_view /*url*/) {
                                           owner.reset();
                                           // The sink's own copy of this callback, and the one being run.
                                           insideCallback = watch.use_count();
                                         },
                                         {}});
  }
  WebBrowserEventSink* sink = owner.get();
  EventArguments arguments;
  arguments.UrlByVariantReference(u"about:blank");
  EXPECT_EQ(Send(*sink, DISPID_NAVIGATECOMPLETE2, arguments.params()), S_OK);
  EXPECT_EQ(insideCallback, 2);
  EXPECT_TRUE(watch.expired()) << "the sink outlived the call";
}

TEST(EventConnectionTest, UnadvisesWithItsCookieAndKeepsNoReference) {
  FakeEventSource source(DIID_DWebBrowserEvents2);
  const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create({});
  {
    EventConnection connection;
    ASSERT_EQ(connection.Connect(static_cast<IConnectionPointContainer*>(&source), DIID_DWebBrowserEvents2,
                                 static_cast<IDispatch*>(sink.get())),
              S_OK);
    EXPECT_TRUE(connection.Connected());
    EXPECT_TRUE(source.Advised());
    EXPECT_EQ(References(sink.get()), 2U);  // the point's
    EXPECT_EQ(source.references, 1U);       // the connection's, on its point
  }
  EXPECT_EQ(source.unadvised, std::vector<DWORD>{FakeEventSource::kCookie});
  EXPECT_EQ(References(sink.get()), 1U);
  EXPECT_EQ(source.references, 0U);
}

TEST(EventConnectionTest, ConnectingAgainUnadvisesTheFirstSourceSoNoEventComesTwice) {
  FakeEventSource first(DIID_DWebBrowserEvents2);
  FakeEventSource second(DIID_DWebBrowserEvents2);
  const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create({});
  IUnknown* events = static_cast<IDispatch*>(sink.get());
  {
    EventConnection connection;
    ASSERT_EQ(connection.Connect(static_cast<IConnectionPointContainer*>(&first), DIID_DWebBrowserEvents2, events),
              S_OK);
    ASSERT_EQ(connection.Connect(static_cast<IConnectionPointContainer*>(&second), DIID_DWebBrowserEvents2, events),
              S_OK);
    EXPECT_FALSE(first.Advised());
    EXPECT_EQ(first.unadvised, std::vector<DWORD>{FakeEventSource::kCookie});
    EXPECT_EQ(first.references, 0U);
    EXPECT_TRUE(second.Advised());
    EXPECT_EQ(References(sink.get()), 2U);  // the second point's alone
    // A connection that then fails leaves none: the second is dropped too.
    EXPECT_EQ(connection.Connect(nullptr, DIID_DWebBrowserEvents2, events), E_POINTER);
    EXPECT_FALSE(connection.Connected());
    EXPECT_FALSE(second.Advised());
  }
  EXPECT_EQ(second.unadvised, std::vector<DWORD>{FakeEventSource::kCookie});
  EXPECT_EQ(second.references, 0U);
  EXPECT_EQ(References(sink.get()), 1U);
}

TEST(EventConnectionTest, AFailedConnectionAdvisesNothingAndHoldsNothing) {
  struct Case {
    const char* what;
    IID offered;  // the events the source has a point for
    bool refuseAdvise;
    bool containerAtAll;
    HRESULT result;
  };
  const Case cases[] = {
      {"no connection points", DIID_DWebBrowserEvents2, false, false, E_NOINTERFACE},
      {"no point for these events", IID_IDispatch, false, true, CONNECT_E_NOCONNECTION},
      {"the point refuses", DIID_DWebBrowserEvents2, true, true, CONNECT_E_CANNOTCONNECT},
  };
  for (const Case& c : cases) {
    FakeEventSource source(c.offered);
    source.refuseAdvise = c.refuseAdvise;
    Counted plain;
    IUnknown* object = c.containerAtAll ? static_cast<IConnectionPointContainer*>(&source)
                                        : static_cast<IUnknown*>(&plain);
    const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create({});
    {
      EventConnection connection;
      EXPECT_EQ(connection.Connect(object, DIID_DWebBrowserEvents2, static_cast<IDispatch*>(sink.get())), c.result)
          << c.what;
      EXPECT_FALSE(connection.Connected()) << c.what;
    }
    EXPECT_TRUE(source.unadvised.empty()) << c.what;
    EXPECT_EQ(References(sink.get()), 1U) << c.what;
    EXPECT_EQ(source.references, 0U) << c.what;
    EXPECT_EQ(plain.references, 0U) << c.what;
  }
}

// --- the host object ---

TEST(ComIdentityTest, TheSinkAndTheSiteAnswerForTheirInterfacesAndGiveEveryReferenceBack) {
  const ComPtr<WebBrowserEventSink> sink = WebBrowserEventSink::Create({});
  const ComPtr<WebBrowserSite> site = WebBrowserSite::Create(nullptr);
  struct Case {
    const char* what;
    IUnknown* object;
    IID iid;
    bool answers;
  };
  IUnknown* sinkUnknown = static_cast<IDispatch*>(sink.get());
  IUnknown* siteUnknown = static_cast<IOleClientSite*>(site.get());
  const Case cases[] = {
      {"sink: IUnknown", sinkUnknown, IID_IUnknown, true},
      {"sink: IDispatch", sinkUnknown, IID_IDispatch, true},
      {"sink: DWebBrowserEvents2", sinkUnknown, DIID_DWebBrowserEvents2, true},
      {"sink: IOleClientSite", sinkUnknown, IID_IOleClientSite, false},
      {"site: IUnknown", siteUnknown, IID_IUnknown, true},
      {"site: IOleClientSite", siteUnknown, IID_IOleClientSite, true},
      {"site: IOleWindow", siteUnknown, IID_IOleWindow, true},
      {"site: IOleInPlaceSite", siteUnknown, IID_IOleInPlaceSite, true},
      {"site: IOleInPlaceUIWindow", siteUnknown, IID_IOleInPlaceUIWindow, true},
      {"site: IOleInPlaceFrame", siteUnknown, IID_IOleInPlaceFrame, true},
      {"site: IDocHostUIHandler", siteUnknown, IID_IDocHostUIHandler, true},
      {"site: IDispatch", siteUnknown, IID_IDispatch, false},
      {"site: IOleInPlaceSiteEx", siteUnknown, IID_IOleInPlaceSiteEx, false},
  };
  for (const Case& c : cases) {
    void* answer = reinterpret_cast<void*>(1);
    const HRESULT result = c.object->QueryInterface(c.iid, &answer);
    if (!c.answers) {
      EXPECT_EQ(result, E_NOINTERFACE) << c.what;
      EXPECT_EQ(answer, nullptr) << c.what;
      continue;
    }
    ASSERT_EQ(result, S_OK) << c.what;
    ASSERT_NE(answer, nullptr) << c.what;
    // Every interface leads back to the same object.
    auto* answered = static_cast<IUnknown*>(answer);
    void* identity = nullptr;
    ASSERT_EQ(answered->QueryInterface(IID_IUnknown, &identity), S_OK) << c.what;
    EXPECT_EQ(identity, c.object) << c.what;
    static_cast<IUnknown*>(identity)->Release();
    answered->Release();
  }
  EXPECT_EQ(References(sinkUnknown), 1U);
  EXPECT_EQ(References(siteUnknown), 1U);
}

TEST_F(FormWindows, TheSiteGivesTheControlItsWindowAndFrameWhileTheWindowIsThere) {
  const ComPtr<WebBrowserSite> site = WebBrowserSite::Create(child_);
  HWND window = nullptr;
  EXPECT_EQ(site->GetWindow(&window), S_OK);
  EXPECT_EQ(window, child_);
  EXPECT_EQ(site->CanInPlaceActivate(), S_OK);

  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(1);
  RECT position{};
  RECT clip{};
  OLEINPLACEFRAMEINFO info{};
  ASSERT_EQ(site->GetWindowContext(&frame, &document, &position, &clip, &info), S_OK);
  EXPECT_EQ(frame, static_cast<IOleInPlaceFrame*>(site.get()));
  EXPECT_EQ(document, nullptr);
  EXPECT_EQ(position.right - position.left, 300);
  EXPECT_EQ(position.bottom - position.top, 200);
  EXPECT_TRUE(::EqualRect(&position, &clip));
  EXPECT_EQ(info.hwndFrame, form_);
  EXPECT_EQ(info.haccel, nullptr);
  frame->Release();

  DOCHOSTUIINFO host{};
  host.cbSize = sizeof host;
  ASSERT_EQ(site->GetHostInfo(&host), S_OK);
  EXPECT_NE(host.dwFlags & DOCHOSTUIFLAG_NO3DBORDER, 0U);

  // It holds the active object once, for as long as the control says.
  FakeActiveObject active;
  EXPECT_EQ(site->SetActiveObject(&active, nullptr), S_OK);
  EXPECT_EQ(site->ActiveObject(), &active);
  EXPECT_EQ(site->SetActiveObject(&active, nullptr), S_OK);
  EXPECT_EQ(active.references, 1U);
  EXPECT_EQ(site->SetActiveObject(nullptr, nullptr), S_OK);
  EXPECT_EQ(active.references, 0U);

  // Once detached it has no window to give, and holds nothing.
  EXPECT_EQ(site->SetActiveObject(&active, nullptr), S_OK);
  site->Detach();
  EXPECT_EQ(active.references, 0U);
  EXPECT_EQ(site->SetActiveObject(&active, nullptr), S_OK);
  EXPECT_EQ(active.references, 0U);
  EXPECT_EQ(site->GetWindow(&window), E_FAIL);
  EXPECT_NE(site->CanInPlaceActivate(), S_OK);
  frame = reinterpret_cast<IOleInPlaceFrame*>(1);
  EXPECT_EQ(site->GetWindowContext(&frame, &document, &position, &clip, &info), E_FAIL);
  EXPECT_EQ(frame, nullptr);
  EXPECT_EQ(References(static_cast<IOleClientSite*>(site.get())), 1U);
}

// --- the reader's keys ---

TEST(ReaderKeyTest, CtrlPlusMinusAndZeroZoomAltLeftGoesBack) {
  constexpr LPARAM kExtended = LPARAM{1} << 24;
  constexpr KeyModifiers kNone{};
  constexpr KeyModifiers kCtrl{true, false, false};
  constexpr KeyModifiers kCtrlShift{true, false, true};
  constexpr KeyModifiers kAlt{false, true, false};
  constexpr KeyModifiers kAltGr{true, true, false};
  constexpr KeyModifiers kAltShift{false, true, true};
  struct Case {
    const char* what;
    UINT message;
    WPARAM key;
    LPARAM flags;
    KeyModifiers modifiers;
    ReaderKey expected;
  };
  const Case cases[] = {
      {"Ctrl+=", WM_KEYDOWN, VK_OEM_PLUS, 0, kCtrl, ReaderKey::kZoomIn},
      {"Ctrl+Shift+= (plus)", WM_KEYDOWN, VK_OEM_PLUS, 0, kCtrlShift, ReaderKey::kZoomIn},
      {"Ctrl+keypad plus", WM_KEYDOWN, VK_ADD, 0, kCtrl, ReaderKey::kZoomIn},
      {"Ctrl+minus", WM_KEYDOWN, VK_OEM_MINUS, 0, kCtrl, ReaderKey::kZoomOut},
      {"Ctrl+keypad minus", WM_KEYDOWN, VK_SUBTRACT, 0, kCtrl, ReaderKey::kZoomOut},
      {"Ctrl+0", WM_KEYDOWN, '0', 0, kCtrl, ReaderKey::kZoomReset},
      {"Ctrl+keypad 0", WM_KEYDOWN, VK_NUMPAD0, 0, kCtrl, ReaderKey::kZoomReset},
      {"Ctrl+keypad 0 with Num Lock off", WM_KEYDOWN, VK_INSERT, 0, kCtrl, ReaderKey::kZoomReset},
      {"Ctrl+Insert copies", WM_KEYDOWN, VK_INSERT, kExtended, kCtrl, ReaderKey::kNone},
      {"plus alone is the page's", WM_KEYDOWN, VK_OEM_PLUS, 0, kNone, ReaderKey::kNone},
      {"AltGr with 0 types a character", WM_KEYDOWN, '0', 0, kAltGr, ReaderKey::kNone},
      {"the key going up", WM_KEYUP, VK_OEM_PLUS, 0, kCtrl, ReaderKey::kNone},
      {"a character", WM_CHAR, '0', 0, kCtrl, ReaderKey::kNone},
      {"Alt+Left", WM_SYSKEYDOWN, VK_LEFT, kExtended, kAlt, ReaderKey::kBack},
      {"Alt+keypad Left", WM_SYSKEYDOWN, VK_LEFT, 0, kAlt, ReaderKey::kBack},
      {"Alt+Shift+Left", WM_SYSKEYDOWN, VK_LEFT, kExtended, kAltShift, ReaderKey::kNone},
      {"Ctrl+Left moves by words", WM_KEYDOWN, VK_LEFT, kExtended, kCtrl, ReaderKey::kNone},
      {"Left alone", WM_KEYDOWN, VK_LEFT, kExtended, kNone, ReaderKey::kNone},
  };
  for (const Case& c : cases) {
    MSG message{};
    message.message = c.message;
    message.wParam = c.key;
    message.lParam = c.flags;
    EXPECT_EQ(ReaderKeyFor(message, c.modifiers), c.expected) << c.what;
  }
}

// --- the zoom ---

// The control's zoom command as the test makes it answer: what it tells when
// asked, whether it takes a level, and the levels it was given.
struct FakeOpticalZoom {
  HRESULT tells = S_OK;
  VARTYPE type = VT_I4;
  LONG percent = 100;
  HRESULT takes = S_OK;
  std::vector<LONG> given;
  int badCalls = 0;  // neither or both of in and out

  OpticalZoomCommand Command() {
    return [this](VARIANT* in, VARIANT* out) -> HRESULT {
      if ((in == nullptr) == (out == nullptr)) {
        ++badCalls;
        return E_INVALIDARG;
      }
      if (out != nullptr) {
        if (FAILED(tells)) return tells;
        V_VT(out) = type;
        if (type == VT_I4) V_I4(out) = percent;
        if (type == VT_BSTR) V_BSTR(out) = ::SysAllocString(L"120");
        return S_OK;
      }
      if (V_VT(in) != VT_I4) {
        ++badCalls;
        return E_INVALIDARG;
      }
      given.push_back(V_I4(in));
      return takes;
    };
  }
};

TEST(OpticalZoomTest, StepsFromTheLevelTheControlTellsElseFromTheLastOneSet) {
  struct Case {
    const char* what;
    HRESULT tells;
    VARTYPE type;
    LONG percent;
    HRESULT takes;
    double last;
    int direction;
    LONG given;
    double result;
  };
  const Case cases[] = {
      {"larger from the normal size", S_OK, VT_I4, 100, S_OK, 1.0, 1, 110, 1.1},
      {"smaller from the normal size", S_OK, VT_I4, 100, S_OK, 1.0, -1, 90, 0.9},
      {"the normal size again", S_OK, VT_I4, 240, S_OK, 2.4, 0, 100, 1.0},
      {"the control's level wins over the last one set", S_OK, VT_I4, 150, S_OK, 1.0, 1, 170, 1.7},
      {"a level in percent that rounds: 67", S_OK, VT_I4, 67, S_OK, 0.67, 1, 80, 0.8},
      {"to a level that rounds: 1.33", S_OK, VT_I4, 120, S_OK, 1.2, 1, 133, 1.33},
      {"a level of the reader's own, between two", S_OK, VT_I4, 115, S_OK, 1.0, -1, 110, 1.1},
      {"no larger than the largest", S_OK, VT_I4, 300, S_OK, 3.0, 1, 300, 3.0},
      {"no smaller than the smallest", S_OK, VT_I4, 30, S_OK, 0.3, -1, 30, 0.3},
      {"the control tells nothing", E_FAIL, VT_I4, 0, S_OK, 1.5, 1, 170, 1.7},
      {"the control tells no number", S_OK, VT_BSTR, 0, S_OK, 1.5, -1, 133, 1.33},
      {"the control tells an empty level", S_OK, VT_EMPTY, 0, S_OK, 0.8, 1, 90, 0.9},
      {"the control tells 0", S_OK, VT_I4, 0, S_OK, 2.0, 1, 240, 2.4},
      {"the control tells a negative level", S_OK, VT_I4, -100, S_OK, 2.0, -1, 170, 1.7},
      {"the control refuses the level", S_OK, VT_I4, 100, OLECMDERR_E_NOTSUPPORTED, 1.2, 1, 110, 1.2},
  };
  for (const Case& c : cases) {
    FakeOpticalZoom zoom;
    zoom.tells = c.tells;
    zoom.type = c.type;
    zoom.percent = c.percent;
    zoom.takes = c.takes;
    EXPECT_DOUBLE_EQ(StepOpticalZoom(zoom.Command(), c.last, c.direction), c.result) << c.what;
    EXPECT_EQ(zoom.given, std::vector<LONG>{c.given}) << c.what;
    EXPECT_EQ(zoom.badCalls, 0) << c.what;
  }
}

// --- the system's control ---

class Win32WebBrowserTest : public FormWindows {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    FormWindows::SetUp();
  }
  void TearDown() override {
    FormWindows::TearDown();
    ::OleUninitialize();
  }

  // The control in the form. Windows and Wine both have it: not making it
  // is a fault.
  std::unique_ptr<Win32WebBrowser> MakeBrowser(Heard& heard) {
    WebBrowserCreation made = Win32WebBrowser::Create(form_, RECT{0, 0, 489, 209}, Listen(heard));
    if (!made.browser) ADD_FAILURE() << made.failure;
    return std::move(made.browser);
  }

  static int ChildCount(HWND window) {
    int count = 0;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
      ++count;
    return count;
  }
};

TEST_F(Win32WebBrowserTest, WhatCannotBeMadeIsSaidAndLeavesNothingBehind) {
  // A class that exists nowhere stands for a system without the control.
  constexpr CLSID kNoSuchControl = {0x5a1c0e2b, 0x1d3f, 0x4e6a, {0x9b, 0x11, 0x7c, 0x2d, 0x40, 0x5e, 0x61, 0x08}};
  struct Case {
    const char* what;
    bool parent;
    const CLSID* control;
    HRESULT code;
    const char* says;
  };
  const Case cases[] = {
      {"no control of that class", true, &kNoSuchControl, REGDB_E_CLASSNOTREG, "OleCreate"},
      {"no window to show it in", false, &CLSID_WebBrowser, E_INVALIDARG, "window"},
  };
  for (const Case& c : cases) {
    const int children = ChildCount(form_);
    WebBrowserCreation made = Win32WebBrowser::Create(c.parent ? form_ : nullptr, RECT{0, 0, 100, 100}, {}, *c.control);
    EXPECT_EQ(made.browser, nullptr) << c.what;
    EXPECT_EQ(made.code, c.code) << c.what;
    EXPECT_NE(made.failure.find("web browser control could not be started"), std::string::npos) << made.failure;
    EXPECT_NE(made.failure.find(c.says), std::string::npos) << made.failure;
    EXPECT_EQ(ChildCount(form_), children) << c.what;
  }
}

TEST_F(Win32WebBrowserTest, TheControlFillsItsWindowThroughEveryResize) {
  Heard heard;
  const std::unique_ptr<Win32WebBrowser> browser = MakeBrowser(heard);
  if (!browser) return;
  ASSERT_EQ(::GetParent(browser->Window()), form_);
  // The control's own window, inside ours.
  HWND control = ::GetWindow(browser->Window(), GW_CHILD);
  ASSERT_NE(control, nullptr);

  struct Case {
    int left, top, width, height;
    int expectedWidth, expectedHeight;
  };
  const Case cases[] = {
      {0, 0, 630, 400, 630, 400},
      {5, 7, 100, 50, 100, 50},
      {0, 0, -10, -66, 0, 0},  // what the sizing rule gives a tiny form
  };
  for (const Case& c : cases) {
    browser->SetBounds(c.left, c.top, c.width, c.height);
    RECT placed{};
    ::GetWindowRect(browser->Window(), &placed);
    ::MapWindowPoints(HWND_DESKTOP, form_, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, c.left);
    EXPECT_EQ(placed.top, c.top);
    RECT inner{};
    ::GetClientRect(control, &inner);
    EXPECT_EQ(inner.right - inner.left, c.expectedWidth) << c.width << "x" << c.height;
    EXPECT_EQ(inner.bottom - inner.top, c.expectedHeight) << c.width << "x" << c.height;
  }
}

TEST_F(Win32WebBrowserTest, NavigatesAndTellsItsAddress) {
  Heard heard;
  const std::unique_ptr<Win32WebBrowser> browser = MakeBrowser(heard);
  if (!browser) return;
  browser->Navigate(u"about:blank");
  // The control may load the page later, but it knows where it goes at once.
  EXPECT_EQ(browser->LocationURL(), u"about:blank");
  // Neither does anything harmful where the control cannot do it.
  browser->Zoom(1);
  browser->GoBack();
}

// Ctrl as held down for the keys this thread handles next.
void HoldControl(bool held) {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = held ? 0x80 : 0;
  keys[VK_LCONTROL] = keys[VK_CONTROL];
  ::SetKeyboardState(keys);
}

TEST_F(Win32WebBrowserTest, ReaderKeysCountInTheFormAndThePagesKeysOnlyInsideTheControl) {
  Heard heard;
  const std::unique_ptr<Win32WebBrowser> browser = MakeBrowser(heard);
  if (!browser) return;
  FakeActiveObject active;
  browser->Site().SetActiveObject(&active, nullptr);
  HWND inside = ::GetWindow(browser->Window(), GW_CHILD);
  ASSERT_NE(inside, nullptr);
  HWND elsewhere = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                     nullptr);
  struct Case {
    const char* what;
    HWND window;
    UINT message;
    WPARAM key;
    bool control;
    bool take;
    bool taken;
    bool reachesPage;
  };
  const Case cases[] = {
      {"a key in the page that the page takes", inside, WM_KEYDOWN, VK_TAB, false, true, true, true},
      {"a key in the page that the page leaves", inside, WM_KEYDOWN, VK_TAB, false, false, false, true},
      {"a key in the form beside the control", child_, WM_KEYDOWN, VK_TAB, false, true, false, false},
      {"a key in another window", elsewhere, WM_KEYDOWN, VK_TAB, false, true, false, false},
      {"no key at all", inside, WM_MOUSEMOVE, VK_TAB, false, true, false, false},
      {"Ctrl+0 in the page is the reader's", inside, WM_KEYDOWN, '0', true, false, true, false},
      {"Ctrl+0 beside the control too", child_, WM_KEYDOWN, '0', true, false, true, false},
      {"Ctrl+0 in another window is not", elsewhere, WM_KEYDOWN, '0', true, false, false, false},
  };
  for (const Case& c : cases) {
    active.keys.clear();
    active.take = c.take;
    MSG message{};
    message.hwnd = c.window;
    message.message = c.message;
    message.wParam = c.key;
    HoldControl(c.control);
    EXPECT_EQ(browser->TranslateAccelerator(message), c.taken) << c.what;
    HoldControl(false);
    EXPECT_EQ(active.keys.size(), c.reachesPage ? 1U : 0U) << c.what;
  }
  ::DestroyWindow(elsewhere);
  browser->Site().SetActiveObject(nullptr, nullptr);
  EXPECT_EQ(active.references, 0U);
}

TEST_F(Win32WebBrowserTest, TakingItDownGivesBackEveryReferenceTheControlHeld) {
  Heard heard;
  std::unique_ptr<Win32WebBrowser> browser = MakeBrowser(heard);
  if (!browser) return;
  browser->Navigate(u"about:blank");
  const ComPtr<WebBrowserSite> site = ComPtr<WebBrowserSite>::Share(&browser->Site());
  const ComPtr<WebBrowserEventSink> sink = ComPtr<WebBrowserEventSink>::Share(&browser->EventSink());
  HWND window = browser->Window();
  // The control holds them while it lives.
  EXPECT_GT(References(static_cast<IOleClientSite*>(site.get())), 2U);
  EXPECT_GT(References(sink.get()), 2U);
  browser.reset();
  EXPECT_EQ(References(static_cast<IOleClientSite*>(site.get())), 1U);
  EXPECT_EQ(References(sink.get()), 1U);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(ChildCount(form_), 1);  // the stand-in child alone
}

}  // namespace
}  // namespace pagimor::win32
