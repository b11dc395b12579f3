// The banner's event machine under random sequences of events, delivered the
// way the window system delivers them: the message loop takes posted
// messages before timers and timers by due time; the modal loops of the
// terminate prompt and the shutdown warning dispatch posted messages,
// timers and sent messages (not input: the banner is disabled under them);
// draining device changes dispatches sent broadcasts. After the quit
// message the loop ends: only an attempt already posted may still be
// dispatched, then the window is destroyed.
//
// Checked after every event: no effect after quit; never two ejection
// attempts or two diagnoses at once, and none by a finished banner;
// pulseAlpha and the timers fit the state (a finished banner has no pulse,
// a waiting one always has something that will move it on); what was drawn
// last shows the buttons the state has; the notices' icons as the state says.
//
// Input: a settings byte (bit 0 ask first, bit 1 system notices), the work
// area (four signed 16-bit values), the banner count (signed 16 bits), then
// events, one byte each with their arguments after them; the answers of
// attempts and diagnoses come from the event stream too.
#include <map>

#include "fuzz/fuzz_support.h"
#include "ui/banner_layout.h"
#include "ui/banner_machine.h"

using namespace tarnwick;

namespace {

constexpr Extent kImage = {736, 74};
constexpr Extent kCancelText = {40, 16};
constexpr Extent kOkText = {14, 16};
constexpr int kMostNesting = 3;

// TARNWICK_FUZZ_TRACE=1 prints every event and effect, to follow a finding.
void trace(int depth, const char* what, long value = -1) {
  static const bool on = std::getenv("TARNWICK_FUZZ_TRACE") != nullptr;
  if (!on) return;
  std::fprintf(stderr, "%*s%s", depth * 2, "", what);
  if (value >= 0) std::fprintf(stderr, " %ld", value);
  std::fprintf(stderr, "\n");
}

struct Input {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool empty() const { return at >= size; }
  uint8_t byte() { return at < size ? data[at++] : 0; }
  int16_t int16() {
    const uint8_t low = byte();
    return static_cast<int16_t>(low | byte() << 8);
  }
};

class Window : public BannerEffects {
 public:
  Window(Input& input, const BannerSettings& settings, Rect area, int32_t count)
      : input_(input),
        area_(area),
        count_(count),
        prompts_(settings.offerKill && !settings.systemNotices),
        machine_(*this, settings, u'E', kImage) {}

  void run() {
    {
      Handler h(*this);
      FUZZ_CHECK(machine_.onCreate() == 0);
    }
    machine_.onWindowCreated();
    created_ = true;
    checkState();
    while (!quitPosted_ && !input_.empty()) {
      event(0);
      checkState();
    }
    // The loop has ended: what was posted before the quit still arrives and
    // must change nothing; then the window is destroyed.
    while (quitPosted_ && postedEjects_ > 0) {
      --postedEjects_;
      Handler h(*this);
      const size_t effects = effects_;
      machine_.onEject();
      FUZZ_CHECK(effects_ == effects);
    }
    if (quitPosted_) {
      destroying_ = true;
      Handler h(*this);
      machine_.onDestroy();
      FUZZ_CHECK(!blockerIcon_ && !safeIcon_);
    }
  }

