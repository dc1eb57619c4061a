#pragma once
// Where everything of the message dialog goes: pure arithmetic from the
// font's character size, the screen, the measured text and the button set.
// Every renderer places its widgets from this one computation.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "MessDlgs/LangMessageTypes.h"

namespace pagimor {

// a × b ÷ c rounded to the nearest integer, halves away from zero, computed
// without overflow. A zero divisor or a result outside 32 bits gives -1, as
// the system routine of this name does.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

struct CharSize {
  std::int32_t width = 0;   // average character width, X
  std::int32_t height = 0;  // line height, Y
  friend bool operator==(const CharSize&, const CharSize&) = default;
};

struct Size {
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Something that can measure one line of text in its current font.
class TextCanvas {
 public:
  virtual ~TextCanvas() = default;
  virtual Size MeasureLine(std::string_view text) const = 0;
};

// The 52 letters A-Z a-z measured in one line: width ÷ 52 truncated, and the
// line height as measured.
CharSize AverageCharSize(const TextCanvas& canvas);

// Spacing of the dialog, in pixels, from the two dialog units.
struct LayoutMetrics {
  std::int32_t horizontalMargin = 0;
  std::int32_t verticalMargin = 0;
  std::int32_t horizontalSpacing = 0;
  std::int32_t verticalSpacing = 0;
  std::int32_t buttonWidth = 0;
  std::int32_t buttonHeight = 0;
  std::int32_t buttonSpacing = 0;
  friend bool operator==(const LayoutMetrics&, const LayoutMetrics&) = default;
};

LayoutMetrics ComputeMetrics(CharSize unit);

// The side of the icon, which is never scaled.
inline constexpr std::int32_t kIconSize = 32;

// The width the message is wrapped into: half the whole primary screen, not
// of its work area.
constexpr std::int32_t TextWrapWidth(std::int32_t screenWidth) { return screenWidth / 2; }

// The button Enter falls back on and the one Esc presses; none when the chosen
// identifier is not in the set.
std::optional<LangMessageButton> DefaultButtonOf(LangMessageButtons buttons);
std::optional<LangMessageButton> CancelButtonOf(LangMessageButtons buttons);

// Number of identifiers 0 to 10 in the set.
int CountButtons(LangMessageButtons buttons);

// Left and top edges that centre a window of this outer size on the screen.
Point CentreOnScreen(Size screen, Size outer);

struct LayoutInput {
  CharSize unit;              // from AverageCharSize
  Size screen;                // the whole primary screen
  Size text;                  // the message measured wrapped into TextWrapWidth(screen.width)
  LangMessageType type = LangMessageType::Custom;
  LangMessageButtons buttons = 0;
  Size frame;                 // outer size minus client size (title bar and borders)
};

struct ButtonPlacement {
  LangMessageButton id = LangMessageButton::OK;
  Rect bounds;
  bool isDefault = false;
  bool isCancel = false;
  friend bool operator==(const ButtonPlacement&, const ButtonPlacement&) = default;
};

struct MessageLayout {
  LayoutMetrics metrics;
  Size iconText;                  // the icon and the text side by side
  std::int32_t buttonGroupWidth = 0;
  Size client;                    // the window's client area
  Point origin;                   // the window's outer left and top, centred
  std::optional<Rect> icon;       // none for a type without an icon
  Rect message;                   // the label
  std::optional<LangMessageButton> defaultButton;
  std::optional<LangMessageButton> cancelButton;
  std::vector<ButtonPlacement> buttons;  // left to right, in identifier order
  friend bool operator==(const MessageLayout&, const MessageLayout&) = default;
};

MessageLayout LayOutLangMessage(const LayoutInput& input);

}  // namespace pagimor
