// Stand-ins for the system in the blocker tests and benchmarks: a handle
// table encoder, a small world of processes, handles and files with a fake
// of the worker's queries and one of the walk's operations over it, and a
// simulated worker thread on a simulated clock, so that time limits are
// exercised without sleeping.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "blocker/blocker_search.h"
#include "blocker/drive_path.h"
#include "blocker/handle_queries.h"
#include "blocker/handle_table.h"
#include "blocker/query_worker.h"

namespace tarnwick::fakes {

constexpr uint32_t kStatusInvalidInfoClass = 0xC0000003;
constexpr uint64_t kForever = std::numeric_limits<uint64_t>::max();

inline void writeUnsigned(uint8_t* p, uint32_t bytes, uint64_t value) {
  for (uint32_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The bytes of a table holding `entries`, as the system would fill them; the
// fields the program does not read hold filler. `count` overrides the count.
inline std::vector<uint8_t> encodeHandleTable(HandleTableFormat format, uint32_t pointerBytes,
                                              const std::vector<HandleEntry>& entries,
                                              uint64_t count = kForever) {
  const HandleTableLayout l = handleTableLayout(format, pointerBytes);
  std::vector<uint8_t> bytes(l.headerBytes + entries.size() * l.entryBytes, 0xEE);
  writeUnsigned(bytes.data(), l.countBytes, count == kForever ? entries.size() : count);
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* e = bytes.data() + l.headerBytes + i * l.entryBytes;
    writeUnsigned(e + l.pidOffset, l.pidBytes, entries[i].processId);
    writeUnsigned(e + l.handleOffset, l.handleBytes, entries[i].handleValue);
    writeUnsigned(e + l.typeOffset, l.typeBytes, entries[i].typeNumber);
  }
  return bytes;
}

struct FakeObject {
  std::u16string type = u"File";
  std::u16string name;
  bool pipe = false;
  uint64_t answerMs = 0;  // how long naming it takes the worker; kForever: it never answers
};

struct FakeProcess {
  std::u16string image;
  bool openable = true;
  bool imageReadable = true;            // through the module list
  bool imageNameReadable = true;        // as the system recorded it at the start
  std::vector<std::u16string> modules;  // loaded besides the executable
  uint64_t startTime = 0;               // 0: a time is made up from the process id
};

// Processes, their handles and the files they name, and a record of what
// was asked of them: what the two fakes below answer from.
struct WorldState {
  // --- the world ---
  std::map<uint32_t, FakeProcess> processes;
  std::vector<HandleEntry> table;                               // in table order
  std::map<std::pair<uint64_t, uint64_t>, FakeObject> objects;  // (process id, handle value)
  std::map<std::u16string, uint32_t> attributes;                // path -> attributes
  std::map<std::u16string, std::u16string> devices;             // "E:" -> device name
  std::map<std::u16string, uint32_t> typeNumbers;               // type name -> number in the table
  bool typeNumbersInTable = true;  // false: every entry carries type number 0
  bool refuseExtended = false;
  bool refuseCompact = false;
  bool reportsNoSizeForSmallBuffers = false;  // as Wine does below header plus one entry
  size_t growthPerQuery = 0;                  // entries added after every table query
  uint32_t queryCostMs = 0;                   // fake time each table query takes
  bool failAllocations = false;
  const uint64_t* clock = nullptr;  // shared simulated clock, or the world's own
  uint64_t ownClock = 0;

  // --- what was asked ---
  std::vector<std::u16string> dosNameQueries;
  std::vector<uint32_t> openedProcesses;
  std::vector<std::pair<uint64_t, uint64_t>> duplicated;
  std::vector<uint32_t> tableQueryClasses;
  std::vector<uint32_t> tableQuerySizes;
  int nameQueries = 0;
  int typeQueries = 0;
  int imageNameReads = 0;
  int badCloses = 0;
  int badReleases = 0;
  std::set<uintptr_t> openHandles;
  std::set<uint8_t*> liveBlocks;
  std::function<void(void* buffer)> duringTableQuery;
  // What each duplicate made in this process stands for: (process id, handle value).
  std::map<uintptr_t, std::pair<uint64_t, uint64_t>> duplicateOf;

  void addProcess(uint32_t pid, std::u16string image) { processes[pid].image = std::move(image); }
  void addHandle(uint32_t pid, uint64_t value, FakeObject object) {
    table.push_back(HandleEntry{pid, value, typeNumbersInTable ? typeNumberOf(object.type) : 0});
    objects[{pid, value}] = std::move(object);
  }
  // Every object type has its own number, given in the order types are first seen.
  uint32_t typeNumberOf(const std::u16string& type) {
    auto t = typeNumbers.find(type);
    if (t != typeNumbers.end()) return t->second;
    const uint32_t number = static_cast<uint32_t>(typeNumbers.size()) + 2;
    typeNumbers[type] = number;
    return number;
  }
  void addFile(uint32_t pid, uint64_t value, std::u16string name, std::u16string path = {},
               uint32_t attrs = 0x20) {
    addHandle(pid, value, FakeObject{u"File", std::move(name)});
    if (!path.empty()) attributes[path] = attrs;
  }
  const FakeObject* objectOf(uintptr_t duplicate) const {
    auto d = duplicateOf.find(duplicate);
    if (d == duplicateOf.end()) return nullptr;
    auto o = objects.find(d->second);
    return o == objects.end() ? nullptr : &o->second;
  }
  // How long the worker takes over a message, for the simulated thread.
  uint64_t costOf(const WorkerMessage& m) const {
    if (m.message != WM_WORKER_QUERY_NAME) return 0;
    const FakeObject* o = objectOf(m.wParam);
    return o == nullptr ? 0 : o->answerMs;
  }
  uint64_t now() const { return clock != nullptr ? *clock : ownClock; }
};

// The worker's native queries: the world's handle table, and the objects
// behind the duplicates that the walk made.
class FakeHandleQueries : public HandleQueries {
 public:
  explicit FakeHandleQueries(WorldState& world) : w_(world) {}

  uint32_t querySystemInformation(uint32_t infoClass, void* buffer, uint32_t size,
                                  uint32_t* returned) override {
    w_.tableQueryClasses.push_back(infoClass);
    w_.tableQuerySizes.push_back(size);
    if (w_.duringTableQuery) w_.duringTableQuery(buffer);
    w_.ownClock += w_.queryCostMs;
    if ((infoClass == 64 && w_.refuseExtended) || (infoClass == 16 && w_.refuseCompact) ||
        (infoClass != 16 && infoClass != 64)) {
      return kStatusInvalidInfoClass;
    }
    const auto format = static_cast<HandleTableFormat>(infoClass);
    const std::vector<uint8_t> bytes = encodeHandleTable(format, sizeof(void*), w_.table);
    const HandleTableLayout l = handleTableLayout(format, sizeof(void*));
    uint32_t status = kStatusSuccess;
    if (bytes.size() > size) {
      *returned = w_.reportsNoSizeForSmallBuffers && size < l.headerBytes + l.entryBytes
                      ? 0
                      : static_cast<uint32_t>(bytes.size());
      status = kStatusInfoLengthMismatch;
    } else {
      std::memcpy(buffer, bytes.data(), bytes.size());
      *returned = static_cast<uint32_t>(bytes.size());
    }
    for (size_t i = 0; i < w_.growthPerQuery; ++i) {
      w_.table.push_back(HandleEntry{999999, 4 * (w_.table.size() + 1)});
    }
    return status;
  }

  uint32_t queryObject(uintptr_t handle, uint32_t infoClass, void* buffer, uint32_t size,
                       uint32_t* returned) override {
    const FakeObject* o = w_.objectOf(handle);
    if (o == nullptr) return 0xC0000008;  // invalid handle
    if (infoClass == kObjectTypeInformation) {
      ++w_.typeQueries;
      return counted(o->type, 104, buffer, size, returned);  // text after the type record
    }
    ++w_.nameQueries;
    return counted(o->name, 2 * sizeof(void*), buffer, size, returned);
  }

  bool isPipe(uintptr_t handle) override {
    const FakeObject* o = w_.objectOf(handle);
    return o != nullptr && o->pipe;
  }

  uint8_t* allocateBlock(uint32_t size) override {
    if (w_.failAllocations) return nullptr;
    uint8_t* p = new uint8_t[size]();
    w_.liveBlocks.insert(p);
    return p;
  }
  void releaseBlock(uint8_t* block, uint32_t) override {
    if (w_.liveBlocks.erase(block) == 0) {
      ++w_.badReleases;
      return;
    }
    delete[] block;
  }
  uint32_t tickCount() override { return static_cast<uint32_t>(w_.now()); }

 private:
  // A counted-string record: descriptor at the start, the text at `textOffset`.
  static uint32_t counted(const std::u16string& text, size_t textOffset, void* buffer,
                          uint32_t size, uint32_t* returned) {
    const size_t needed = textOffset + (text.size() + 1) * 2;
    *returned = static_cast<uint32_t>(needed);
    if (needed > size) return kStatusInfoLengthMismatch;
    auto* b = static_cast<uint8_t*>(buffer);
    const uint16_t length = static_cast<uint16_t>(text.size() * 2);
    const uint16_t maximum = static_cast<uint16_t>(length + 2);
    std::memcpy(b, &length, 2);
    std::memcpy(b + 2, &maximum, 2);
    const uint8_t* at = b + textOffset;
    std::memcpy(b + sizeof(void*), &at, sizeof at);
    std::memcpy(b + textOffset, text.c_str(), (text.size() + 1) * 2);
    return kStatusSuccess;
  }

  WorldState& w_;
};

// The walk's operations on the world's drives, processes, handles and files.
class FakeSearchPlatform : public SearchPlatform {
 public:
  explicit FakeSearchPlatform(WorldState& world) : w_(world) {}

  bool queryDosDevice(const char16_t* dosName, char16_t* target) override {
    std::u16string asked(dosName);
    w_.dosNameQueries.push_back(asked);
    std::u16string key = asked;
    for (auto& c : key) c = upper(c);
    auto d = w_.devices.find(key);
    if (d == w_.devices.end() || d->second.size() + 2 > kDeviceNameUnits) return false;
    std::memcpy(target, d->second.c_str(), (d->second.size() + 1) * 2);
    target[d->second.size() + 1] = 0;  // the list ends with a second terminator
    return true;
  }
  uintptr_t openProcess(uint32_t pid) override {
    w_.openedProcesses.push_back(pid);
    auto p = w_.processes.find(pid);
    if (p == w_.processes.end() || !p->second.openable) return 0;
    const uintptr_t h = newHandle();
    processOf_[h] = pid;
    return h;
  }
  bool readExecutablePath(uintptr_t process, char16_t* path) override {
    const FakeProcess& p = w_.processes.at(processOf_.at(process));
    if (!p.imageReadable) {
      path[0] = u'?';  // a failed read may leave anything behind
      path[1] = 0;
      return false;
    }
    std::u16string image = p.image.substr(0, kBlockerPathUnits - 1);
    std::memcpy(path, image.c_str(), (image.size() + 1) * 2);
    return true;
  }
  bool readImageName(uintptr_t process, char16_t* path) override {
    ++w_.imageNameReads;
    const FakeProcess& p = w_.processes.at(processOf_.at(process));
    if (!p.imageNameReadable) return false;
    std::u16string image = p.image.substr(0, kBlockerPathUnits - 1);
    std::memcpy(path, image.c_str(), (image.size() + 1) * 2);
    return true;
  }
  uint64_t processStartTime(uintptr_t process) override {
    const uint32_t pid = processOf_.at(process);
    const FakeProcess& p = w_.processes.at(pid);
    return p.startTime != 0 ? p.startTime : 0x01D0000000000000ull + pid;
  }
  bool visitModules(uintptr_t process, ModuleVisitor& visitor) override {
    const uint32_t pid = processOf_.at(process);
    const FakeProcess& p = w_.processes.at(pid);
    if (!p.imageReadable) return false;
    if (visitor.visit(p.image.c_str())) return true;
    for (const std::u16string& m : p.modules) {
      if (visitor.visit(m.c_str())) return true;
    }
    return true;
  }
  uintptr_t duplicateHandle(uintptr_t process, uint64_t value) override {
    const uint32_t pid = processOf_.at(process);
    w_.duplicated.push_back({pid, value});
    if (w_.objects.count({pid, value}) == 0) return 0;
    const uintptr_t h = newHandle();
    w_.duplicateOf[h] = {pid, value};
    return h;
  }
  void closeHandle(uintptr_t handle) override {
    if (w_.openHandles.erase(handle) == 0) ++w_.badCloses;
  }
  uint32_t fileAttributes(const char16_t* path) override {
    auto a = w_.attributes.find(path);
    return a == w_.attributes.end() ? 0xFFFFFFFFu : a->second;
  }

 private:
  static char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : c; }
  uintptr_t newHandle() {
    nextHandle_ += 4;
    w_.openHandles.insert(nextHandle_);
    return nextHandle_;
  }

  WorldState& w_;
  uintptr_t nextHandle_ = 0x100;
  std::map<uintptr_t, uint32_t> processOf_;
};

// The world with one fake per seam over it: a handle that `platform`
// duplicates is one that `queries` can name, as in the system.
struct FakeWorld : WorldState {
  FakeWorld() = default;
  FakeWorld(const FakeWorld&) = delete;
  FakeWorld& operator=(const FakeWorld&) = delete;

