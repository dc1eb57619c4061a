// The Win32 application object in this process, with the viewer's manifest
// in effect: the pump and its waits, timers, the system queries, the book
// folder's creation and the plain message box. Windows need a display
// (scripts/test runs Wine on a virtual one).
#include "platform/win32/application.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/win32/path.h"

namespace pagimor::win32 {
namespace {

constexpr int kKeysDialog = 100;  // win32_test.rc

class Win32ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.Initialize();
    app_.SetTitle("EBook");
  }
  // Handles messages for ms milliseconds, as a pause does.
  void Pump(std::uint32_t ms) { PumpMessagesUntil(app_, app_.GetTickCount(), ms); }

  Win32Application app_;
};

std::uint64_t ProcessorTimeMs() {
  FILETIME created{}, exited{}, kernel{}, user{};
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) { return ((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000; };
  return ms(kernel) + ms(user);
}

// The groups of digits in a text: "21:04:05" has three.
int DigitGroups(std::string_view text) {
  int groups = 0;
  bool inGroup = false;
  for (const char c : text) {
    const bool digit = c >= '0' && c <= '9';
    if (digit && !inGroup) ++groups;
    inGroup = digit;
  }
  return groups;
}

TEST_F(Win32ApplicationTest, WaitForMessageReturnsAtTheDeadlineOrWhenAMessageIsThere) {
  struct Case {
    const char* what;
    std::function<void()> before;
    std::int64_t wait;  // deadline from now, ms
    std::uint32_t atLeast;
    std::uint32_t atMost;
  };
  const Case cases[] = {
      {"nothing comes", [] {}, 300, 300, 2000},
      {"a deadline now", [] {}, 0, 0, 100},
      {"a deadline just past", [] {}, -1, 0, 100},
      {"a message waits already", [] { ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP, 0, 0); }, 5000, 0,
       1000},
  };
  for (const Case& c : cases) {
    app_.ProcessMessages();
    c.before();
    const TickCount start = app_.GetTickCount();
    app_.WaitForMessage(static_cast<TickCount>(start + static_cast<std::uint32_t>(c.wait)));
    const TickCount elapsed = app_.GetTickCount() - start;
    EXPECT_GE(elapsed, c.atLeast) << c.what;
    EXPECT_LE(elapsed, c.atMost) << c.what;
  }
}

TEST_F(Win32ApplicationTest, APauseHandlesTimersAndLeavesTheProcessorAlone) {
  int ticks = 0;
  const auto timer = app_.CreateTimer(50, [&] { ++ticks; });
  const std::uint64_t cpuBefore = ProcessorTimeMs();
  const TickCount start = app_.GetTickCount();
  Pump(600);
  EXPECT_GE(app_.GetTickCount() - start, 600u);
  EXPECT_GE(ticks, 5);
  // Polling the counter would take the whole pause on one core.
  EXPECT_LT(ProcessorTimeMs() - cpuBefore, 300u);
}

TEST_F(Win32ApplicationTest, TimersTickOnlyWhileEnabled) {
  struct Case {
    const char* what;
    std::uint32_t interval;
    bool enabled;
    bool ticks;
  };
  const Case cases[] = {
      {"enabled", 30, true, true},
      {"made disabled", 30, false, false},
      {"an interval of 0", 0, true, false},
  };
  for (const Case& c : cases) {
    int ticks = 0;
    const auto timer = app_.CreateTimer(c.interval, [&] { ++ticks; }, c.enabled);
    EXPECT_EQ(timer->Enabled(), c.enabled) << c.what;
    EXPECT_EQ(timer->Interval(), c.interval) << c.what;
    Pump(250);
    EXPECT_EQ(ticks > 0, c.ticks) << c.what << ": " << ticks << " ticks";
    timer->SetEnabled(false);
    Pump(60);  // a tick that was due already may still come
    const int stopped = ticks;
    Pump(200);
    EXPECT_EQ(ticks, stopped) << c.what << ": ticked after it was disabled";
  }
}

TEST_F(Win32ApplicationTest, ATickThatPumpsIsNotEnteredAgain) {
  int ticks = 0;
  int depth = 0;
  int deepest = 0;
  const auto timer = app_.CreateTimer(20, [&] {
    ++ticks;
    deepest = std::max(deepest, ++depth);
    Pump(100);  // five intervals
    --depth;
  });
  Pump(400);
  EXPECT_GE(ticks, 2);
  EXPECT_EQ(deepest, 1);
}

