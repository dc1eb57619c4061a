#include "fake_platform.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace pagimor::test {

namespace {
// A pause that polls instead of waiting would call this without end.
constexpr int kPollingLimit = 1000000;
}  // namespace

void FakeApplication::RunMessageLoop() {
  log.emplace_back("RunMessageLoop");
  if (Terminated()) return;
  if (onLoop) {
    onLoop();
  } else if (MainForm() != nullptr) {
    MainForm()->Close();
  }
}

void FakeApplication::ProcessMessages() {
  if (++processCalls > kPollingLimit) {
    ADD_FAILURE() << "messages are polled instead of waited for";
    clock += 1000;
  }
  // Everything due now, the events that these handlers schedule included.
  while (!events_.empty()) {
    const std::size_t first = Earliest();
    if (static_cast<std::int32_t>(events_[first].at - clock) > 0) break;
    std::function<void()> action = std::move(events_[first].action);
    events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(first));
    action();
  }
}

std::size_t FakeApplication::Earliest() const {
  std::size_t best = 0;
  for (std::size_t i = 1; i < events_.size(); ++i) {
    if (static_cast<std::int32_t>(events_[i].at - events_[best].at) < 0) best = i;
  }
  return best;
}

void FakeApplication::WaitForMessage(TickCount deadline) {
  TickCount until = deadline;
  if (!events_.empty()) {
    const TickCount next = events_[Earliest()].at;
    if (static_cast<std::int32_t>(next - until) < 0) until = next;
    // A message already waiting ends the wait at once.
    if (static_cast<std::int32_t>(next - clock) <= 0) until = clock;
  }
  clock = until;
}

fs::ErrorCode FakeApplication::MakeDirectory(std::u16string_view path) {
  if (!firstFolderAttempt) firstFolderAttempt = clock;
  ++folderAttempts;
  log.push_back("MakeDirectory " + ToUtf8(path));
  return createDirectory ? createDirectory(path) : fs::CreatePrivateFolder(path);
}

std::int32_t FakeApplication::ShowLangMessage(std::string_view text, LangMessageType type,
                                              LangMessageButtons buttons, std::int32_t helpContext,
                                              MessageLanguage language) {
  langArgumentsOk = langArgumentsOk && type == LangMessageType::Error &&
                    buttons == ButtonBit(LangMessageButton::OK) && helpContext == 0 && language == 0;
  log.push_back("lang: " + std::string(text));
  if (onMessage) onMessage();
  return 1;
}

void FakeWebView::Navigate(std::u16string_view address) {
  log_.push_back("WebBrowser1.Navigate " + ToUtf8(address));
}

FakeForm2::FakeForm2(FakeApplication& app)
    : TForm2(app), log_(app.log), bar_(app.log), status_(app.log, "lblStatus"), version_(app.log, "lblVersion") {
  log_.emplace_back(app.MainForm() == this ? "Form2.Create main" : "Form2.Create");
}

void FakeForm2::Show() {
  visible_ = true;
  log_.emplace_back("Form2.Show");
}

void FakeForm2::Hide() {
  visible_ = false;
  log_.emplace_back("Form2.Hide");
}

FakeForm1::FakeForm1(FakeApplication& app) : TForm1(app), web(app.log), log_(app.log) {
  log_.emplace_back(app.MainForm() == this ? "Form1.Create main" : "Form1.Create");
}

std::unique_ptr<TForm1> FakeForms::CreateForm1() {
  auto form = std::make_unique<FakeForm1>(app_);
  form->FormCreate();
  form1 = form.get();
  return form;
}

}  // namespace pagimor::test
