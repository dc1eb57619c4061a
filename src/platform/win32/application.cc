#include "platform/win32/application.h"

#include <commctrl.h>
#include <ole2.h>

#include <utility>

#include "MessDlgs/MessDlgs.h"
#include "MessDlgs/win32/MessageForm.h"
#include "platform/process.h"
#include "platform/win32/path.h"
#include "platform/win32/timer.h"
#include "platform/win32/window_owner.h"

namespace pagimor::win32 {
namespace {

// The class atom of the system's dialog windows (WC_DIALOG).
constexpr ULONG_PTR kDialogClassAtom = 32770;
// The longest path the wide calls take, in units.

// A text the system writes into a buffer it first says the size of.
template <typename Call>
std::string SystemText(Call call) {
  const int size = call(nullptr, 0);
  if (size <= 0) return {};
  std::wstring buffer(static_cast<std::size_t>(size), L'\0');
  const int written = call(buffer.data(), size);
  if (written <= 0) return {};
  buffer.resize(static_cast<std::size_t>(written - 1));  // without its NUL
  return WideToUtf8(buffer);
}

}  // namespace

Win32Application::Win32Application() = default;

Win32Application::~Win32Application() {
  message_window_.reset();
  message_class_.reset();
  if (ole_initialized_) ::OleUninitialize();
}

void Win32Application::Initialize() {
  if (!ole_initialized_) ole_initialized_ = SUCCEEDED(::OleInitialize(nullptr));
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  MessageWindow();
}

void Win32Application::SetTitle(std::string_view title) { title_ = std::string(title); }

void Win32Application::RunMessageLoop() {
  while (!Terminated()) {
    if (!ProcessMessage()) ::MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

// Terminate() only ever runs inside a message the loop dispatched (a close
// request, a timer, a page event), and the loop looks at Terminated() after
// every message: nothing needs to wake it.
void Win32Application::QuitMessageLoop() {}

void Win32Application::ProcessMessages() {
  while (ProcessMessage()) {
  }
}

bool Win32Application::ProcessMessage() {
  MSG message{};
  if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    // Whoever asks the thread to end ends the application.
    Terminate();
    return true;
  }
  if (accelerator_table_ != nullptr && message.hwnd != nullptr &&
      (message.hwnd == accelerator_window_ || ::IsChild(accelerator_window_, message.hwnd)) &&
      ::TranslateAcceleratorW(accelerator_window_, accelerator_table_, &message)) {
    return true;
  }
  if (message_filter_) {
    // A copy: the filter may be replaced while it runs.
    const std::function<bool(MSG&)> filter = message_filter_;
    if (filter(message)) return true;
  }
  // A modeless dialog moves its focus with Tab and takes Enter and Escape.
  HWND root = message.hwnd != nullptr ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr && ::GetClassLongPtrW(root, GCW_ATOM) == kDialogClassAtom &&
      ::IsDialogMessageW(root, &message)) {
    return true;
  }
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
  return true;
}

void Win32Application::WaitForMessage(TickCount deadline) {
  const TickCount left = deadline - GetTickCount();
  if (left == 0 || left > 0x7FFFFFFFu) return;
  // MWMO_INPUTAVAILABLE: a message already in the queue ends the wait too,
  // not only one that arrives during it.
  ::MsgWaitForMultipleObjectsEx(0, nullptr, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

TickCount Win32Application::GetTickCount() { return ::GetTickCount(); }

std::uint64_t Win32Application::HighResolutionCounter() {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  return static_cast<std::uint64_t>(counter.QuadPart);
}

ScreenSize Win32Application::PrimaryScreenSize() {
  return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

LocalTime Win32Application::Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::string Win32Application::LongTimeText() {
  return SystemText([](wchar_t* buffer, int size) {
    return ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, buffer, size);
  });
}

std::string Win32Application::ShortDateText() {
  return SystemText([](wchar_t* buffer, int size) {
    return ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer, size, nullptr);
  });
}

std::optional<std::u16string> Win32Application::ModuleFileName() { return proc::OwnProgramPath(); }

std::u16string Win32Application::TempPath() {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return FromWide(buffer);
    }
    buffer.resize(length);  // the size it needs, with its NUL
  }
}

std::optional<OsVersionInfo> Win32Application::VersionInfo() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExA(&info)) return std::nullopt;
  return OsVersionInfo{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.szCSDVersion};
}

fs::ErrorCode Win32Application::MakeDirectory(std::u16string_view path) {
  return fs::CreatePrivateFolder(path);
}

void Win32Application::ShowPlainMessage(std::string_view text) {
  // No owner: the box stands in the middle of the screen; task-modal, so
  // the program's windows wait for it.
  ::MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(title_).c_str(), MB_OK | MB_TASKMODAL);
}

std::int32_t Win32Application::ShowLangMessage(std::string_view text, LangMessageType type,
                                               LangMessageButtons buttons, std::int32_t helpContext,
                                               MessageLanguage language) {
  // Centred, and a Custom dialog titled like the application.
  return pagimor::ShowLangMessagePos(text, type, buttons, helpContext, -1, -1, language, title_);
}

std::unique_ptr<Timer> Win32Application::CreateTimer(std::uint32_t interval, std::function<void()> onTick,
                                                     bool enabled) {
  return std::make_unique<Win32Timer>(*this, interval, std::move(onTick), enabled);
}

void Win32Application::SetAccelerators(HWND window, HACCEL table) {
  accelerator_window_ = table != nullptr ? window : nullptr;
  accelerator_table_ = window != nullptr ? table : nullptr;
}

HWND Win32Application::MessageWindow() {
  if (message_window_) return message_window_.get();
  if (!message_class_) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = MessageWindowProc;
    description.hInstance = ThisModule();
    // One class for each application object, so that a second one in the
    // same process (a test) has its own.
    const std::wstring name = L"PagimorMessageWindow-" + std::to_wstring(reinterpret_cast<std::uintptr_t>(this));
    description.lpszClassName = name.c_str();
    message_class_ = std::make_unique<WindowClass>(description);
    if (!message_class_->registered()) {
      message_class_.reset();
      return nullptr;
    }
  }
  message_window_.reset(::CreateWindowExW(0, message_class_->name(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          ThisModule(), this));
  return message_window_.get();
}

LRESULT CALLBACK Win32Application::MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* app = WindowOwner<Win32Application>(window, message, lParam);
  if (message == WM_TIMER) {
    if (app != nullptr) app->OnTimer(wParam);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void Win32Application::OnTimer(UINT_PTR id) {
  const auto found = timers_.find(id);
  if (found != timers_.end()) found->second->Tick();
}

UINT_PTR Win32Application::AddTimer(Win32Timer& timer) {
  const UINT_PTR id = next_timer_id_++;
  timers_.emplace(id, &timer);
  return id;
}

void Win32Application::RemoveTimer(UINT_PTR id) { timers_.erase(id); }

}  // namespace pagimor::win32