TEST_F(Win32ApplicationTest, ATimerMayEndItselfInItsTick) {
  int ticks = 0;
  std::unique_ptr<Timer> timer;
  timer = app_.CreateTimer(20, [&] {
    ++ticks;
    timer.reset();
  });
  Pump(200);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer, nullptr);
}

TEST_F(Win32ApplicationTest, TheMessageLoopEndsWhenTheApplicationIsTerminatedOrToldToQuit) {
  struct Case {
    const char* what;
    std::function<void(Win32Application&)> end;
  };
  const Case cases[] = {
      {"terminated by a handler", [](Win32Application& app) { app.Terminate(); }},
      {"a quit message", [](Win32Application&) { ::PostQuitMessage(0); }},
  };
  for (const Case& c : cases) {
    Win32Application app;
    app.Initialize();
    const auto timer = app.CreateTimer(30, [&] { c.end(app); });
    const TickCount start = app.GetTickCount();
    app.RunMessageLoop();
    EXPECT_TRUE(app.Terminated()) << c.what;
    EXPECT_LT(app.GetTickCount() - start, 2000u) << c.what;
    app.RunMessageLoop();  // returns at once now
  }
}

TEST_F(Win32ApplicationTest, ModuleFileNameIsThisProgramAndTheReaderCanOpenIt) {
  const std::optional<std::u16string> path = app_.ModuleFileName();
  ASSERT_TRUE(path.has_value());
  const std::wstring wide = ToWide(*path);
  const std::wstring name = L"win32_application_test.exe";
  ASSERT_GT(wide.size(), name.size());
  EXPECT_EQ(::lstrcmpiW(wide.substr(wide.size() - name.size()).c_str(), name.c_str()), 0) << ToUtf8(*path);
  // The loader holds the running program open; reading it must still work.
  const fs::InputFile self(*path);
  ASSERT_TRUE(self.is_open()) << fs::ErrorText(self.error());
  std::array<std::uint8_t, 2> head{};
  EXPECT_EQ(self.ReadAt(0, head), 2);
  EXPECT_EQ(head[0], 'M');
  EXPECT_EQ(head[1], 'Z');
}

TEST_F(Win32ApplicationTest, TempPathIsAFolderEndingWithASeparator) {
  const std::u16string temp = app_.TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), u'\\');
  const DWORD attributes = ::GetFileAttributesW(ToWide(temp).c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(Win32ApplicationTest, TheTimeTextsHaveTheirParts) {
  const LocalTime now = app_.Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  // A long time has hours, minutes and seconds; a short date day, month
  // and year, in whatever order and with whatever separators.
  EXPECT_EQ(DigitGroups(app_.LongTimeText()), 3) << app_.LongTimeText();
  EXPECT_EQ(DigitGroups(app_.ShortDateText()), 3) << app_.ShortDateText();
}

// The folder's access list lets in the current user, and passes that on to
// what is made inside, and nobody else but the system itself: no
// administrators, users or everyone, as the temporary directory's own list
// would bring. (Wine keeps no list of its own but makes one from the POSIX
// mode, which holds the same answer.)
void ExpectOwnerOnly(const std::wstring& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const LocalMemory<void> owned(descriptor);
  ASSERT_NE(dacl, nullptr);

  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  const UniqueHandle ownedToken(token);
  std::vector<std::uint8_t> user(256);
  DWORD size = 0;
  ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size));
  PSID me = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  std::vector<std::uint8_t> system(SECURITY_MAX_SID_SIZE);
  size = static_cast<DWORD>(system.size());
  ASSERT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, system.data(), &size));

  bool userAllowed = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, i, &ace));
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if (::EqualSid(sid, me)) {
      userAllowed = true;
      EXPECT_EQ(allowed->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
                OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
      continue;
    }
    wchar_t* text = nullptr;
    ::ConvertSidToStringSidW(sid, &text);
    const LocalMemory<wchar_t> ownedText(text);
    EXPECT_TRUE(::EqualSid(sid, system.data())) << "also let in: " << WideToUtf8(text != nullptr ? text : L"?");
  }
  EXPECT_TRUE(userAllowed);
}

