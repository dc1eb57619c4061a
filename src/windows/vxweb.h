#pragma once
// The viewer window: the book's page in a web view, a status bar with a
// clock, and a watch that closes the window once the page has left the web
// view at the blank page.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace pagimor {

// One set for the process; there is only one viewer window.
extern bool bCreating;
extern bool bDocComplete;
extern bool bPageReached;

inline constexpr std::string_view kViewerCaption = "EBook";
inline constexpr std::string_view kStartURL = "about:EBook";
inline constexpr std::u16string_view kBlankPage = u"about:blank";
inline constexpr std::string_view kLoadedText = "EBook successfully loaded.";

// The page's zoom level one step larger (direction > 0) or smaller
// (direction < 0) than current, within the steps readers know from web
// browsers; 1 (the normal size) for direction 0.
[[nodiscard]] double NextZoomLevel(double current, int direction);

// The handlers are portable; each platform derives the window, builds its
// widgets from the layout and binds the handlers to their events by name.
class TForm1 : public Form {
 public:
  using Form::Form;

  // --- widgets, as the layout names them ---
  [[nodiscard]] virtual WebView& WebBrowser1() = 0;
  [[nodiscard]] virtual Timer& Timer1() = 0;
  [[nodiscard]] virtual Timer& tmrWatchWeb() = 0;
  // Sizes are in the layout's pixels, 96 to the inch, as the sizing rule's
  // allowances are; a platform whose screen has more pixels converts.
  // Outer size: frame, caption and menu bar included.
  [[nodiscard]] virtual int OuterWidth() const = 0;
  [[nodiscard]] virtual int OuterHeight() const = 0;
  [[nodiscard]] virtual int WebBrowser1Top() const = 0;
  virtual void SetWebBrowser1Size(int width, int height) = 0;
  virtual void SetPanelText(int index, std::string_view text) = 0;
  virtual void SetPanelWidth(int index, int width) = 0;

  // --- handlers ---
  void FormCreate();
  void vxresize();
  void Exit1Click();
  void Timer1Timer();
  void tmrWatchWebTimer();
  void WebBrowser1NavigateComplete2(std::u16string_view url);
  void WebBrowser1DocumentComplete();
  // Runs inside the toolkit's close operation, before its close action.
  void FormClose();
  // Handles messages for the given time; returns at once for 0 or less.
  void Delay(std::int32_t milliseconds);

  std::string sStartURL;

 private:
  void ApplySizingRule();
};

}  // namespace pagimor
