#include "MessDlgs/Layout.h"

#include <algorithm>
#include <limits>

#include "MessDlgs/LangTables.h"

namespace pagimor {

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  // |a × b| < 2^62 and |c| <= 2^31 both fit 64 bits, so nothing here overflows.
  const std::int64_t product = std::int64_t{a} * std::int64_t{b};
  const bool negative = (product < 0) != (c < 0);
  const std::uint64_t p = product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
  const std::uint64_t d = c < 0 ? 0 - static_cast<std::uint64_t>(std::int64_t{c}) : static_cast<std::uint64_t>(c);
  std::uint64_t q = p / d;
  if (2 * (p % d) >= d) ++q;  // halves go away from zero
  const std::uint64_t limit =
      negative ? std::uint64_t{1} << 31 : static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
  if (q > limit) return -1;
  return negative ? static_cast<std::int32_t>(0 - static_cast<std::int64_t>(q)) : static_cast<std::int32_t>(q);
}

CharSize AverageCharSize(const TextCanvas& canvas) {
  constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const Size extent = canvas.MeasureLine(kLetters);
  return {extent.width / static_cast<std::int32_t>(kLetters.size()), extent.height};
}

LayoutMetrics ComputeMetrics(CharSize unit) {
  const std::int32_t x = unit.width;
  const std::int32_t y = unit.height;
  return {
      .horizontalMargin = MulDiv(8, x, 4),
      .verticalMargin = MulDiv(8, y, 8),
      .horizontalSpacing = MulDiv(10, x, 4),
      .verticalSpacing = MulDiv(10, y, 8),
      .buttonWidth = MulDiv(50, x, 4),
      .buttonHeight = MulDiv(14, y, 8),
      .buttonSpacing = MulDiv(4, x, 4),
  };
}

namespace {

// The role goes to the first candidate in the set, else to the fallback;
// when the fallback is not in the set either, no button has the role.
std::optional<LangMessageButton> RoleOf(LangMessageButtons buttons, LangMessageButton first,
                                        LangMessageButton second, LangMessageButton fallback) {
  const LangMessageButton choice = HasButton(buttons, first) ? first : HasButton(buttons, second) ? second : fallback;
  if (HasButton(buttons, choice)) return choice;
  return std::nullopt;
}

}  // namespace

std::optional<LangMessageButton> DefaultButtonOf(LangMessageButtons buttons) {
  return RoleOf(buttons, LangMessageButton::OK, LangMessageButton::Yes, LangMessageButton::Retry);
}

std::optional<LangMessageButton> CancelButtonOf(LangMessageButtons buttons) {
  return RoleOf(buttons, LangMessageButton::Cancel, LangMessageButton::No, LangMessageButton::OK);
}

int CountButtons(LangMessageButtons buttons) {
  int n = 0;
  for (int id = 0; id < kLangMessageButtonCount; ++id) {
    if (HasButton(buttons, static_cast<LangMessageButton>(id))) ++n;
  }
  return n;
}

Point CentreOnScreen(Size screen, Size outer) {
  return {screen.width / 2 - outer.width / 2, screen.height / 2 - outer.height / 2};
}

MessageLayout LayOutLangMessage(const LayoutInput& input) {
  MessageLayout out;
  const LayoutMetrics& m = out.metrics = ComputeMetrics(input.unit);
  const bool hasIcon = TypeIcon(input.type) != StockIcon::NoIcon;

  out.iconText = input.text;
  if (hasIcon) {
    out.iconText.width += kIconSize + m.horizontalSpacing;
    out.iconText.height = std::max(out.iconText.height, kIconSize);
  }

  const int n = CountButtons(input.buttons);
  out.buttonGroupWidth = n == 0 ? 0 : n * m.buttonWidth + (n - 1) * m.buttonSpacing;

  out.client.width = std::max(out.iconText.width, out.buttonGroupWidth) + 2 * m.horizontalMargin;
  out.client.height = out.iconText.height + m.buttonHeight + m.verticalSpacing + 2 * m.verticalMargin;
  out.origin = CentreOnScreen(
      input.screen, {out.client.width + input.frame.width, out.client.height + input.frame.height});

  if (hasIcon) out.icon = Rect{m.horizontalMargin, m.verticalMargin, kIconSize, kIconSize};
  out.message = {out.iconText.width - input.text.width + m.horizontalMargin, m.verticalMargin, input.text.width,
                 input.text.height};

  out.defaultButton = DefaultButtonOf(input.buttons);
  out.cancelButton = CancelButtonOf(input.buttons);

  std::int32_t x = (out.client.width - out.buttonGroupWidth) / 2;
  const std::int32_t top = out.iconText.height + m.verticalMargin + m.verticalSpacing;
  for (int i = 0; i < kLangMessageButtonCount; ++i) {
    const auto id = static_cast<LangMessageButton>(i);
    if (!HasButton(input.buttons, id)) continue;
    out.buttons.push_back({.id = id,
                           .bounds = {x, top, m.buttonWidth, m.buttonHeight},
                           .isDefault = out.defaultButton == id,
                           .isCancel = out.cancelButton == id});
    x += m.buttonWidth + m.buttonSpacing;
  }
  return out;
}

}  // namespace pagimor
