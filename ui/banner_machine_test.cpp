#include "ui/banner_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/fake_banner_effects.h"

namespace tarnwick {
namespace {

using Log = std::vector<std::string>;

// Points on the fake's buttons (image 736 wide, rows 29-45).
constexpr Point kOnOk = {370, 35};
constexpr Point kOnCancelBesideOk = {430, 35};       // Cancel 404-460 next to OK
constexpr Point kOnLoneCancel = {380, 35};           // Cancel 348-404 alone
constexpr Point kLeftStripOfLoneCancel = {345, 35};  // inside OK's rectangle, left of Cancel
constexpr Point kOnText = {100, 35};

// Creates the window the way createWindow does: placement inside the
// creation, then the creation returns.
void create(SimulatedBanner& banner) {
  EXPECT_EQ(banner.machine.onCreate(), 0);
  banner.machine.onWindowCreated();
}

// A banner that starts at once and has been refused twice: it shows Cancel
// alone and retries at every cycle end.
void refusedTwice(SimulatedBanner& banner) {
  create(banner);
  banner.runUntil(910);
  ASSERT_EQ(banner.attemptTimes.size(), 2u);
}

TEST(BannerMachinePlacement, StacksAboveTheBannersAlreadyShown) {
  for (int32_t count : {1, 2, 3}) {
    SimulatedBanner banner(SimulatedBanner::settings(true, false));
    banner.area = {20, 40, 1280, 1000};
    banner.bannersCounted = count;
    create(banner);
    // Three quarters down: (40 + 3 * 1000) / 4 = 760; 56 higher per banner.
    EXPECT_EQ(banner.machine.state().position.x, 20);
    EXPECT_EQ(banner.machine.state().position.y, 760 - 56 * (count - 1)) << count;
    EXPECT_EQ(banner.log, (Log{"count", "present", "showWindow", "setTimer PULSE 60"}));
    EXPECT_EQ(banner.presented[0].pulseAlpha, 255);
    EXPECT_TRUE(banner.presented[0].buttonsActive);
    EXPECT_EQ(banner.presented[0].position.y, banner.machine.state().position.y);
  }
}

TEST(BannerMachinePlacement, AFailedCountPlacesTheBannerInTheFirstSlot) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  banner.bannersCounted = 0;
  create(banner);
  EXPECT_EQ(banner.machine.state().position.y, 750);
}

TEST(BannerMachineAttempts, StartsAtOnceAndReleasesExplorerWindowsAfterTheFirstRefusal) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  create(banner);
  EXPECT_EQ(banner.log.back(), "setTimer START 10");
  EXPECT_FALSE(banner.presented[0].buttonsActive);
  banner.clearLog();

  banner.runUntil(10);
  EXPECT_EQ(banner.attemptTimes, (std::vector<uint64_t>{10}));
  EXPECT_EQ(banner.log, (Log{"killTimer START", "postEject", "eject", "releaseExplorer",
                             "setTimer PULSE 60", "present"}));
  const BannerState& state = banner.machine.state();
  EXPECT_TRUE(state.explorerReleased);
  EXPECT_FALSE(state.askFirst);
  EXPECT_FALSE(state.buttonsActive);  // no buttons yet, no diagnosis
  EXPECT_EQ(state.pulseAlpha, 255);
  EXPECT_EQ(banner.diagnoses, 0);
}

TEST(BannerMachineAttempts, LaterRefusalsAreDiagnosedAndRetriedEveryCycleUntilCancel) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  create(banner);
  banner.runUntil(909);
  EXPECT_EQ(banner.attemptTimes.size(), 1u);
  banner.clearLog();
  banner.runUntil(910);  // 15 pulse ticks after the first refusal
  EXPECT_EQ(banner.attemptTimes, (std::vector<uint64_t>{10, 910}));
  EXPECT_EQ(banner.log, (Log{"killTimer PULSE", "postEject", "present", "eject", "present",
                             "diagnose", "setTimer PULSE 60", "present"}));
  // Before the diagnosis Cancel is back, alone, since askFirst is now false.
  const BannerState& beforeDiagnosis = banner.presented[banner.presented.size() - 2];
  EXPECT_TRUE(beforeDiagnosis.buttonsActive);
  EXPECT_FALSE(beforeDiagnosis.askFirst);
  EXPECT_TRUE(banner.machine.state().blockerNoticeShown);

  banner.runUntil(910 + 900 * 5);
  EXPECT_EQ(banner.attemptTimes, (std::vector<uint64_t>{10, 910, 1810, 2710, 3610, 4510, 5410}));
  EXPECT_EQ(banner.explorerReleases, 1);
  EXPECT_EQ(banner.diagnoses, 1);  // not again while the blocker balloon is shown

  banner.machine.onKeyDown(kKeyEscape);
  banner.runFor(60000);
  EXPECT_TRUE(banner.quitPosted);
  EXPECT_EQ(banner.attemptTimes.size(), 7u);
}