TEST_F(Win32ApplicationTest, TheBookFolderTakesAnyNameAndIsTheOwnersAlone) {
  const std::u16string folder =
      app_.TempPath() + u"pagimor-é-Ж-" + Widen(std::to_string(app_.HighResolutionCounter()));
  ASSERT_EQ(app_.MakeDirectory(folder), 0);
  EXPECT_EQ(app_.MakeDirectory(folder), ERROR_ALREADY_EXISTS);
  ExpectOwnerOnly(ToWide(folder));

  // The extraction writes into it and the end of the run empties and
  // removes it, all with the wide calls.
  const std::u16string file = fs::JoinPath(folder, u"index.html");
  fs::OutputFile out;
  ASSERT_TRUE(out.Create(file)) << fs::ErrorText(out.error());
  ASSERT_TRUE(out.Write(std::string_view("<p>")));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(fs::RemoveFile(file), 0);
  EXPECT_TRUE(::RemoveDirectoryW(NativePath(folder).c_str()));
  EXPECT_EQ(::GetFileAttributesW(ToWide(folder).c_str()), INVALID_FILE_ATTRIBUTES);

  EXPECT_EQ(app_.MakeDirectory(fs::JoinPath(folder, u"inner")), ERROR_PATH_NOT_FOUND);
}

// What a message box on screen shows.
struct BoxSeen {
  bool found = false;
  std::string title;
  std::string text;
  std::vector<std::string> buttons;
  bool icon = false;
};

BoxSeen LookAtMessageBox() {
  BoxSeen seen;
  HWND box = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM found) {
        if (::IsWindowVisible(window) && ::GetClassLongPtrW(window, GCW_ATOM) == 32770) {
          *reinterpret_cast<HWND*>(found) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&box));
  if (box == nullptr) return seen;
  seen.found = true;
  auto textOf = [](HWND window) {
    std::wstring text(512, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), 512)));
    return WideToUtf8(text);
  };
  seen.title = textOf(box);
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (!::IsWindowVisible(child)) continue;
    wchar_t cls[32] = {};
    ::GetClassNameW(child, cls, 32);
    const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
    if (::lstrcmpiW(cls, L"Button") == 0) {
      seen.buttons.push_back(textOf(child));
    } else if ((style & SS_TYPEMASK) == SS_ICON) {
      seen.icon = seen.icon || ::SendMessageW(child, STM_GETICON, 0, 0) != 0;
    } else if (::lstrcmpiW(cls, L"Static") == 0 && seen.text.empty()) {
      seen.text = textOf(child);
    }
  }
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  return seen;
}

TEST_F(Win32ApplicationTest, ThePlainMessageHasTheTitleTheTextAndOneOkButton) {
  app_.SetTitle("EBook — Ж");
  BoxSeen seen;
  // Timers go on inside the box's own loop: one looks at it and closes it.
  const auto timer = app_.CreateTimer(100, [&] {
    if (!seen.found) seen = LookAtMessageBox();
  });
  app_.ShowPlainMessage("Error by 3 — é");
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.title, "EBook — Ж");
  EXPECT_EQ(seen.text, "Error by 3 — é");
  EXPECT_EQ(seen.buttons, std::vector<std::string>{"OK"});
  EXPECT_FALSE(seen.icon);
}

// The dialog window on screen, if one is.
HWND ShownBox() {
  HWND box = nullptr;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM found) {
        if (!::IsWindowVisible(window) || ::GetClassLongPtrW(window, GCW_ATOM) != 32770) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&box));
  return box;
}

