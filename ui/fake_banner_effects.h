// A banner on a simulated clock, for the tests of the banner's state machine.
// Every effect is recorded as one line in `log`; timers run on `now`, and
// run() dispatches posted attempts and due timers in the order the window
// system delivers them (posted messages before timers, timers by due time).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ui/banner_layout.h"
#include "ui/banner_machine.h"

namespace tarnwick {

inline std::string timerName(uintptr_t id) {
  switch (id) {
    case TIMER_START: return "START";
    case TIMER_FADE_OUT: return "FADE_OUT";
    case TIMER_PULSE: return "PULSE";
    case TIMER_AUTO_CLOSE: return "AUTO_CLOSE";
    case TIMER_REMOVED: return "REMOVED";
    default: return std::to_string(id);
  }
}

class SimulatedBanner : public BannerEffects {
 public:
  struct Timer {
    uint32_t period = 0;
    uint64_t due = 0;
  };

  // Sizes of "Cancel" and "OK" as the fake draws them; with a 736-pixel
  // image OK spans 344-400 and Cancel 404-460 (alone: 348-404), rows 29-45.
  static constexpr Extent kCancelText = {40, 16};
  static constexpr Extent kOkText = {14, 16};

  // Answers and settings of the fake system.
  Rect area = {0, 0, 1280, 1000};
  int32_t bannersCounted = 1;
  std::deque<bool> ejectResults;  // one per attempt; refused when empty
  bool diagnosisShowsBalloon = true;

  // What happened.
  uint64_t now = 0;
  std::vector<std::string> log;
  std::map<uintptr_t, Timer> timers;
  std::vector<uint64_t> attemptTimes;
  std::vector<BannerState> presented;  // the state at each composition
  std::vector<Point> fadedAt;
  int diagnoses = 0;
  int explorerReleases = 0;
  bool quitPosted = false;
  uint64_t quitTime = 0;
  int postedEjects = 0;  // posted and not yet dispatched
  int opacity = 0;       // highest alpha of the fake image

  BannerMachine machine;

  explicit SimulatedBanner(const BannerSettings& settings)
      : machine(*this, settings, u'E', {736, 74}) {}

  static BannerSettings settings(bool askFirst, bool systemNotices) {
    BannerSettings s;
    s.askFirst = askFirst;
    s.systemNotices = systemNotices;
    return s;
  }

  // Dispatches what is due until `until` (absolute milliseconds) or until
  // the quit message is posted.
  void runUntil(uint64_t until) {
    while (!quitPosted) {
      if (postedEjects > 0) {
        --postedEjects;
        machine.onEject();
        continue;
      }
      uintptr_t next = 0;
      const Timer* nextTimer = nullptr;
      for (const auto& entry : timers) {
        if (nextTimer == nullptr || entry.second.due < nextTimer->due) {
          next = entry.first;
          nextTimer = &entry.second;
        }
      }
      if (nextTimer == nullptr || nextTimer->due > until) break;
      now = nextTimer->due;
      timers[next].due = now + nextTimer->period;
      machine.onTimer(next);
    }
    if (!quitPosted && now < until) now = until;
  }
  void runFor(uint64_t ms) { runUntil(now + ms); }

  bool timerRuns(uintptr_t id) const { return timers.count(id) != 0; }
  void clearLog() { log.clear(); }

  // BannerEffects
  void setTimer(uintptr_t id, uint32_t periodMs) override {
    log.push_back("setTimer " + timerName(id) + " " + std::to_string(periodMs));
    timers[id] = {periodMs, now + periodMs};
  }
  void killTimer(uintptr_t id) override {
    log.push_back("killTimer " + timerName(id));
    timers.erase(id);
  }
  void postEject() override {
    log.push_back("postEject");
    ++postedEjects;
  }
  Rect workArea() override { return area; }
  int32_t countBannersUnderMutex() override {
    log.push_back("count");
    return bannersCounted;
  }
  bool ejectUnderMutex() override {
    log.push_back("eject");
    attemptTimes.push_back(now);
    if (ejectResults.empty()) return false;
    const bool ejected = ejectResults.front();
    ejectResults.pop_front();
    return ejected;
  }
  void present(const BannerState& state, Rect& okButtonRect, Rect& cancelButtonRect) override {
    log.push_back("present");
    if (state.buttonsActive) {
      const ButtonLayout layout =
          layoutButtons(state.imageSize.width, kCancelText, kOkText, state.askFirst);
      okButtonRect = layout.ok;
      cancelButtonRect = layout.cancel;
    }
    presented.push_back(state);
    opacity = 255;
  }
  bool fadeImage() override {
    log.push_back("fade");
    if (opacity <= 8) {
      opacity = 0;
      return false;
    }
    opacity -= 8;
    return true;
  }
  void presentFaded(Point position) override {
    log.push_back("presentFaded");
    fadedAt.push_back(position);
  }
  void bringToFront() override { log.push_back("front"); }
  void showWindow() override { log.push_back("showWindow"); }
  void showSuccessText() override { log.push_back("successText"); }
  void releaseExplorerWindows() override {
    log.push_back("releaseExplorer");
    ++explorerReleases;
  }
  bool diagnoseBlocker() override {
    log.push_back("diagnose");
    ++diagnoses;
    return diagnosisShowsBalloon;
  }
  void showSafeNotice() override { log.push_back("showSafe"); }
  void removeSafeNotice() override { log.push_back("removeSafe"); }
  void removeBlockerNotice() override { log.push_back("removeBlocker"); }
  void showShutdownWarning() override { log.push_back("shutdownWarning"); }
  void drainDeviceChanges() override { log.push_back("drain"); }
  void setCursor(BannerCursor cursor) override {
    log.push_back(cursor == BannerCursor::Hand ? "cursor hand" : "cursor arrow");
  }
  void quit() override {
    log.push_back("quit");
    quitPosted = true;
    quitTime = now;
  }
};

}  // namespace tarnwick