TEST(BannerMachineAttempts, EveryLaterRefusalIsDiagnosedWhileNoBalloonIsShown) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  banner.diagnosisShowsBalloon = false;  // nothing found, or the process was terminated
  create(banner);
  banner.runUntil(2710);
  EXPECT_EQ(banner.attemptTimes.size(), 4u);
  EXPECT_EQ(banner.diagnoses, 3);
  EXPECT_FALSE(banner.machine.state().blockerNoticeShown);
}

TEST(BannerMachineAttempts, OkStartsTheFirstAttemptAndARefusalRetriesByItself) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  create(banner);
  banner.runUntil(100);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onLeftButtonDown(kOnOk), 0);
  EXPECT_EQ(banner.log, (Log{"present", "killTimer PULSE", "postEject"}));
  EXPECT_FALSE(banner.presented.back().buttonsActive);
  banner.runFor(0);
  EXPECT_EQ(banner.attemptTimes, (std::vector<uint64_t>{100}));
  EXPECT_EQ(banner.explorerReleases, 1);
  EXPECT_FALSE(banner.machine.state().askFirst);
  EXPECT_FALSE(banner.machine.state().buttonsActive);

  banner.runUntil(1000);
  EXPECT_EQ(banner.attemptTimes, (std::vector<uint64_t>{100, 1000}));
  EXPECT_TRUE(banner.machine.state().buttonsActive);
  EXPECT_EQ(banner.machine.state().cancelButtonRect.left, 348);  // Cancel alone now
}

TEST(BannerMachineAttempts, WaitingForOkPulsesWithoutEnd) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  create(banner);
  banner.runUntil(900);
  std::vector<int> alphas;
  for (size_t i = 1; i < banner.presented.size(); ++i)
    alphas.push_back(banner.presented[i].pulseAlpha);
  std::vector<int> expected;
  for (int a = 239; a >= 31; a -= 16) expected.push_back(a);
  expected.push_back(255);
  EXPECT_EQ(alphas, expected);
  banner.runUntil(120000);
  EXPECT_TRUE(banner.attemptTimes.empty());
  EXPECT_TRUE(banner.timerRuns(TIMER_PULSE));
}

TEST(BannerMachineAttempts, WithSystemNoticesARefusalWaitsForOkAgain) {
  SimulatedBanner banner(SimulatedBanner::settings(false, true));
  create(banner);
  banner.runUntil(10);
  EXPECT_EQ(banner.log,
            (Log{"count", "present", "showWindow", "setTimer START 10", "killTimer START",
                 "postEject", "eject", "present", "diagnose", "setTimer PULSE 60", "present"}));
  EXPECT_EQ(banner.explorerReleases, 0);
  EXPECT_TRUE(banner.machine.state().askFirst);
  EXPECT_TRUE(banner.machine.state().buttonsActive);

  banner.runFor(30000);
  EXPECT_EQ(banner.attemptTimes.size(), 1u);
  EXPECT_EQ(banner.machine.state().okButtonRect.left, 344);
  banner.machine.onKeyDown(kKeyReturn);
  banner.runFor(0);
  EXPECT_EQ(banner.attemptTimes.size(), 2u);
  EXPECT_EQ(banner.explorerReleases, 0);
  EXPECT_EQ(banner.diagnoses, 1);  // the balloon from the first refusal is still shown
}