  // BannerEffects
  void setTimer(uintptr_t id, uint32_t periodMs) override {
    effect();
    FUZZ_CHECK(id <= TIMER_REMOVED);
    timers_[id] = {periodMs, now_ + periodMs};
  }
  void killTimer(uintptr_t id) override {
    effect();
    timers_.erase(id);
  }
  void postEject() override {
    effect();
    ++postedEjects_;
  }
  Rect workArea() override {
    effect();
    return area_;
  }
  int32_t countBannersUnderMutex() override {
    effect();
    return count_;
  }
  bool ejectUnderMutex() override {
    effect();
    FUZZ_CHECK(attempting_ == 0);                  // never two attempts at once
    FUZZ_CHECK(machine_.state().pulseAlpha != 0);  // none by a finished banner
    ++attempting_;
    const bool ejected = (input_.byte() & 3) == 0;
    --attempting_;
    if (ejected) ejected_ = true;
    return ejected;
  }
  void present(const BannerState& state, Rect& okButtonRect, Rect& cancelButtonRect) override {
    effect();
    FUZZ_CHECK(!fading_);  // once a fade step is taken, the image is never composed again
    drawn_ = state;
    drawnOnce_ = true;
    if (state.buttonsActive) {
      const ButtonLayout layout =
          layoutButtons(state.imageSize.width, kCancelText, kOkText, state.askFirst);
      okButtonRect = layout.ok;
      cancelButtonRect = layout.cancel;
      drawnButtons_ = layout;
    }
    opacity_ = 255;
  }
  bool fadeImage() override {
    effect();
    FUZZ_CHECK(timers_.count(TIMER_FADE_OUT) != 0);
    fading_ = true;
    opacity_ = opacity_ > 8 ? opacity_ - 8 : 0;
    return opacity_ > 0;
  }
  void presentFaded(Point) override { effect(); }
  void bringToFront() override { effect(); }
  void showWindow() override { effect(); }
  void showSuccessText() override {
    effect();
    FUZZ_CHECK(ejected_);
  }
  void releaseExplorerWindows() override {
    effect();
    FUZZ_CHECK(!machine_.state().systemNotices);
    FUZZ_CHECK(++explorerReleases_ == 1);  // once per banner
  }
  bool diagnoseBlocker() override {
    effect();
    FUZZ_CHECK(!diagnosing_);  // never two diagnoses (two prompts) at once
    FUZZ_CHECK(!blockerIcon_);
    diagnosing_ = true;
    if (prompts_) modalLoop();  // the terminate prompt
    diagnosing_ = false;
    const bool shown = (input_.byte() & 1) != 0;
    if (shown) blockerIcon_ = true;
    return shown;
  }
  void showSafeNotice() override {
    effect();
    FUZZ_CHECK(!safeIcon_);
    safeIcon_ = true;
  }
  void removeSafeNotice() override {
    effect();
    FUZZ_CHECK(safeIcon_);
    safeIcon_ = false;
  }
  void removeBlockerNotice() override {
    if (!destroying_) effect();
    FUZZ_CHECK(blockerIcon_);
    blockerIcon_ = false;
  }
  void showShutdownWarning() override {
    effect();
    modalLoop();
  }
  void drainDeviceChanges() override {
    effect();
    // Broadcasts sent while the queue is emptied are handled on the way.
    if (depth_ < kMostNesting && (input_.byte() & 1) != 0) deviceChange(depth_);
  }
  void setCursor(BannerCursor) override { effect(); }
  void quit() override {
    effect();
    quitPosted_ = true;
  }

 private:
  struct Timer {
    uint32_t period = 0;
    uint64_t due = 0;
  };
  // Marks a handler running, for the nesting depth.
  struct Handler {
    explicit Handler(Window& w) : w(w) { ++w.depth_; }
    ~Handler() { --w.depth_; }
    Window& w;
  };

  void effect(const char* name = __builtin_FUNCTION()) {
    trace(depth_, name);
    FUZZ_CHECK(!quitPosted_);  // nothing happens after quit
    ++effects_;
  }

  void modalLoop() {
    if (depth_ >= kMostNesting) return;
    const int events = input_.byte() % 4;
    for (int i = 0; i < events && !input_.empty(); ++i) {
      if (quitPosted_) return;  // the modal loop ends with the quit message
      event(depth_);
    }
  }

