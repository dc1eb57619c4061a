#include "windows/vxweb.h"

#include <array>

#include "platform/text.h"

namespace pagimor {

bool bCreating = false;
bool bDocComplete = false;
bool bPageReached = false;

namespace {
constexpr int kSideAllowance = 10;
constexpr int kBottomAllowance = 66;
constexpr int kPanelAllowance = 250;
constexpr std::int32_t kDocumentSettleMs = 500;
constexpr std::int32_t kCloseSettleMs = 500;
constexpr std::int32_t kBlankSettleMs = 100;
constexpr std::array kZoomLevels = {0.3, 0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.2, 1.33, 1.5, 1.7, 2.0, 2.4, 3.0};
// Levels closer than this are the same level.
constexpr double kZoomSlack = 0.001;
}  // namespace

double NextZoomLevel(double current, int direction) {
  if (direction > 0) {
    for (const double level : kZoomLevels) {
      if (level > current + kZoomSlack) return level;
    }
    return kZoomLevels.back();
  }
  if (direction < 0) {
    for (auto level = kZoomLevels.rbegin(); level != kZoomLevels.rend(); ++level) {
      if (*level < current - kZoomSlack) return *level;
    }
    return kZoomLevels.front();
  }
  return 1.0;
}

void TForm1::ApplySizingRule() {
  SetWebBrowser1Size(OuterWidth() - kSideAllowance, OuterHeight() - WebBrowser1Top() - kBottomAllowance);
}

void TForm1::FormCreate() {
  bCreating = true;
  bDocComplete = false;
  bPageReached = false;
  sStartURL = std::string(kStartURL);
  WebBrowser1().Navigate(Widen(sStartURL));
  ApplySizingRule();
  bCreating = false;
}

void TForm1::vxresize() {
  ApplySizingRule();
  SetPanelWidth(0, OuterWidth() - kPanelAllowance);
  SetPanelText(0, kLoadedText);
}

void TForm1::Exit1Click() { Close(); }

void TForm1::Timer1Timer() {
  SetPanelText(1, "Time: " + app().LongTimeText());
  SetPanelText(2, "Date: " + app().ShortDateText());
  if (!bCreating && bDocComplete) tmrWatchWeb().SetEnabled(true);
}

void TForm1::tmrWatchWebTimer() {
  if (bCreating || !bDocComplete || !bPageReached) return;
  if (WebBrowser1().LocationURL() == kBlankPage) {
    tmrWatchWeb().SetEnabled(false);
    Timer1().SetEnabled(false);
    Close();
  }
}

void TForm1::WebBrowser1NavigateComplete2(std::u16string_view url) {
  if (ToUtf8(url) != ToUtf8(kBlankPage)) bPageReached = true;
}

void TForm1::WebBrowser1DocumentComplete() {
  Delay(kDocumentSettleMs);
  bDocComplete = true;
}

void TForm1::FormClose() {
  Timer1().SetEnabled(false);
  Delay(kCloseSettleMs);
  WebBrowser1().Navigate(kBlankPage);
  Delay(kBlankSettleMs);
  app().ProcessMessages();
}

void TForm1::Delay(std::int32_t milliseconds) {
  if (milliseconds <= 0) return;
  const TickCount start = app().GetTickCount();
  PumpMessagesUntil(app(), start, static_cast<std::uint32_t>(milliseconds));
}

}  // namespace pagimor