TEST(BannerMachineSuccess, WithoutSystemNoticesShowsTheBalloonAndClosesAfterAMinute) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  banner.ejectResults = {true};
  create(banner);
  banner.clearLog();
  banner.runUntil(10);
  EXPECT_EQ(banner.log, (Log{"killTimer START", "postEject", "eject", "successText", "showSafe",
                             "setTimer AUTO_CLOSE 60000", "present"}));
  const BannerState& state = banner.machine.state();
  EXPECT_EQ(state.pulseAlpha, 0);
  EXPECT_FALSE(state.buttonsActive);
  EXPECT_TRUE(state.safeNoticeShown);

  banner.runUntil(60009);
  EXPECT_FALSE(banner.timerRuns(TIMER_FADE_OUT));
  banner.clearLog();
  banner.runUntil(60010);
  EXPECT_EQ(banner.log, (Log{"killTimer AUTO_CLOSE", "setTimer FADE_OUT 30", "removeSafe"}));
  EXPECT_FALSE(state.safeNoticeShown);
  banner.runFor(60000);
  // 32 fade steps of 30 ms, each sliding one pixel to the right.
  EXPECT_TRUE(banner.quitPosted);
  EXPECT_EQ(banner.quitTime, 60010u + 32 * 30);
  ASSERT_EQ(banner.fadedAt.size(), 32u);
  EXPECT_EQ(banner.fadedAt.front().x, 1);
  EXPECT_EQ(banner.fadedAt.back().x, 32);
  EXPECT_EQ(Log(banner.log.end() - 4, banner.log.end()),
            (Log{"fade", "front", "presentFaded", "quit"}));
}

TEST(BannerMachineSuccess, WithSystemNoticesFadesOutAtOnce) {
  SimulatedBanner banner(SimulatedBanner::settings(false, true));
  banner.ejectResults = {true};
  create(banner);
  banner.clearLog();
  banner.runUntil(10);
  // The armed device change runs to completion before the success presents.
  EXPECT_EQ(banner.log, (Log{"killTimer START", "postEject", "eject", "successText",
                             "killTimer AUTO_CLOSE", "setTimer FADE_OUT 30", "present"}));
  EXPECT_TRUE(banner.machine.state().closeArmed);
  EXPECT_EQ(banner.machine.state().slideStep, 1);
  banner.runFor(10000);
  EXPECT_EQ(banner.quitTime, 10u + 32 * 30);
  EXPECT_EQ(banner.fadedAt.back().x, 32);
}

TEST(BannerMachineSuccess, RemovesTheBlockerBalloonAndClosesWhenTheSuccessBalloonEnds) {
  for (uint32_t event : {kBalloonTimeout, kBalloonUserClick}) {
    SimulatedBanner banner(SimulatedBanner::settings(false, false));
    banner.ejectResults = {false, false, true};
    create(banner);
    banner.runUntil(1810);
    EXPECT_EQ(Log(banner.log.end() - 6, banner.log.end()),
              (Log{"eject", "successText", "removeBlocker", "showSafe", "setTimer AUTO_CLOSE 60000",
                   "present"}));
    EXPECT_FALSE(banner.machine.state().blockerNoticeShown);

    banner.clearLog();
    EXPECT_EQ(banner.machine.onSafeNotice(0x402), 0);  // a balloon shown: not acted on
    EXPECT_TRUE(banner.log.empty());
    EXPECT_EQ(banner.machine.onSafeNotice(event), 0);
    EXPECT_EQ(banner.log, (Log{"killTimer AUTO_CLOSE", "setTimer FADE_OUT 30", "removeSafe"}));
    banner.runFor(2000);
    EXPECT_TRUE(banner.quitPosted);
  }
}

TEST(BannerMachineRemoval, ThePulledDeviceArmsClosingAfterASecond) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  banner.ejectResults = {true};
  create(banner);
  banner.runUntil(10);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onDeviceChange(kDeviceRemoveComplete), kHandled);
  EXPECT_EQ(banner.log, (Log{"setTimer REMOVED 1000", "drain"}));
  banner.clearLog();
  banner.runUntil(1009);
  EXPECT_EQ(banner.machine.onDeviceChange(kDeviceNodesChanged), kHandled);  // not armed yet
  EXPECT_TRUE(banner.log.empty());
  banner.runUntil(1010);
  EXPECT_EQ(banner.log, (Log{"killTimer REMOVED"}));
  EXPECT_TRUE(banner.machine.state().closeArmed);
  EXPECT_FALSE(banner.timerRuns(TIMER_FADE_OUT));
  banner.clearLog();
  EXPECT_EQ(banner.machine.onDeviceChange(0x0018), kHandled);  // another event
  EXPECT_TRUE(banner.log.empty());
  banner.machine.onDeviceChange(kDeviceNodesChanged);
  EXPECT_EQ(banner.log, (Log{"killTimer AUTO_CLOSE", "setTimer FADE_OUT 30", "removeSafe"}));
  banner.runFor(2000);
  EXPECT_TRUE(banner.quitPosted);
  EXPECT_EQ(banner.fadedAt.back().x, 32);
}