  // One turn of the message loop: a posted attempt, or the next timer.
  void dispatchNext() {
    if (postedEjects_ > 0) {
      --postedEjects_;
      Handler h(*this);
      FUZZ_CHECK(machine_.onEject() == 0);
      return;
    }
    if (timers_.empty()) return;
    auto next = timers_.begin();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due < next->second.due) next = it;
    }
    const uintptr_t id = next->first;
    trace(depth_, "timer", static_cast<long>(id));
    now_ = next->second.due;
    next->second.due = now_ + next->second.period;
    Handler h(*this);
    FUZZ_CHECK(machine_.onTimer(id) == 0);
  }

  void deviceChange(int) {
    static const uintptr_t kEvents[4] = {kDeviceNodesChanged, kDeviceRemoveComplete, 0x8000, 0x18};
    Handler h(*this);
    FUZZ_CHECK(machine_.onDeviceChange(kEvents[input_.byte() & 3]) == kHandled);
  }

  // A balloon's callback event: timed out, clicked, or one the banner ignores.
  uint32_t balloonEvent() {
    static const uint32_t kBalloonEvents[3] = {kBalloonTimeout, kBalloonUserClick, 0x402};
    return kBalloonEvents[input_.byte() % 3];
  }

  Point pointFor(uint8_t choice) {
    const Rect ok = machine_.state().okButtonRect;
    const Rect cancel = machine_.state().cancelButtonRect;
    switch (choice & 3) {
      case 0: return {ok.left, ok.top};
      case 1: return {cancel.left, cancel.top};
      case 2: return {cancel.left - 1, (cancel.top + cancel.bottom) / 2};
      default: {
        const int16_t x = input_.int16();
        return {x, input_.int16()};
      }
    }
  }

  // One event; input (mouse and keys) only reaches the banner outside the
  // modal loops.
  void event(int depth) {
    const uint8_t kind = input_.byte();
    static const char* const kNames[16] = {
        "dispatch",        "dispatch",    "dispatch",    "dispatch",      "dispatch",
        "dispatch",        "click",       "key",         "device change", "safe balloon",
        "blocker balloon", "end session", "query drive", "hit test",      "drag",
        "dispatch"};
    trace(depth, kNames[kind % 16]);
    const bool modal = depth > 0;
    const BannerState& s = machine_.state();
    switch (kind % 16) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4:
      case 5: dispatchNext(); break;
      case 6:
        if (!modal) {
          const Point p = pointFor(input_.byte());
          Handler h(*this);
          FUZZ_CHECK(machine_.onLeftButtonDown(p) == 0);
        }
        break;
      case 7:
        if (!modal) {
          static const uint32_t kKeys[4] = {kKeyReturn, kKeyEscape, 0x20, 0x41};
          Handler h(*this);
          FUZZ_CHECK(machine_.onKeyDown(kKeys[input_.byte() & 3]) == 0);
        }
        break;
      case 8: deviceChange(depth); break;
      case 9: {  // a callback of the success balloon, while it is there
        const uint32_t e = balloonEvent();
        if (safeIcon_) {
          Handler h(*this);
          FUZZ_CHECK(machine_.onSafeNotice(e) == 0);
        }
        break;
      }
      case 10: {  // a callback of the blocker balloon, while it is there
        const uint32_t e = balloonEvent();
        if (blockerIcon_) {
          Handler h(*this);
          FUZZ_CHECK(machine_.onBlockerNotice(e) == 0);
        }
        break;
      }
      case 11:
        if (depth < kMostNesting) {
          Handler h(*this);
          FUZZ_CHECK(machine_.onQueryEndSession() == 0);
        }
        break;
      case 12: {
        const uint8_t letter = input_.byte();
        Handler h(*this);
        const size_t effects = effects_;
        FUZZ_CHECK(machine_.onQueryDrive(letter) == (letter == 'E' ? 1 : 0));
        FUZZ_CHECK(effects_ == effects);
        break;
      }
      case 13: {
        const Point p = pointFor(input_.byte());
        Handler h(*this);
        const intptr_t hit = machine_.onHitTest(p);
        const bool onButton = s.buttonsActive && (s.okButtonRect.contains(p.x, p.y) ||
                                                  s.cancelButtonRect.contains(p.x, p.y));
        FUZZ_CHECK(hit == (onButton ? kHitClient : kHitCaption));
        FUZZ_CHECK(machine_.onSetCursor(static_cast<uint32_t>(hit)) == kHandled);
        break;
      }
      case 14: {  // dragging
        Rect r;
        r.left = input_.int16();
        r.top = input_.int16();
        r.right = r.left + (input_.byte() << 2);
        r.bottom = r.top + kImage.height;
        const int32_t width = r.right - r.left;
        Handler h(*this);
        FUZZ_CHECK(machine_.onMoving(r) == kHandled);
        FUZZ_CHECK(r.left == s.position.x && r.right - r.left == width);
        if (area_.bottom - area_.top >= kImage.height) {
          FUZZ_CHECK(r.top >= area_.top && r.bottom <= area_.bottom);
        }
        if (created_) {
          FUZZ_CHECK(machine_.onMove(r.top) == 0);
          FUZZ_CHECK(s.position.y == r.top);
        }
        break;
      }
      default:
        if (!modal) dispatchNext();
        break;
    }
  }

  // The invariants that hold whenever no handler runs.
  void checkState() {
    const BannerState& s = machine_.state();
    const bool finished = s.pulseAlpha == 0;
    FUZZ_CHECK(s.okButtonRect.right >= s.okButtonRect.left);
    if (finished) {
      // A finished banner neither pulses nor makes attempts.
      FUZZ_CHECK(timers_.count(TIMER_PULSE) == 0 && timers_.count(TIMER_START) == 0);
      FUZZ_CHECK(!s.buttonsActive);
    } else {
      // A waiting banner always has something that moves it on.
      FUZZ_CHECK(timers_.count(TIMER_PULSE) != 0 || timers_.count(TIMER_START) != 0 ||
                 postedEjects_ > 0);
      FUZZ_CHECK(!fading_ && timers_.count(TIMER_FADE_OUT) == 0);
      FUZZ_CHECK(timers_.count(TIMER_AUTO_CLOSE) == 0 && timers_.count(TIMER_REMOVED) == 0);
      FUZZ_CHECK(!safeIcon_);
    }
    if (fading_) FUZZ_CHECK(timers_.count(TIMER_FADE_OUT) != 0);
    // What is drawn is what the state says.
    FUZZ_CHECK(drawnOnce_);
    FUZZ_CHECK(drawn_.buttonsActive == s.buttonsActive);
    FUZZ_CHECK(drawn_.pulseAlpha == s.pulseAlpha);
    if (s.buttonsActive) {
      FUZZ_CHECK(drawn_.askFirst == s.askFirst);
      const Rect& ok = drawnButtons_.ok;
      const Rect& cancel = drawnButtons_.cancel;
      FUZZ_CHECK(ok.left == s.okButtonRect.left && ok.right == s.okButtonRect.right);
      FUZZ_CHECK(cancel.left == s.cancelButtonRect.left &&
                 cancel.right == s.cancelButtonRect.right);
    }
    FUZZ_CHECK(s.safeNoticeShown == safeIcon_);
    FUZZ_CHECK(s.blockerNoticeShown == blockerIcon_);
    FUZZ_CHECK(!s.diagnosing);
    FUZZ_CHECK(postedEjects_ <= 2);
  }

  Input& input_;
  Rect area_;
  int32_t count_;
  bool prompts_;  // the diagnosis asks whether to terminate the blocker first
  BannerMachine machine_;

  uint64_t now_ = 0;
  std::map<uintptr_t, Timer> timers_;
  int postedEjects_ = 0;
  bool quitPosted_ = false;
  bool destroying_ = false;
  bool created_ = false;
  int depth_ = 0;
  size_t effects_ = 0;
  int attempting_ = 0;
  bool diagnosing_ = false;
  bool ejected_ = false;
  int explorerReleases_ = 0;
  bool fading_ = false;
  int opacity_ = 0;
  bool drawnOnce_ = false;
  BannerState drawn_;
  ButtonLayout drawnButtons_;
  bool safeIcon_ = false;
  bool blockerIcon_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  const uint8_t flags = input.byte();
  BannerSettings settings;
  settings.askFirst = flags & 1;
  settings.systemNotices = flags & 2;
  settings.offerKill = flags & 4;
  Rect area;
  area.left = input.int16();
  area.top = input.int16();
  area.right = input.int16();
  area.bottom = input.int16();
  const int32_t count = input.int16();
  Window window(input, settings, area, count);
  window.run();
  return 0;
}