  FakeHandleQueries queries{*this};
  FakeSearchPlatform platform{*this};
};

// One worker thread at a time, simulated on a clock that only the waits
// advance. The worker serves each message with the real worker code once the
// message's cost has passed; a message that costs kForever never ends.
class FakeWorkerThread : public WorkerThread {
 public:
  uint64_t now = 0;
  uint64_t startupMs = 0;  // until the new worker signals ready; kForever: never
  std::function<uint64_t(const WorkerMessage&)> costOf = [](const WorkerMessage&) { return 0; };
  uint64_t terminationDelayMs = 0;  // termination takes effect this much later
  bool refuseCreate = false;
  bool refusePosts = false;

  int created = 0;
  int terminated = 0;
  int quitByMessage = 0;
  uint64_t lastTerminatedAt = kForever;
  uint64_t lastEndedAt = kForever;

  bool alive() const {
    return state_ == State::Starting || state_ == State::Idle || state_ == State::Busy ||
           state_ == State::Terminating;
  }
  bool eventSignalled() const { return signalled_; }

  bool createThread(const WorkerContext& context) override {
    if (refuseCreate || alive()) return false;  // never two workers at once
    ++created;
    context_ = context;
    queue_.clear();
    state_ = State::Starting;
    busyUntil_ = startupMs == kForever ? kForever : now + startupMs;
    return true;
  }
  bool waitReady(uint32_t limitMs) override {
    const bool ok = runUntil(now + limitMs, [this] { return signalled_; });
    if (ok) signalled_ = false;  // auto-reset
    return ok;
  }
  void resetReady() override { signalled_ = false; }
  bool post(const WorkerMessage& m) override {
    if (refusePosts || !alive()) return false;
    queue_.push_back(m);
    return true;
  }
  bool waitThreadEnd(uint32_t limitMs) override {
    return runUntil(now + limitMs, [this] { return !alive(); });
  }
  void terminateThread() override {
    if (!alive() || state_ == State::Terminating) return;
    ++terminated;
    state_ = State::Terminating;
    busyUntil_ = now + terminationDelayMs;
    if (terminationDelayMs == 0) step();
  }
  void closeThread() override {
    if (alive()) ++closedWhileAlive;
    state_ = State::None;
  }
  uint32_t tickCount() override { return static_cast<uint32_t>(now); }
  int closedWhileAlive = 0;

