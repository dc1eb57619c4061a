// The pauses and the viewer window's handlers on the fake desktop.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "vxwebtest/startup.h"
#include "windows/vxweb.h"

namespace pagimor::test {
namespace {

// --- pauses ---

struct PauseCase {
  TickCount start;
  std::int32_t ms;
};

void PrintTo(const PauseCase& c, std::ostream* out) { *out << "start " << c.start << ", " << c.ms << " ms"; }

class PauseTest : public ::testing::TestWithParam<PauseCase> {};

TEST_P(PauseTest, LastsExactlyItsTimeByTheCounterWhereverTheCounterStands) {
  const auto [start, ms] = GetParam();
  {
    FakeApplication app;
    app.clock = start;
    PauseMs(app, ms);
    EXPECT_EQ(static_cast<TickCount>(app.clock - start), static_cast<TickCount>(std::max(ms + 1, 0)));
    // It waits for messages rather than polling for them.
    EXPECT_LE(app.processCalls, 2);
  }
  {
    FakeApplication app;
    FakeForms forms(app);
    auto form = forms.CreateForm1();
    app.clock = start;
    app.processCalls = 0;
    form->Delay(ms);
    EXPECT_EQ(static_cast<TickCount>(app.clock - start), static_cast<TickCount>(std::max(ms, 0)));
    if (ms <= 0) {
      EXPECT_EQ(app.processCalls, 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Counter, PauseTest,
                         ::testing::Values(PauseCase{0, 100}, PauseCase{0, 0}, PauseCase{0, -1}, PauseCase{0, -50},
                                           PauseCase{0x7FFFFFF0u, 100}, PauseCase{0xFFFFFFF0u, 100},
                                           PauseCase{0xFFFFFFFFu, 1}, PauseCase{0xFFFFFF00u, 1000}));

TEST(Pause, HandlesEachMessageWhenItArrives) {
  FakeApplication app;
  app.clock = 0xFFFFFFE0u;  // the wrap falls inside the pause
  std::vector<TickCount> handledAt;
  for (TickCount at : {0xFFFFFFF0u, 0x00000010u, 0x00000040u}) {
    app.Schedule(at, [&] { handledAt.push_back(app.clock); });
  }
  PauseMs(app, 100);
  EXPECT_EQ(handledAt, (std::vector<TickCount>{0xFFFFFFF0u, 0x00000010u, 0x00000040u}));
  EXPECT_EQ(app.clock, 0x00000045u);
}

// --- the viewer window ---

class ViewerHandlersTest : public ::testing::Test {
 protected:
  ViewerHandlersTest() {
    app_.clock = 1000;
    form_ = forms_.CreateForm1();
    view_ = forms_.form1;
  }

  // The page has been shown: a completed navigation and document.
  void PageShown(std::u16string_view url) {
    view_->WebBrowser1NavigateComplete2(url);
    view_->WebBrowser1DocumentComplete();
    view_->web.location = std::u16string(url);
  }

  FakeApplication app_;
  FakeForms forms_{app_};
  std::unique_ptr<TForm1> form_;
  FakeForm1* view_ = nullptr;
};

TEST_F(ViewerHandlersTest, CreationClearsTheFlagsNavigatesToTheStartAddressAndSizesTheWebView) {
  EXPECT_FALSE(bCreating);
  EXPECT_FALSE(bDocComplete);
  EXPECT_FALSE(bPageReached);
  EXPECT_EQ(view_->sStartURL, "about:EBook");
  EXPECT_EQ(app_.log.back(), "WebBrowser1.Navigate about:EBook");
  EXPECT_EQ(view_->webWidth, 1288 - 10);
  EXPECT_EQ(view_->webHeight, 1002 - 66);
  // The panels keep their layout until the first resize.
  EXPECT_EQ(view_->panelText, (std::vector<std::string>{"InfoText", "Time", "Date"}));
  EXPECT_EQ(view_->panelWidth, (std::vector<int>{50, 100, 100}));

  view_->outerWidth = 200;
  view_->outerHeight = 50;
  view_->vxresize();
  EXPECT_EQ(view_->webWidth, 190);
  EXPECT_EQ(view_->webHeight, -16);
  EXPECT_EQ(view_->panelWidth[0], -50);
  EXPECT_EQ(view_->panelText[0], "EBook successfully loaded.");
}

TEST_F(ViewerHandlersTest, ClockFillsThePanelsAndArmsTheWatchOnlyAfterADocumentCompleted) {
  view_->Timer1Timer();
  EXPECT_EQ(view_->panelText[1], "Time: 05:52:41");
  EXPECT_EQ(view_->panelText[2], "Date: 08/12/26");
  EXPECT_FALSE(view_->watch.Enabled());

  const TickCount before = app_.clock;
  view_->WebBrowser1DocumentComplete();
  EXPECT_EQ(app_.clock - before, 500u);
  EXPECT_TRUE(bDocComplete);
  view_->Timer1Timer();
  EXPECT_TRUE(view_->watch.Enabled());
}

TEST_F(ViewerHandlersTest, EveryCompletedAddressButTheBlankPageCountsAsAPageReached) {
  view_->WebBrowser1NavigateComplete2(u"about:blank");
  EXPECT_FALSE(bPageReached);
  view_->WebBrowser1NavigateComplete2(u"about:EBook");
  EXPECT_TRUE(bPageReached);
  view_->WebBrowser1NavigateComplete2(u"about:blank");
  EXPECT_TRUE(bPageReached);
}

struct WatchCase {
  const char* name;
  bool pageReached;
  std::u16string location;
  bool closes;
};

void PrintTo(const WatchCase& c, std::ostream* out) { *out << c.name; }

class WatchTest : public ViewerHandlersTest, public ::testing::WithParamInterface<WatchCase> {};

TEST_P(WatchTest, ClosesOnlyOnTheExactBlankPageAfterAPageWasShown) {
  const WatchCase& c = GetParam();
  view_->WebBrowser1DocumentComplete();
  if (c.pageReached) view_->WebBrowser1NavigateComplete2(u"file:///book/index.html");
  view_->Timer1Timer();
  view_->web.location = c.location;
  view_->tmrWatchWebTimer();
  EXPECT_EQ(view_->closeRequests, c.closes ? 1 : 0);
  EXPECT_EQ(app_.Terminated(), c.closes);
  EXPECT_EQ(view_->watch.Enabled(), !c.closes);
  EXPECT_EQ(view_->clock.Enabled(), !c.closes);
  // Before a page was reached the address is not even looked at.
  if (!c.pageReached) {
    EXPECT_EQ(view_->web.locationReads, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Addresses, WatchTest,
                         ::testing::Values(WatchCase{"BlankAfterPage", true, u"about:blank", true},
                                           WatchCase{"BlankBeforeAnyPage", false, u"about:blank", false},
                                           WatchCase{"LongerAddress", true, u"about:blankx", false},
                                           WatchCase{"OtherCase", true, u"About:Blank", false},
                                           WatchCase{"PageStillShown", true, u"file:///book/index.html", false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ViewerHandlersTest, ClosingStopsTheClockPausesThenLeavesForTheBlankPage) {
  view_->watch.SetEnabled(true);
  const TickCount before = app_.clock;
  std::vector<std::string> seen;
  app_.Schedule(before + 499, [&] { seen.emplace_back(app_.log.back()); });
  view_->Exit1Click();
  EXPECT_EQ(seen, (std::vector<std::string>{"WebBrowser1.Navigate about:EBook"}));
  EXPECT_EQ(app_.log.back(), "QuitMessageLoop");
  EXPECT_EQ(app_.log[app_.log.size() - 2], "WebBrowser1.Navigate about:blank");
  EXPECT_EQ(app_.clock - before, 600u);
  EXPECT_FALSE(view_->clock.Enabled());
  EXPECT_TRUE(view_->watch.Enabled());  // the reader's road leaves the watch alone
  EXPECT_TRUE(app_.Terminated());
}

TEST_F(ViewerHandlersTest, WatchTickInsideAReaderCloseClosesAgainAndTheApplicationStillEnds) {
  PageShown(u"file:///book/index.html");
  view_->Timer1Timer();
  ASSERT_TRUE(view_->watch.Enabled());
  view_->web.location = u"about:blank";
  app_.Schedule(app_.clock + 200, [&] { view_->tmrWatchWebTimer(); });
  view_->Close();
  EXPECT_EQ(view_->closeRequests, 2);
  EXPECT_TRUE(app_.Terminated());
  EXPECT_FALSE(view_->watch.Enabled());
}

TEST_F(ViewerHandlersTest, ClosingAWindowThatIsNotTheMainOneOnlyHidesIt) {
  FakeForms others(app_);
  auto second = others.CreateForm1();
  others.form1->visible = true;
  others.form1->Close();
  EXPECT_FALSE(others.form1->visible);
  EXPECT_FALSE(app_.Terminated());
}

}  // namespace
}  // namespace pagimor::test