// A quit asked for while a message box is up goes to the box's own loop
// first: the box must end, and the application's loop must hear of the
// quit once, neither losing it nor finding a second one.
TEST_F(Win32ApplicationTest, AQuitDuringAMessageBoxEndsTheBoxAndThenTheLoopOnce) {
  struct Case {
    const char* what;
    std::function<void(Win32Application&)> show;
  };
  const Case cases[] = {
      {"the plain message", [](Win32Application& app) { app.ShowPlainMessage("Quit?"); }},
      {"the program's own message",
       [](Win32Application& app) {
         app.ShowLangMessage("Quit?", LangMessageType::Warning, ButtonBit(LangMessageButton::OK), 0, 0);
       }},
  };
  for (const Case& c : cases) {
    Win32Application app;
    app.Initialize();
    bool shown = false;
    bool returned = false;
    int ticksShown = 0;
    bool stuck = false;
    // Shown from inside the application's loop, as an event handler would.
    const auto show = app.CreateTimer(10, [&] {
      if (shown) return;
      shown = true;
      c.show(app);
      returned = true;
    });
    const auto quit = app.CreateTimer(30, [&] {
      HWND box = ShownBox();
      if (box == nullptr) return;
      if (++ticksShown == 2) ::PostQuitMessage(0);
      if (ticksShown == 60) {
        stuck = true;  // the box did not end on the quit: closed here
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    });
    // A loop that never heard of the quit is ended here.
    const auto limit = app.CreateTimer(8000, [&] { app.Terminate(); });
    const TickCount start = app.GetTickCount();
    app.RunMessageLoop();
    EXPECT_TRUE(returned) << c.what;
    EXPECT_FALSE(stuck) << c.what;
    EXPECT_LT(app.GetTickCount() - start, 8000u) << c.what << ": the quit was lost";
    MSG left{};
    EXPECT_FALSE(::PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << c.what << ": a second quit";
  }
}

// A top-level window that notes the commands and keys it is given.
class RecordingWindow {
 public:
  RecordingWindow() {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = Proc;
    description.hInstance = ::GetModuleHandleW(nullptr);
    description.lpszClassName = L"PagimorTestRecordingWindow";
    class_ = std::make_unique<WindowClass>(description);
    window_.reset(::CreateWindowExW(0, class_->name(), L"main", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                    nullptr, description.hInstance, this));
  }
  HWND get() const { return window_.get(); }
  std::vector<WORD> commands;
  std::vector<WPARAM> keys;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<RecordingWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_COMMAND) self->commands.push_back(LOWORD(wParam));
    if (self != nullptr && message == WM_KEYDOWN) self->keys.push_back(wParam);
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  std::unique_ptr<WindowClass> class_;
  UniqueWindow window_;
};

TEST_F(Win32ApplicationTest, TheMainWindowsShortcutsAndADialogsKeysAreHandledBeforeDispatch) {
  RecordingWindow main;
  ASSERT_NE(main.get(), nullptr);
  ACCEL shortcut{FVIRTKEY, VK_F5, 101};
  const UniqueAccelerators table(::CreateAcceleratorTableW(&shortcut, 1));
  app_.SetAccelerators(main.get(), table.get());
  ::PostMessageW(main.get(), WM_KEYDOWN, VK_F5, 1);
  app_.ProcessMessages();
  EXPECT_EQ(main.commands, std::vector<WORD>{101});
  EXPECT_TRUE(main.keys.empty());

  app_.SetAccelerators(nullptr, nullptr);
  ::PostMessageW(main.get(), WM_KEYDOWN, VK_F5, 1);
  app_.ProcessMessages();
  EXPECT_EQ(main.commands, std::vector<WORD>{101});
  EXPECT_EQ(main.keys, std::vector<WPARAM>{VK_F5});

  // Enter in a modeless dialog presses its default button.
  std::vector<WORD> dialogCommands;
  const UniqueWindow dialog(::CreateDialogParamW(
      ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kKeysDialog), nullptr,
      [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        if (message == WM_COMMAND) {
          reinterpret_cast<std::vector<WORD>*>(::GetWindowLongPtrW(window, DWLP_USER))->push_back(LOWORD(wParam));
          return TRUE;
        }
        return message == WM_INITDIALOG;
      },
      reinterpret_cast<LPARAM>(&dialogCommands)));
  ASSERT_NE(dialog.get(), nullptr);
  ::PostMessageW(::GetDlgItem(dialog.get(), IDCANCEL), WM_KEYDOWN, VK_RETURN, 1);
  app_.ProcessMessages();
  EXPECT_EQ(dialogCommands, std::vector<WORD>{IDOK});
}

// Common controls 6, the real version and DPI awareness come only from the
// manifest.
TEST_F(Win32ApplicationTest, TheViewersManifestIsInEffect) {
  const std::optional<OsVersionInfo> version = app_.VersionInfo();
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->platformId, static_cast<std::uint32_t>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(version->majorVersion, 10u) << "version " << version->majorVersion << "." << version->minorVersion;

  // Version 6 of the common controls is a side-by-side assembly; the
  // program's import of comctl32.dll reaches it only through the manifest.
  HMODULE controls = ::GetModuleHandleW(L"comctl32.dll");
  ASSERT_NE(controls, nullptr);
  std::wstring where(MAX_PATH, L'\0');
  where.resize(::GetModuleFileNameW(controls, where.data(), MAX_PATH));
  ::CharLowerW(where.data());
  EXPECT_NE(where.find(L"\\winsxs\\"), std::wstring::npos) << WideToUtf8(where);

  EXPECT_TRUE(::IsProcessDPIAware());
  const ScreenSize screen = app_.PrimaryScreenSize();
  EXPECT_GT(screen.width, 0);
  EXPECT_GT(screen.height, 0);
}

}  // namespace
}  // namespace pagimor::win32