TEST(BannerMachineRemoval, DeviceChangesWhileTheBannerStillWaitsChangeNothing) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  create(banner);
  banner.runUntil(120);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onDeviceChange(kDeviceRemoveComplete), kHandled);
  EXPECT_EQ(banner.machine.onDeviceChange(kDeviceNodesChanged), kHandled);
  EXPECT_TRUE(banner.log.empty());
  EXPECT_FALSE(banner.timerRuns(TIMER_REMOVED));
}

TEST(BannerMachineCancel, CancelAndEscapeFadeOutInPlace) {
  for (bool byKey : {false, true}) {
    SimulatedBanner banner(SimulatedBanner::settings(true, false));
    create(banner);
    banner.runUntil(200);
    banner.clearLog();
    if (byKey) {
      EXPECT_EQ(banner.machine.onKeyDown(kKeyEscape), 0);
    } else {
      EXPECT_EQ(banner.machine.onLeftButtonDown(kOnCancelBesideOk), 0);
    }
    EXPECT_EQ(banner.log, (Log{"present", "killTimer PULSE", "setTimer FADE_OUT 30"}));
    EXPECT_FALSE(banner.presented.back().buttonsActive);
    EXPECT_EQ(banner.presented.back().pulseAlpha, 0);
    banner.runFor(5000);
    EXPECT_EQ(banner.quitTime, 200u + 32 * 30);
    EXPECT_EQ(banner.fadedAt.back().x, 0);
    EXPECT_TRUE(banner.attemptTimes.empty());
  }
}

TEST(BannerMachineCancel, TheBlockerBalloonGoesWhenTheWindowIsDestroyed) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  refusedTwice(banner);
  ASSERT_TRUE(banner.machine.state().blockerNoticeShown);
  banner.machine.onLeftButtonDown(kOnLoneCancel);
  banner.runFor(5000);
  EXPECT_TRUE(banner.quitPosted);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onDestroy(), 0);
  EXPECT_EQ(banner.log, (Log{"removeBlocker"}));
  banner.clearLog();
  banner.machine.onDestroy();
  EXPECT_TRUE(banner.log.empty());
}

TEST(BannerMachineCancel, AnAttemptQueuedBeforeCancelIsDropped) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  refusedTwice(banner);
  banner.machine.onKeyDown(kKeyEscape);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onEject(), 0);
  EXPECT_TRUE(banner.log.empty());
  banner.runFor(5000);
  EXPECT_TRUE(banner.quitPosted);
  EXPECT_EQ(banner.attemptTimes.size(), 2u);
}

TEST(BannerMachineInput, KeysActOnlyOnTheButtonsShown) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  create(banner);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onKeyDown(kKeyEscape), 0);  // no buttons yet
  EXPECT_EQ(banner.machine.onKeyDown(kKeyReturn), 0);
  EXPECT_TRUE(banner.log.empty());
  banner.runUntil(910);  // refused twice: Cancel alone
  ASSERT_TRUE(banner.machine.state().buttonsActive);
  banner.clearLog();
  banner.machine.onKeyDown(kKeyReturn);  // Cancel alone: Enter does nothing
  banner.machine.onKeyDown(0x41);
  banner.machine.onKeyDown(0x20);
  EXPECT_TRUE(banner.log.empty());
  banner.machine.onKeyDown(kKeyEscape);
  EXPECT_EQ(banner.log, (Log{"present", "killTimer PULSE", "setTimer FADE_OUT 30"}));
  banner.clearLog();
  banner.machine.onKeyDown(kKeyEscape);  // buttons gone
  banner.machine.onKeyDown(kKeyReturn);
  EXPECT_TRUE(banner.log.empty());
}

