#include "vxwebtest/startup.h"

#include <stdexcept>
#include <utility>

#include "platform/text.h"
#include "vxwebtest/archive.h"
#include "vxwebtest/walk.h"
#include "vxwebtest/bookfolder.h"
#include "vxwebtest/version.h"

namespace pagimor {

std::u16string ExePath;
bool AbortExtraction = false;

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

// The steps from the folder to the last file written: the archive walk,
// with the sequence's pauses at its points and the progress bar moved after
// every file. False when the run has to end; every message has been shown
// by then.
class Extraction final : public WalkVisitor {
 public:
  Extraction(Application& app, TForm2& form2, const ArchiveReader& reader, const fs::Folder& folder)
      : app_(app), form2_(form2), reader_(reader), folder_(folder) {}

  void At(WalkPoint point, int index) override {
    const bool first = point == WalkPoint::BeforeCount || point == WalkPoint::AfterCount ||
                       point == WalkPoint::AfterFirstName || index == 0;
    PauseMs(app_, first ? kCountPause : kEntryPause);
  }

  bool OnCount(int count, std::string&) override {
    form2_.ProgBar1().SetMax(count);
    PauseMs(app_, kCountPause);
    PauseMs(app_, kCountPause);
    return true;
  }

  bool OnEntry(const ArchiveWalk& walk, std::string&) override {
    const ArchiveEntry& entry = walk.entries.back();
    std::int32_t nextEntry = 0;
    // A destination that cannot be created leaves no next entry to go on
    // with; the reader has said why. A path's folders are made level by
    // level inside the book folder held open, never through a link.
    if (!reader_.CopyRange(entry.dataStart, entry.dataEnd, folder_, entry.name, nextEntry)) {
      return false;
    }
    // Asked to end while loading: the run ends here, the folder with it.
    if (app_.Terminated()) return false;
    const std::int32_t pause = entry.index == 0 ? kCountPause : kEntryPause;
    PauseMs(app_, pause);
    form2_.ProgBar1().SetPosition(entry.index + 1);
    PauseMs(app_, pause);
    return true;
  }

 private:
  Application& app_;
  TForm2& form2_;
  const ArchiveReader& reader_;
  const fs::Folder& folder_;
};

// Keeps the loading window alive while the book is checked, and every
// message to itself: a book without a trailer is judged by the extraction
// afterwards, with its own messages, exactly as before.
class QuietHost final : public ArchiveHost {
 public:
  explicit QuietHost(Application& app) : app_(app) {}
  void ProcessMessages() override { app_.ProcessMessages(); }
  void ShowPlainMessage(std::string_view) override {}
  std::int32_t ShowLangMessage(std::string_view, LangMessageType, LangMessageButtons, std::int32_t,
                               MessageLanguage) override {
    return 1;
  }

 private:
  Application& app_;
};

// False for a sealed book whose archive does not match its digest, or
// cannot be read whole: one walk over the archive that writes nothing,
// then the digest. A book without a trailer passes.
bool SealHolds(Application& app, std::int32_t headerOffset) {
  QuietHost quiet(app);
  bool aborted = false;
  const ArchiveReader reader(ExePath, quiet, aborted);
  WalkVisitor nothing;
  const ArchiveWalk walk = WalkArchiveFrom(reader, headerOffset, nothing);
  return CheckSeal(reader, walk).state != SealCheck::State::Broken;
}

bool ExtractBook(Application& app, TForm2& form2, const ArchiveReader& reader, const fs::Folder& folder,
                 std::int32_t headerOffset) {
  if (app.Terminated()) return false;
  Extraction extraction(app, form2, reader, folder);
  const ArchiveWalk walk = WalkArchiveFrom(reader, headerOffset, extraction);
  switch (walk.stop) {
    case WalkStop::None:
      return true;
    case WalkStop::BadCount:
      // A count that is not a number of entries leaves nothing to extract from.
      ShowErrorMessage(app, kCorruptBookMessage);
      return false;
    case WalkStop::Unclosed:
      app.ShowPlainMessage(kExtractError);
      return false;
    case WalkStop::EntryUnreadable:
      app.ShowPlainMessage(kEntryReadError);
      return false;
    case WalkStop::NoHeader:
    case WalkStop::BadName:
    case WalkStop::Visitor:
      return false;
  }
  return false;
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
  // The reader reads the program's own file and stops the extraction
  // through AbortExtraction.
  const ArchiveReader reader(ExePath, app, AbortExtraction);
  std::int32_t headerOffset = kNotFound;
  try {
    headerOffset = reader.FindMarker(UnshiftMarker(HeaderMarkerKey()));
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
  // A book that carries a digest is checked whole before anything of it is
  // written: a damaged one makes no folder.
  if (!SealHolds(app, headerOffset)) {
    ShowErrorMessage(app, kCorruptBookMessage);
    return 0;
  }
  if (app.Terminated()) return 0;
  SweepAbandonedBookFolders(app);
  fs::Folder hold;
  if (!CreateBookFolder(app, hold)) return 0;
  // From here every road out of the run, a failure's included, removes the
  // folder; a failure's message is shown before.
  const BookFolderGuard folder(app, BookFolder, std::move(hold));
  if (!ExtractBook(app, *form2, reader, folder.held(), headerOffset)) return 0;

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
