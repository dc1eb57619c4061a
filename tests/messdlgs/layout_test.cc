// The dialog's portable half: rounding, metrics, the worked layout, the
// button roles, the language rows and the access-key prefix.
#include <gtest/gtest.h>

#include <limits>

#include "MessDlgs/AccessKeys.h"
#include "MessDlgs/LangTables.h"
#include "MessDlgs/Layout.h"

namespace pagimor {
namespace {

using B = LangMessageButton;

constexpr LangMessageButtons Set(std::initializer_list<B> ids) {
  LangMessageButtons set = 0;
  for (B id : ids) set = static_cast<LangMessageButtons>(set | ButtonBit(id));
  return set;
}

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  struct Case {
    std::int32_t a, b, c, expected;
  } const cases[] = {
      {50, 5, 4, 63},    {10, 5, 4, 13},      {-50, 5, 4, -63},  {50, -5, 4, -63}, {50, 5, -4, -63},
      {-50, -5, -4, -63}, {-50, -5, 4, 63},   {1, 1, 3, 0},      {2, 1, 3, 1},     {-2, 1, 3, -1},
      {7, 1, 2, 4},      {-7, 1, 2, -4},      {0, 5, 4, 0},
      // the product needs 62 bits; the quotient fits again
      {kMax, kMax, kMax, kMax}, {kMin, kMax, kMax, kMin}, {kMax, 2, 4, 1073741824},
      // results outside 32 bits and a zero divisor are the routine's -1
      {kMax, 2, 1, -1},  {kMin, -1, 1, -1},   {5, 5, 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << " * " << c.b << " / " << c.c;
  }
}

TEST(Metrics, FollowTheCharacterSize) {
  EXPECT_EQ(ComputeMetrics({6, 13}), (LayoutMetrics{12, 13, 15, 16, 75, 23, 6}));
  EXPECT_EQ(ComputeMetrics({5, 13}), (LayoutMetrics{10, 13, 13, 16, 63, 23, 5}));
}

class FixedCanvas final : public TextCanvas {
 public:
  Size MeasureLine(std::string_view text) const override {
    measured = std::string(text);
    return {52 * 6 + 51, 13};
  }
  mutable std::string measured;
};

TEST(AverageCharSize, DividesTheFiftyTwoLettersTruncating) {
  FixedCanvas canvas;
  EXPECT_EQ(AverageCharSize(canvas), (CharSize{6, 13}));
  EXPECT_EQ(canvas.measured, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

TEST(Layout, WorkedErrorDialogWithOk) {
  const MessageLayout layout = LayOutLangMessage({.unit = {6, 13},
                                                  .screen = {1024, 768},
                                                  .text = {300, 13},
                                                  .type = LangMessageType::Error,
                                                  .buttons = Set({B::OK}),
                                                  .frame = {}});
  EXPECT_EQ(TextWrapWidth(1024), 512);
  EXPECT_EQ(layout.iconText, (Size{347, 32}));
  EXPECT_EQ(layout.buttonGroupWidth, 75);
  EXPECT_EQ(layout.client, (Size{371, 97}));
  EXPECT_EQ(layout.origin, (Point{512 - 185, 384 - 48}));
  ASSERT_TRUE(layout.icon);
  EXPECT_EQ(*layout.icon, (Rect{12, 13, 32, 32}));
  EXPECT_EQ(layout.message, (Rect{59, 13, 300, 13}));
  ASSERT_EQ(layout.buttons.size(), 1U);
  EXPECT_EQ(layout.buttons[0], (ButtonPlacement{B::OK, {148, 61, 75, 23}, true, true}));
}

TEST(Layout, CentresByTheOuterSizeIncludingTheFrame) {
  const MessageLayout layout = LayOutLangMessage({.unit = {6, 13},
                                                  .screen = {1024, 768},
                                                  .text = {300, 13},
                                                  .type = LangMessageType::Error,
                                                  .buttons = Set({B::OK}),
                                                  .frame = {10, 31}});
  EXPECT_EQ(layout.client, (Size{371, 97}));  // the frame does not change the client area
  EXPECT_EQ(layout.origin, (Point{512 - 381 / 2, 384 - 128 / 2}));
}

TEST(Layout, CustomHasNoIconAndTheTextAtTheMargin) {
  const MessageLayout layout = LayOutLangMessage({.unit = {6, 13},
                                                  .screen = {1024, 768},
                                                  .text = {20, 13},
                                                  .type = LangMessageType::Custom,
                                                  .buttons = Set({B::Yes, B::No}),
                                                  .frame = {}});
  EXPECT_FALSE(layout.icon);
  EXPECT_EQ(layout.iconText, (Size{20, 13}));  // no icon: the short text is not raised to 32
  EXPECT_EQ(layout.message, (Rect{12, 13, 20, 13}));
  // the buttons are wider than the text: they set the width and start at the margin
  EXPECT_EQ(layout.client, (Size{156 + 24, 13 + 23 + 16 + 26}));
  ASSERT_EQ(layout.buttons.size(), 2U);
  EXPECT_EQ(layout.buttons[0].bounds, (Rect{12, 42, 75, 23}));
  EXPECT_EQ(layout.buttons[1].bounds, (Rect{93, 42, 75, 23}));
}

TEST(Layout, EmptySetReservesTheButtonRow) {
  const MessageLayout layout = LayOutLangMessage({.unit = {6, 13},
                                                  .screen = {1024, 768},
                                                  .text = {300, 13},
                                                  .type = LangMessageType::Warning,
                                                  .buttons = 0,
                                                  .frame = {}});
  EXPECT_TRUE(layout.buttons.empty());
  EXPECT_EQ(layout.buttonGroupWidth, 0);
  EXPECT_EQ(layout.client, (Size{371, 97}));
  EXPECT_FALSE(layout.defaultButton);
  EXPECT_FALSE(layout.cancelButton);
}

TEST(Layout, ButtonsGoLeftToRightInIdentifierOrderAndIgnoreHighBits) {
  const LangMessageButtons all = 0x07FF;
  const MessageLayout layout = LayOutLangMessage({.unit = {6, 13},
                                                  .screen = {1024, 768},
                                                  .text = {300, 13},
                                                  .type = LangMessageType::Confirmation,
                                                  .buttons = static_cast<LangMessageButtons>(all | 0xF800),
                                                  .frame = {}});
  ASSERT_EQ(layout.buttons.size(), 11U);
  EXPECT_EQ(layout.buttonGroupWidth, 11 * 75 + 10 * 6);
  EXPECT_EQ(layout.client.width, 885 + 24);
  for (std::size_t i = 0; i < layout.buttons.size(); ++i) {
    EXPECT_EQ(layout.buttons[i].id, static_cast<B>(i));
    EXPECT_EQ(layout.buttons[i].bounds.left, 12 + static_cast<std::int32_t>(i) * 81);
  }
}

TEST(Layout, DefaultAndCancelRoles) {
  struct Case {
    LangMessageButtons set;
    std::optional<B> defaultButton, cancelButton;
  } const cases[] = {
      {Set({B::OK}), B::OK, B::OK},
      {Set({B::Yes, B::No}), B::Yes, B::No},
      {Set({B::Abort, B::Retry, B::Ignore}), B::Retry, std::nullopt},
      {Set({B::OK, B::Cancel, B::Yes}), B::OK, B::Cancel},
      {Set({B::Yes, B::NoToAll}), B::Yes, std::nullopt},
      {Set({B::Help}), std::nullopt, std::nullopt},
      {0, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DefaultButtonOf(c.set), c.defaultButton) << "set " << c.set;
    EXPECT_EQ(CancelButtonOf(c.set), c.cancelButton) << "set " << c.set;
    const MessageLayout layout = LayOutLangMessage({.unit = {6, 13}, .screen = {1024, 768}, .text = {1, 13},
                                                    .type = LangMessageType::Error, .buttons = c.set, .frame = {}});
    for (const ButtonPlacement& b : layout.buttons) {
      EXPECT_EQ(b.isDefault, c.defaultButton == b.id) << "set " << c.set;
      EXPECT_EQ(b.isCancel, c.cancelButton == b.id) << "set " << c.set;
    }
  }
}

TEST(LangTable, LanguagesOutsideOneToEightAreEnglish) {
  for (int language = 0; language < 256; ++language) {
    const auto lang = static_cast<MessageLanguage>(language);
    const int row = language >= 1 && language <= 8 ? language : 0;
    EXPECT_EQ(LanguageRow(lang), row) << language;
    if (row == 0) {
      EXPECT_EQ(TypeCaption(LangMessageType::Confirmation, lang), "Confirm") << language;
      EXPECT_EQ(ButtonCaption(B::NoToAll, lang), "No to all") << language;
    }
  }
}

TEST(LangTable, EveryRowIsComplete) {
  for (std::size_t row = 0; row < LangTable.size(); ++row) {
    EXPECT_TRUE(LangTable[row][static_cast<std::size_t>(LangMessageType::Custom)].empty()) << row;
    for (std::size_t column = 0; column < LangTable[row].size(); ++column) {
      if (column == static_cast<std::size_t>(LangMessageType::Custom)) continue;
      EXPECT_FALSE(LangTable[row][column].empty()) << row << ", " << column;
    }
  }
  EXPECT_EQ(TypeCaption(LangMessageType::Warning, 7), "Προσοχή!");
  EXPECT_EQ(TypeCaption(LangMessageType::Error, 1), "Ошибка");
  EXPECT_EQ(ButtonCaption(B::Cancel, 4), "Abbrechen");
  EXPECT_EQ(ButtonCaption(B::Abort, 4), "Abbrechen");
  EXPECT_EQ(ButtonCaption(B::Help, 5), "?");
  EXPECT_EQ(ButtonCaption(B::Ignore, 3), "İptal");
  EXPECT_EQ(ButtonCaption(B::Retry, 2), "Tenta Novamente");
  EXPECT_EQ(ButtonName(B::NoToAll), "NoToAll");
  EXPECT_EQ(ButtonResult(B::YesToAll), 10);
  EXPECT_EQ(ButtonResult(B::Help), 0);
}

TEST(LangTable, UndefinedTypesShowNoIconAndNoCaption) {
  const auto undefined = static_cast<LangMessageType>(9);
  EXPECT_EQ(TypeIcon(undefined), StockIcon::NoIcon);
  EXPECT_TRUE(TypeCaption(undefined, 0).empty());
  EXPECT_EQ(TypeIcon(LangMessageType::Error), StockIcon::Hand);
  EXPECT_EQ(TypeIcon(LangMessageType::Custom), StockIcon::NoIcon);
}

TEST(AccessKeys, PrefixIsHiddenAndMarksTheNextCharacter) {
  struct Case {
    std::string_view caption;
    std::string_view shown;
    std::vector<ByteRange> underlined;
  } const cases[] = {
      {"&Save", "Save", {{0, 1}}},
      {"Fish && Chips", "Fish & Chips", {}},
      {"a&&&b", "a&b", {{2, 3}}},
      {"&Über", "Über", {{0, 2}}},  // a whole UTF-8 character
      {"end&", "end", {}},
      {"&", "", {}},
      {"&x&y", "xy", {{0, 1}, {1, 2}}},
      {"line\n&two", "line\ntwo", {{5, 6}}},
      {"&\xC3", "\xC3", {{0, 1}}},  // a cut character stays inside the text
  };
  for (const Case& c : cases) {
    const ShownText shown = ResolveAccessKeys(c.caption);
    EXPECT_EQ(shown.text, c.shown) << c.caption;
    EXPECT_EQ(shown.underlined, c.underlined) << c.caption;
  }
}

TEST(AccessKeys, TextEndsAtItsFirstNul) {
  using namespace std::string_view_literals;
  EXPECT_EQ(UpToNul("shown\0hidden"sv), "shown");
  EXPECT_EQ(UpToNul("all"sv), "all");
  EXPECT_EQ(UpToNul(""sv), "");
}

}  // namespace
}  // namespace pagimor