TEST(BannerMachineInput, TheStripLeftOfALoneCancelIsAButtonThatDoesNothing) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  refusedTwice(banner);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onHitTest(kLeftStripOfLoneCancel), kHitClient);
  EXPECT_EQ(banner.machine.onSetCursor(kHitClient), kHandled);
  EXPECT_EQ(banner.log, (Log{"cursor hand"}));
  banner.clearLog();
  EXPECT_EQ(banner.machine.onLeftButtonDown(kLeftStripOfLoneCancel), 0);
  EXPECT_EQ(banner.machine.onLeftButtonDown(kOnText), 0);
  EXPECT_TRUE(banner.log.empty());
  EXPECT_EQ(banner.machine.onHitTest(kOnText), kHitCaption);
  EXPECT_EQ(banner.machine.onHitTest(kOnLoneCancel), kHitClient);
  EXPECT_EQ(banner.machine.onHitTest({404, 35}), kHitCaption);  // right edge excluded
}

TEST(BannerMachineInput, HiddenButtonsAreCaptionAndTakeNoClicks) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  create(banner);
  EXPECT_EQ(banner.machine.onHitTest(kOnOk), kHitClient);
  EXPECT_EQ(banner.machine.onHitTest({402, 35}), kHitCaption);  // gap between OK and Cancel
  EXPECT_EQ(banner.machine.onHitTest({370, 28}), kHitCaption);  // above the buttons
  banner.machine.onLeftButtonDown(kOnOk);
  banner.runFor(0);
  banner.clearLog();
  // The rectangles are kept, but the buttons are gone.
  EXPECT_EQ(banner.machine.onHitTest(kOnCancelBesideOk), kHitCaption);
  banner.machine.onLeftButtonDown(kOnCancelBesideOk);
  banner.machine.onLeftButtonDown(kOnOk);
  EXPECT_TRUE(banner.log.empty());
  banner.machine.onSetCursor(kHitClient);
  banner.machine.onSetCursor(kHitCaption);
  EXPECT_EQ(banner.log, (Log{"cursor arrow", "cursor arrow"}));
}

TEST(BannerMachineInput, DraggingKeepsTheLeftEdgeAndTheWorkArea) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  banner.area = {0, 40, 1280, 1000};
  EXPECT_EQ(banner.machine.onCreate(), 0);
  EXPECT_EQ(banner.machine.onMove(300), 0);  // placement moves the window before creation returns
  EXPECT_EQ(banner.machine.state().position.y, 760);
  banner.machine.onWindowCreated();

  Rect above = {300, 10, 1036, 84};
  EXPECT_EQ(banner.machine.onMoving(above), kHandled);
  EXPECT_EQ(above.left, 0);
  EXPECT_EQ(above.right, 736);
  EXPECT_EQ(above.top, 40);
  EXPECT_EQ(above.bottom, 114);
  Rect below = {50, 950, 786, 1024};
  banner.machine.onMoving(below);
  EXPECT_EQ(below.left, 0);
  EXPECT_EQ(below.top, 926);
  EXPECT_EQ(below.bottom, 1000);
  Rect inside = {-20, 500, 716, 574};
  banner.machine.onMoving(inside);
  EXPECT_EQ(inside.left, 0);
  EXPECT_EQ(inside.right, 736);
  EXPECT_EQ(inside.top, 500);
  EXPECT_EQ(inside.bottom, 574);

  banner.machine.onMove(500);
  banner.runFor(60);
  EXPECT_EQ(banner.presented.back().position.y, 500);
  EXPECT_EQ(banner.presented.back().position.x, 0);
}

TEST(BannerMachineMessages, AnswersTheDriveQueryForItsOwnLetterOnly) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  EXPECT_EQ(banner.machine.onQueryDrive(u'E'), 1);
  EXPECT_EQ(banner.machine.onQueryDrive(u'F'), 0);
  EXPECT_EQ(banner.machine.onQueryDrive(u'e'), 0);
  EXPECT_EQ(banner.machine.onQueryDrive(0x10000 + u'E'), 0);
  EXPECT_TRUE(banner.log.empty());
}