 private:
  enum class State { None, Starting, Idle, Busy, Terminating, Ended, Terminated };

  class Queue : public WorkerQueue {
   public:
    explicit Queue(bool& signalled) : signalled_(signalled) {}
    void createQueue() override {}
    bool takeMessage(WorkerMessage&) override { return false; }
    void yield() override {}
    void signalReady() override { signalled_ = true; }

   private:
    bool& signalled_;
  };

  // Time of the worker's next step, or kForever.
  uint64_t nextStep() const {
    if (state_ == State::Starting || state_ == State::Busy || state_ == State::Terminating) {
      return busyUntil_;
    }
    if (state_ == State::Idle && !queue_.empty()) return now;
    return kForever;
  }

  void step() {
    if (state_ == State::Terminating) {
      state_ = State::Terminated;
      lastTerminatedAt = now;
    } else if (state_ == State::Starting) {
      signalled_ = true;
      state_ = State::Idle;
    } else if (state_ == State::Busy && current_.message == WM_WORKER_QUERY_NAMES) {
      // A batch is answered handle by handle, each taking its own time.
      auto* batch = reinterpret_cast<NameBatch*>(current_.wParam);
      finishBatchItem(*context_.queries, *batch, batchItem_);
      beginNextBatchItem(*batch, batchItem_ + 1);
    } else if (state_ == State::Busy) {
      Queue q(signalled_);
      serveWorkerMessage(current_, context_, q);
      state_ = State::Idle;
    } else if (state_ == State::Idle) {
      current_ = queue_.front();
      queue_.pop_front();
      if (current_.message == kWorkerQuitMessage) {
        state_ = State::Ended;
        ++quitByMessage;
        lastEndedAt = now;
        return;
      }
      state_ = State::Busy;
      if (current_.message == WM_WORKER_QUERY_NAMES) {
        auto* batch = reinterpret_cast<NameBatch*>(current_.wParam);
        beginNextBatchItem(*batch, batch->first);
        return;
      }
      const uint64_t cost = costOf(current_);
      busyUntil_ = cost == kForever ? kForever : now + cost;
    }
  }

