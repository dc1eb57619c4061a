#include "vxwebtest/startup.h"

#include <stdexcept>
#include <utility>

#include "platform/text.h"
#include "vxwebtest/archive.h"
#include "vxwebtest/bookfolder.h"
#include "vxwebtest/version.h"

namespace pagimor {

void PauseMs(Application& app, std::int32_t ms) {
  const TickCount start = app.GetTickCount();
  const std::int64_t duration = std::int64_t{ms} + 1;
  if (duration <= 0) return;
  PumpMessagesUntil(app, start, static_cast<std::uint32_t>(duration));
}

std::u16string GetExePath(Application& app) {
  std::optional<std::u16string> path = app.ModuleFileName();
  if (!path || path->empty()) throw std::runtime_error("the program's own path is not known");
  ExePath = *path;
  return ExePath;
}

void ShowErrorMessage(ArchiveHost& host, std::string_view text) {
  host.ShowLangMessage(text, LangMessageType::Error, ButtonBit(LangMessageButton::OK), 0, 0);
}

namespace {

constexpr std::int32_t kStepPause = 100;
constexpr std::int32_t kShowPause = 1000;
constexpr std::int32_t kCountPause = 10;
constexpr std::int32_t kEntryPause = 2;

// The steps from the folder to the last file written. False when the run
// has to end; every message has been shown by then.
bool ExtractBook(Application& app, TForm2& form2, std::int32_t headerOffset) {
  std::int32_t nextEntry = 0;
  if (app.Terminated()) return false;
  PauseMs(app, kCountPause);
  const Bytes countText = ReadFileCount(headerOffset, nextEntry, app);
  PauseMs(app, kCountPause);
  // A count that is not a number of entries leaves nothing to extract from.
  int fileCount = 0;
  if (!ParseFileCount(countText, fileCount)) {
    ShowErrorMessage(app, kCorruptBookMessage);
    return false;
  }
  form2.ProgBar1().SetMax(fileCount);
  PauseMs(app, kCountPause);
  const int remaining = fileCount - 1;
  PauseMs(app, kCountPause);

  std::int32_t dataStart = 0;
  std::u16string name = ReadEntryName(nextEntry, dataStart, app);
  PauseMs(app, kCountPause);
  std::int32_t dataEnd = FindMarker(UnshiftMarker(EntryTerminatorKey()), app);
  PauseMs(app, kCountPause);
  if (AbortExtraction) return false;
  if (dataEnd == kNotFound) {
    dataEnd = FindMarkerFrom(UnshiftMarker(EndOfArchiveMarkerKey()), dataStart, app);
    if (dataEnd == kNotFound) {
      app.ShowPlainMessage(kExtractError);
      return false;
    }
  }
  // A destination that cannot be created leaves no next entry to go on
  // with; the reader has said why.
  if (!CopyRange(dataStart, dataEnd, fs::JoinPath(BookFolder, name), nextEntry, app)) return false;
  // Asked to end while loading: the run ends here, the folder with it.
  if (app.Terminated()) return false;
  PauseMs(app, kCountPause);
  form2.ProgBar1().SetPosition(1);
  PauseMs(app, kCountPause);

  for (int i = 1; i <= remaining; ++i) {
    try {
      name = ReadEntryName(nextEntry, dataStart, app);
    } catch (...) {
      app.ShowPlainMessage(kEntryReadError);
      return false;
    }
    if (AbortExtraction) return false;
    PauseMs(app, kEntryPause);
    dataEnd = FindMarkerFrom(UnshiftMarker(EntryTerminatorKey()), dataStart, app);
    PauseMs(app, kEntryPause);
    if (dataEnd == kNotFound) {
      dataEnd = FindMarkerFrom(UnshiftMarker(EndOfArchiveMarkerKey()), dataStart, app);
      PauseMs(app, kEntryPause);
      if (dataEnd == kNotFound) {
        app.ShowPlainMessage(kExtractError);
        return false;
      }
    }
    PauseMs(app, kEntryPause);
    if (!CopyRange(dataStart, dataEnd, fs::JoinPath(BookFolder, name), nextEntry, app)) return false;
    if (app.Terminated()) return false;
    PauseMs(app, kEntryPause);
    form2.ProgBar1().SetPosition(i + 1);
    PauseMs(app, kEntryPause);
  }
  return true;
}

}  // namespace

int RunBook(Application& app, FormFactory& forms) {
  app.Initialize();
  PauseMs(app, kStepPause);
  app.SetTitle(kApplicationTitle);
  PauseMs(app, kStepPause);
  PauseMs(app, kStepPause);
  AbortExtraction = false;
  PauseMs(app, kStepPause);
  // Asked to end from the start: no window is shown, no folder made.
  if (app.Terminated()) return 0;

  if (!IsSupportedVersion(ClassifyWindowsVersion(app.VersionInfo()))) {
    ShowErrorMessage(app, kUnsupportedSystemMessage);
    return 0;
  }

  PauseMs(app, kStepPause);
  try {
    GetExePath(app);
  } catch (...) {
    app.ShowPlainMessage(kExePathError);
    return 0;
  }

  PauseMs(app, kStepPause);
  std::int32_t headerOffset = kNotFound;
  try {
    headerOffset = FindMarker(UnshiftMarker(HeaderMarkerKey()), app);
  } catch (...) {
    app.ShowPlainMessage(kHeaderError);
    return 0;
  }

  PauseMs(app, kStepPause);
  if (headerOffset == kNotFound) {
    ShowErrorMessage(app, kCorruptBookMessage);
    return 0;
  }

  PauseMs(app, kStepPause);
  std::unique_ptr<TForm2> form2 = forms.CreateForm2();
  PauseMs(app, kStepPause);
  form2->Show();
  form2->ProgBar1().SetMin(0);
  form2->lblStatus().SetCaption(kLoadingStatusText);
  form2->lblVersion().SetCaption(kLoadingVersionText);
  PauseMs(app, kStepPause);
  app.ProcessMessages();
  PauseMs(app, kShowPause);

  if (app.Terminated()) return 0;
  SweepAbandonedBookFolders(app);
  fs::Folder hold;
  if (!CreateBookFolder(app, hold)) return 0;
  // From here every road out of the run, a failure's included, removes the
  // folder; a failure's message is shown before.
  const BookFolderGuard folder(app, BookFolder, std::move(hold));
  if (!ExtractBook(app, *form2, headerOffset)) return 0;

  form2->Hide();
  PauseMs(app, 1);
  form2.reset();
  if (app.Terminated()) return 0;

  const std::u16string startPage = fs::JoinPath(BookFolder, kStartPageName);
  if (!FileExists(PathToBytes(startPage))) {
    ShowErrorMessage(app, kIndexMissingMessage);
    return 0;
  }

  std::unique_ptr<TForm1> form1 = forms.CreateForm1();
  form1->WebBrowser1().Navigate(startPage);
  app.RunMessageLoop();
  form1.reset();
  return 0;
}

}  // namespace pagimor