TEST(BannerMachineMessages, RefusesTheEndOfTheSessionAfterTheWarning) {
  SimulatedBanner banner(SimulatedBanner::settings(true, false));
  create(banner);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onQueryEndSession(), 0);
  EXPECT_EQ(banner.machine.onShutdownWarning(), 0);
  EXPECT_EQ(banner.log, (Log{"shutdownWarning", "shutdownWarning"}));
  EXPECT_EQ(banner.machine.onTimer(7), 0);
  EXPECT_EQ(banner.log.size(), 2u);
}

TEST(BannerMachineMessages, TheBlockerBalloonsEndIsDiagnosedAgain) {
  SimulatedBanner banner(SimulatedBanner::settings(false, false));
  refusedTwice(banner);
  banner.clearLog();
  EXPECT_EQ(banner.machine.onBlockerNotice(0x402), 0);
  EXPECT_TRUE(banner.log.empty());
  EXPECT_EQ(banner.machine.onBlockerNotice(kBalloonTimeout), 0);
  EXPECT_EQ(banner.log, (Log{"removeBlocker", "diagnose"}));
  EXPECT_TRUE(banner.machine.state().blockerNoticeShown);  // the fake's diagnosis shows it again

  banner.diagnosisShowsBalloon = false;
  banner.clearLog();
  banner.machine.onBlockerNotice(kBalloonUserClick);
  EXPECT_EQ(banner.log, (Log{"removeBlocker", "diagnose"}));
  EXPECT_FALSE(banner.machine.state().blockerNoticeShown);
}

// A terminate prompt left open for a while: its modal loop keeps
// dispatching the banner's timers and posted messages.
class BannerWithOpenPrompt : public SimulatedBanner {
 public:
  using SimulatedBanner::SimulatedBanner;
  uint64_t promptOpenMs = 0;
  int openPrompts = 0;
  int mostOpenPrompts = 0;
  size_t attemptsUnderPrompt = 0;

  bool diagnoseBlocker() override {
    ++openPrompts;
    mostOpenPrompts = std::max(mostOpenPrompts, openPrompts);
    const size_t attemptsBefore = attemptTimes.size();
    runFor(promptOpenMs);
    attemptsUnderPrompt += attemptTimes.size() - attemptsBefore;
    --openPrompts;
    return SimulatedBanner::diagnoseBlocker();
  }
};

TEST(BannerMachineMessages, NoAttemptOrSecondPromptWhileTheTerminatePromptIsOpen) {
  BannerWithOpenPrompt banner(SimulatedBanner::settings(false, false));
  refusedTwice(banner);
  // The blocker balloon times out and the new diagnosis asks for 5 s, while
  // the retry pulse goes on.
  banner.promptOpenMs = 5000;
  banner.machine.onBlockerNotice(kBalloonTimeout);
  EXPECT_EQ(banner.mostOpenPrompts, 1);
  EXPECT_EQ(banner.attemptsUnderPrompt, 0u);
  EXPECT_FALSE(banner.machine.state().diagnosing);
  EXPECT_TRUE(banner.timerRuns(TIMER_PULSE));

  // Once the prompt is answered the next cycle end attempts again.
  const size_t attempts = banner.attemptTimes.size();
  banner.promptOpenMs = 0;
  banner.runFor(900);
  EXPECT_EQ(banner.attemptTimes.size(), attempts + 1);
}

TEST(BannerMachineMessages, AnAttemptQueuedBeforeThePromptOpensWaitsForTheNextCycle) {
  BannerWithOpenPrompt banner(SimulatedBanner::settings(false, false));
  refusedTwice(banner);
  // An attempt is queued when the balloon's time-out opens the prompt.
  banner.promptOpenMs = 100;
  banner.postEject();
  banner.machine.onBlockerNotice(kBalloonTimeout);
  EXPECT_EQ(banner.attemptsUnderPrompt, 0u);
  EXPECT_EQ(banner.postedEjects, 0);
  EXPECT_TRUE(banner.timerRuns(TIMER_PULSE));

  const size_t attempts = banner.attemptTimes.size();
  banner.promptOpenMs = 0;
  banner.runFor(900);
  EXPECT_EQ(banner.attemptTimes.size(), attempts + 1);
}

}  // namespace
}  // namespace tarnwick