  // Takes handle `index` of the batch, or signals when none is left.
  void beginNextBatchItem(NameBatch& batch, uint32_t index) {
    if (index >= batch.count) {
      signalled_ = true;
      state_ = State::Idle;
      return;
    }
    batchItem_ = index;
    beginBatchItem(batch, index, static_cast<uint32_t>(now));
    const uint64_t cost = costOf(WorkerMessage{WM_WORKER_QUERY_NAME, batch.handles[index], 0});
    busyUntil_ = cost == kForever ? kForever : now + cost;
  }

  // Runs the worker until `done` holds (true) or the deadline passes (false,
  // the clock then stands at the deadline).
  bool runUntil(uint64_t deadline, const std::function<bool()>& done) {
    for (;;) {
      if (done()) return true;
      const uint64_t next = nextStep();
      if (next == kForever || next > deadline) {
        now = deadline;
        return false;
      }
      now = next > now ? next : now;
      step();
    }
  }

  State state_ = State::None;
  WorkerContext context_{};
  std::deque<WorkerMessage> queue_;
  WorkerMessage current_{};
  uint32_t batchItem_ = 0;
  uint64_t busyUntil_ = 0;
  bool signalled_ = false;
};

// Puts the world on the thread's clock, and has the worker take over each
// message the time that the world's objects say.
inline void shareClock(WorldState& world, FakeWorkerThread& threads) {
  world.clock = &threads.now;
  threads.costOf = [&world](const WorkerMessage& m) { return world.costOf(m); };
}

}  // namespace tarnwick::fakes
