// Makes the Win32 pictures of the message dialog in docs/: one per language,
// type Confirmation, all eleven buttons, each cut from the screen with its
// window frame, as BMP files (docs/messdlgs.md says how they become the PNG
// files there). Run it under Wine on an X display of 24-bit colour, with no
// window manager: Wine then draws the title bars itself.
#include <array>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "MessDlgs/LangTables.h"
#include "MessDlgs/MessDlgs.h"
#include "MessDlgs/win32/MessageForm.h"
#include "messdlgs/win32_support.h"
#include "platform/win32/path.h"

namespace {

void PumpFor(DWORD ms) {
  const ULONGLONG until = ::GetTickCount64() + ms;
  pagimor::testing::PumpUntil([&] { return ::GetTickCount64() >= until; });
}

struct ScreenDCDeleter {
  void operator()(HDC dc) const { ::DeleteDC(dc); }
};
struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const { ::DeleteObject(bitmap); }
};

// Copies the rectangle from the screen and writes it as a 24-bit BMP file.
bool WriteScreenRect(const RECT& r, const std::wstring& path) {
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const pagimor::win32::WindowDC screen(nullptr);
  const std::unique_ptr<HDC__, ScreenDCDeleter> memory(::CreateCompatibleDC(screen.get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the file keeps it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const std::unique_ptr<HBITMAP__, BitmapDeleter> bitmap(
      ::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap || bits == nullptr) return false;
  {
    const pagimor::win32::SelectedObject selected(memory.get(), bitmap.get());
    if (!::BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY)) return false;
  }
  ::GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~DWORD{3};
  const DWORD imageSize = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  info.bmiHeader.biSizeImage = imageSize;

  const pagimor::win32::UniqueHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (out.get() == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return ::WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
         ::WriteFile(out.get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
         ::WriteFile(out.get(), bits, imageSize, &written, nullptr) && written == imageSize;
}

}  // namespace

int Run(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: messdlgs_win32_screenshots OUTPUT-FOLDER\n");
    return 2;
  }
  int failures = 0;
  for (std::size_t language = 0; language < pagimor::testing::kScreenshotSamples.size(); ++language) {
    const auto form =
        pagimor::BuildLangMessageDialog(pagimor::testing::kScreenshotSamples[language].text, pagimor::LangMessageType::Confirmation, 0x07FF,
                                        static_cast<pagimor::MessageLanguage>(language), "EBook");
    HWND window = form->Handle();
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    ::SendMessageW(window, WM_NEXTDLGCTL,
                   reinterpret_cast<WPARAM>(form->Button(pagimor::LangMessageButton::Yes)), TRUE);
    PumpFor(600);  // shown, activated, drawn

    RECT r{};
    ::GetWindowRect(window, &r);
    const std::wstring path = std::wstring(argv[1]) + L"\\dialog-win32-" +
                              pagimor::win32::Utf8ToWide(pagimor::testing::kScreenshotSamples[language].file) + L".bmp";
    if (!WriteScreenRect(r, path)) {
      std::fprintf(stderr, "%s not written\n", pagimor::win32::WideToUtf8(path).c_str());
      ++failures;
    } else {
      std::printf("%s %ldx%ld at %ld, %ld\n", pagimor::win32::WideToUtf8(path).c_str(), r.right - r.left,
                  r.bottom - r.top, r.left, r.top);
    }
  }
  return failures == 0 ? 0 : 1;
}

// Runs this program again with the same arguments and gives its exit code.
int RunAgain() {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  std::wstring commandLine = ::GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    std::fprintf(stderr, "messdlgs_win32_screenshots: cannot start again (system error %lu)\n", ::GetLastError());
    return 1;
  }
  const pagimor::win32::UniqueHandle thread(process.hThread);
  const pagimor::win32::UniqueHandle child(process.hProcess);
  ::WaitForSingleObject(child.get(), INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(child.get(), &code);
  return static_cast<int>(code);
}

int wmain(int argc, wchar_t** argv) {
  // The pictures show the title bars Wine draws itself, which it does only
  // for a program started with the setting made.
  if (pagimor::testing::UnmanagedUnderWine(L"messdlgs_win32_screenshots.exe")) return RunAgain();
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "messdlgs_win32_screenshots: %s (system error %lu)\n", e.what(), ::GetLastError());
    return 1;
  }
}
