// The viewer on Windows: a book is this program with its archive appended.
// It takes no arguments and reads no configuration; its only input is its
// own file.
#include "platform/win32/winapi.h"

#include "platform/win32/application.h"
#include "vxwebtest/startup.h"
#include "windows/win32/forms_win32.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  pagimor::win32::Win32Application app;
  pagimor::win32::Win32FormFactory forms(app);
  return pagimor::RunBook(app, forms);
}
