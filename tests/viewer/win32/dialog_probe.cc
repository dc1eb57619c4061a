// Reads and answers the viewer's message dialogs from outside, for the
// program test: the X side sees only their titles, and under Wine a key goes
// to whichever program holds the foreground, not to the window that has the
// X focus, so with several viewers waiting at once keys cannot answer them.
//
//   dialog_probe TITLE
//
// For every visible top-level window titled TITLE, prints the path of the
// program that shows it, a tab, and the texts of its labels (line breaks
// as one space), one line per window; then presses its OK button. Exits 1 when
// there is no such window.
// First: it sets how windows.h is read.
#include "platform/win32/winapi.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/path.h"

namespace {

using pagimor::win32::WideToUtf8;

// The text the system holds for the window: asking the window itself would
// wait on a viewer that is busy, or get nothing from one that is starting.
std::wstring TextOf(HWND window) {
  std::wstring text(4096, L'\0');
  text.resize(static_cast<std::size_t>(::InternalGetWindowText(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

std::wstring ProgramOf(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  const pagimor::win32::UniqueHandle handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
  if (!handle) return L"?";
  std::wstring path(MAX_PATH * 4, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  if (!::QueryFullProcessImageNameW(handle.get(), 0, path.data(), &size)) return L"?";
  path.resize(size);
  return path;
}

struct Search {
  std::wstring title;
  std::vector<HWND> found;
};

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  if (::IsWindowVisible(window) && TextOf(window) == search.title) search.found.push_back(window);
  return TRUE;
}

struct Children {
  std::wstring labels;
  std::vector<HWND> okButtons;
};

BOOL CALLBACK VisitChild(HWND child, LPARAM data) {
  auto& children = *reinterpret_cast<Children*>(data);
  const std::wstring kind = ClassOf(child);
  const std::wstring text = TextOf(child);
  if (_wcsicmp(kind.c_str(), L"Static") == 0 && !text.empty()) {
    if (!children.labels.empty()) children.labels += L' ';
    children.labels += text;
  } else if (_wcsicmp(kind.c_str(), L"Button") == 0 && text == L"OK") {
    children.okButtons.push_back(child);
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: dialog_probe TITLE\n", stderr);
    return 2;
  }
  Search search{.title = argv[1], .found = {}};
  ::EnumWindows(&VisitTopLevel, reinterpret_cast<LPARAM>(&search));
  for (HWND dialog : search.found) {
    Children children;
    ::EnumChildWindows(dialog, &VisitChild, reinterpret_cast<LPARAM>(&children));
    std::wstring labels;
    for (wchar_t c : children.labels) {
      if (c == L'\n') labels += L' ';
      else if (c != L'\r') labels += c;
    }
    std::printf("%s\t%s\n", WideToUtf8(ProgramOf(dialog)).c_str(), WideToUtf8(labels).c_str());
    std::fflush(stdout);
    // Posted, so that a viewer busy elsewhere cannot hold this program up.
    for (HWND button : children.okButtons) ::PostMessageW(button, BM_CLICK, 0, 0);
  }
  return search.found.empty() ? 1 : 0;
}
