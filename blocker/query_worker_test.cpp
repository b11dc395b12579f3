#include "blocker/query_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "blocker/blocker_fakes_test.h"

namespace tarnwick {
namespace {

using fakes::FakeObject;
using fakes::FakeWorkerThread;
using fakes::FakeWorld;
using fakes::kForever;

// The protocol on a simulated clock: the worker's answers take the time the
// objects say, and waits advance the clock instead of sleeping.
class Protocol : public ::testing::Test {
 protected:
  Protocol() {
    fakes::shareClock(world, threads);
    world.addProcess(1, u"C:\\holder.exe");
    process = world.platform.openProcess(1);
  }
  // A duplicate of a new file handle whose name takes `answerMs` to come.
  uintptr_t fileHandle(const std::u16string& name, uint64_t answerMs = 0) {
    FakeObject o{u"File", name};
    o.answerMs = answerMs;
    world.objects[{1, next}] = o;
    return world.platform.duplicateHandle(process, next++);
  }

  FakeWorkerThread threads;
  FakeWorld world;
  QueryWorker worker{threads, world.queries};
  uintptr_t process = 0;
  uint64_t next = 4;
  char16_t name[kNameUnits] = {};
};

TEST_F(Protocol, AHungNameRequestGivesUpAfter100msAndEndsTheWorker100msLater) {
  const uintptr_t hung = fileHandle(u"\\Device\\NamedPipe\\sync", kForever);
  const uintptr_t good = fileHandle(u"\\Device\\HarddiskVolume2\\a.txt", 2);
  threads.startupMs = 5;
  ASSERT_TRUE(worker.startWorker());
  EXPECT_EQ(threads.now, 5u);

  EXPECT_FALSE(worker.requestHandleName(hung, name));
  EXPECT_EQ(threads.now, 5u + 100 + 100);  // the wait, then the grace before termination
  EXPECT_EQ(threads.terminated, 1);
  EXPECT_EQ(threads.lastTerminatedAt, 205u);
  EXPECT_FALSE(threads.alive());
  EXPECT_FALSE(worker.workerRunning());

  // The next name starts a fresh worker and waits for it to be ready.
  EXPECT_TRUE(worker.requestHandleName(good, name));
  EXPECT_EQ(threads.created, 2);
  EXPECT_EQ(threads.now, 205u + 5 + 2);
  EXPECT_EQ(std::u16string(name), u"\\Device\\HarddiskVolume2\\a.txt");
  worker.stopWorker();
  EXPECT_EQ(threads.quitByMessage, 1);
  EXPECT_EQ(threads.terminated, 1);
}

TEST_F(Protocol, ATerminatedWorkerIsForgottenOnlyOnceItHasEnded) {
  // Termination takes effect later than the call; until then the worker could
  // still write its answer and signal.
  threads.terminationDelayMs = 30;
  ASSERT_TRUE(worker.startWorker());
  EXPECT_FALSE(worker.requestHandleName(fileHandle(u"\\x", kForever), name));
  EXPECT_EQ(threads.lastTerminatedAt, 230u);
  EXPECT_EQ(threads.now, 230u);
  EXPECT_EQ(threads.closedWhileAlive, 0);
}

TEST_F(Protocol, ALateSignalIsNeverTakenForTheNextAnswer) {
  // The first answer comes at 150 ms: after the requester gave up, within the
  // grace. Its signal must not wake the start of the next worker, or the next
  // request would take the new worker's ready signal for its answer.
  const uintptr_t slow = fileHandle(u"\\Device\\HarddiskVolume2\\slow.txt", 150);
  const uintptr_t good = fileHandle(u"\\Device\\HarddiskVolume2\\good.txt", 3);
  threads.startupMs = 20;
  ASSERT_TRUE(worker.startWorker());
  worker.requestHandleName(slow, name);
  EXPECT_EQ(threads.terminated, 0);  // it answered and then took its quit message
  EXPECT_FALSE(threads.eventSignalled());

  const uint64_t before = threads.now;
  EXPECT_TRUE(worker.requestHandleName(good, name));
  EXPECT_EQ(std::u16string(name), u"\\Device\\HarddiskVolume2\\good.txt");
  EXPECT_EQ(threads.now, before + 20 + 3);
}

TEST_F(Protocol, AnAnswerWithinTheGraceIsTheAnswerToItsOwnRequest) {
  const uintptr_t slow = fileHandle(u"\\Device\\HarddiskVolume2\\slow.txt", 150);
  ASSERT_TRUE(worker.startWorker());
  EXPECT_TRUE(worker.requestHandleName(slow, name));
  EXPECT_EQ(std::u16string(name), u"\\Device\\HarddiskVolume2\\slow.txt");
  EXPECT_FALSE(worker.workerRunning());
}

TEST_F(Protocol, ASnapshotRequestWithoutAWorkerFailsAtOnce) {
  HandleSnapshot slot;
  EXPECT_FALSE(worker.requestHandleSnapshot(slot));
  EXPECT_EQ(threads.now, 0u);
  EXPECT_EQ(threads.created, 0);
  EXPECT_EQ(slot.data, nullptr);
}

TEST_F(Protocol, ASnapshotArrivesAsSoonAsTheWorkerSignals) {
  world.table = {{1, 4}, {1, 8}};
  threads.costOf = [](const WorkerMessage&) { return uint64_t{7}; };
  ASSERT_TRUE(worker.startWorker());
  HandleSnapshot slot;
  ASSERT_TRUE(worker.requestHandleSnapshot(slot));
  EXPECT_EQ(threads.now, 7u);
  EXPECT_NE(slot.data, nullptr);
  worker.stopWorker();
  worker.releaseSnapshot(slot);
  EXPECT_TRUE(world.liveBlocks.empty());
}

TEST_F(Protocol, ASnapshotThatNeverComesStopsTheWorkerAfter1000ms) {
  threads.costOf = [](const WorkerMessage&) { return kForever; };
  ASSERT_TRUE(worker.startWorker());
  HandleSnapshot slot;
  EXPECT_FALSE(worker.requestHandleSnapshot(slot));
  EXPECT_EQ(threads.now, 1000u + 100);
  EXPECT_EQ(threads.terminated, 1);
  EXPECT_FALSE(worker.workerRunning());
}

TEST_F(Protocol, AWorkerThatIsNeverReadyIsEndedAndTheStartFails) {
  threads.startupMs = kForever;
  EXPECT_FALSE(worker.startWorker());
  EXPECT_EQ(threads.now, 1000u + 100);
  EXPECT_EQ(threads.terminated, 1);
  EXPECT_FALSE(threads.alive());
  // A name request then finds no worker and tries a new one, which fails the same way.
  EXPECT_FALSE(worker.requestHandleName(fileHandle(u"\\x"), name));
  EXPECT_EQ(threads.created, 2);
}

TEST_F(Protocol, AThreadThatCannotBeCreatedFailsTheStartAtOnce) {
  threads.refuseCreate = true;
  EXPECT_FALSE(worker.startWorker());
  EXPECT_FALSE(worker.requestHandleName(fileHandle(u"\\x"), name));
  EXPECT_EQ(threads.now, 0u);
}

TEST_F(Protocol, ARequestThatCannotBePostedEndsTheWorkerWithoutWaiting) {
  ASSERT_TRUE(worker.startWorker());
  threads.refusePosts = true;
  EXPECT_FALSE(worker.requestHandleName(fileHandle(u"\\x"), name));
  EXPECT_FALSE(worker.workerRunning());
  EXPECT_FALSE(threads.alive());
  EXPECT_EQ(threads.now, 100u);  // only the grace: the quit message could not be posted either
}

TEST_F(Protocol, AFailedRequestAnswersAtOnceWithoutAName) {
  FakeObject event{u"Event", u"\\BaseNamedObjects\\x"};
  world.objects[{1, 100}] = event;
  const uintptr_t h = world.platform.duplicateHandle(process, 100);
  ASSERT_TRUE(worker.startWorker());
  name[0] = u'x';
  EXPECT_FALSE(worker.requestHandleName(h, name));
  EXPECT_EQ(threads.now, 0u);
  EXPECT_TRUE(worker.workerRunning());
  EXPECT_EQ(name[0], u'x');
}

TEST_F(Protocol, StoppingWithoutAWorkerClearsAPendingSignal) {
  ASSERT_TRUE(worker.startWorker());
  worker.stopWorker();
  EXPECT_EQ(threads.quitByMessage, 1);
  EXPECT_EQ(threads.closedWhileAlive, 0);
  worker.stopWorker();
  EXPECT_FALSE(threads.eventSignalled());
}

// Several handles per request: each keeps its own limit.
class Batches : public Protocol {
 protected:
  // A batch of file handles whose names take the given times.
  void fill(const std::vector<uint64_t>& answerMs) {
    batch.count = 0;
    for (uint64_t ms : answerMs) {
      const char16_t letter = static_cast<char16_t>(u'a' + batch.count);
      batch.handles[batch.count] =
          fileHandle(u"\\Device\\HarddiskVolume2\\f" + std::u16string(1, letter), ms);
      ++batch.count;
    }
  }
  std::vector<NameAnswer> answers() const { return {batch.answers, batch.answers + batch.count}; }
  NameBatch batch;
};

using A = NameAnswer;

TEST_F(Batches, AHungHandleAloneIsUnnamedAndTheRestGoToAFreshWorker) {
  fill({1, 2, kForever, 3, 4});
  threads.startupMs = 5;
  ASSERT_TRUE(worker.startWorker());
  worker.askHandleNames(batch);
  EXPECT_EQ(answers(), (std::vector<A>{A::Named, A::Named, A::Hung, A::Named, A::Named}));
  EXPECT_EQ(std::u16string(batch.names[4]), u"\\Device\\HarddiskVolume2\\fe");
  EXPECT_EQ(threads.created, 2);
  EXPECT_EQ(threads.terminated, 1);
  // Its 100 ms run from when the worker took it, then the grace, then a new worker.
  EXPECT_EQ(threads.now, 5u + 3 + 100 + 100 + 5 + 7);
  EXPECT_TRUE(worker.workerRunning());
  worker.stopWorker();
}

TEST_F(Batches, ARequestMayTakeLongerThanOneLimitWhileEachAnswerComesInTime) {
  fill({90, 90, 90, 90, 90, 90});
  ASSERT_TRUE(worker.startWorker());
  worker.askHandleNames(batch);
  EXPECT_EQ(answers(), std::vector<A>(6, A::Named));
  EXPECT_EQ(threads.now, 540u);
  EXPECT_EQ(threads.terminated, 0);
  EXPECT_EQ(threads.created, 1);
  worker.stopWorker();
}

TEST_F(Batches, AnAnswerWithinTheGraceStandsAndTheNextHandleIsAskedAgain) {
  fill({150, 1});
  ASSERT_TRUE(worker.startWorker());
  worker.askHandleNames(batch);
  // Both answered within the grace, and the worker then took its quit message.
  EXPECT_EQ(answers(), (std::vector<A>{A::Named, A::Named}));
  EXPECT_EQ(threads.terminated, 0);
  EXPECT_EQ(threads.now, 151u);
  worker.stopWorker();
}

TEST_F(Batches, TellsFilesOtherObjectsAndUnreadableHandlesApart) {
  world.objects[{1, 100}] = FakeObject{u"Event", u""};
  FakeObject pipe{u"File", u"\\Device\\NamedPipe\\p"};
  pipe.pipe = true;
  world.objects[{1, 104}] = pipe;
  world.objects[{1, 108}] =
      FakeObject{u"File", u"\\Device\\HarddiskVolume2\\" + std::u16string(300, u'x')};
  batch.count = 4;
  batch.handles[0] = world.platform.duplicateHandle(process, 100);
  batch.handles[1] = world.platform.duplicateHandle(process, 104);
  batch.handles[2] = world.platform.duplicateHandle(process, 108);
  batch.handles[3] = 0xDEAD;  // not a handle at all
  ASSERT_TRUE(worker.startWorker());
  worker.askHandleNames(batch);
  EXPECT_EQ(answers(), (std::vector<A>{A::NotFile, A::FileUnnamed, A::FileUnnamed, A::Unreadable}));
  worker.stopWorker();
}

TEST_F(Batches, AWorkerThatCannotBeRestartedLeavesTheRestUnasked) {
  fill({1, kForever, 1, 1});
  ASSERT_TRUE(worker.startWorker());
  threads.startupMs = kForever;
  worker.askHandleNames(batch);
  EXPECT_EQ(answers(), (std::vector<A>{A::Named, A::Hung, A::NoWorker, A::NoWorker}));
  EXPECT_EQ(threads.now, 1u + 200 + 1000 + 100);
}

TEST_F(Batches, NoWaitOutlastsTheLimitGiven) {
  fill({1, 40, 40, kForever, 1});
  ASSERT_TRUE(worker.startWorker());
  worker.limitWaitsTo(60);
  worker.askHandleNames(batch);
  // What was answered by the end of the grace stands.
  EXPECT_EQ(answers(), (std::vector<A>{A::Named, A::Named, A::Named, A::Unasked, A::Unasked}));
  EXPECT_EQ(threads.now, 60u + 100);  // the limit, then the grace of the worker's quit
  // Past the limit nothing is asked and no worker is started.
  fill({1});
  worker.askHandleNames(batch);
  EXPECT_EQ(answers(), std::vector<A>{A::Unasked});
  EXPECT_EQ(worker.askHandleName(batch.handles[0], name), A::Unasked);
  EXPECT_FALSE(worker.startWorker());
  EXPECT_EQ(threads.created, 1);
  worker.removeWaitLimit();
  EXPECT_EQ(worker.askHandleName(batch.handles[0], name), A::Named);
  worker.stopWorker();
}

// The worker's side, message by message.
class Serving : public ::testing::Test {
 protected:
  struct Queue : WorkerQueue {
    std::vector<WorkerMessage> messages;
    std::vector<std::string> log;
    int takes = 0;
    void createQueue() override { log.push_back("queue"); }
    bool takeMessage(WorkerMessage& m) override {
      if (messages.empty() || takes++ == 0) {  // at first nothing has arrived yet
        log.push_back("empty");
        return false;
      }
      m = messages.front();
      messages.erase(messages.begin());
      return true;
    }
    void yield() override { log.push_back("yield"); }
    void signalReady() override { log.push_back("signal"); }
  };
  // Counts the signals; never has a message.
  struct CountingQueue : WorkerQueue {
    int signals = 0;
    void createQueue() override {}
    bool takeMessage(WorkerMessage&) override { return false; }
    void yield() override {}
    void signalReady() override { ++signals; }
  };
  Serving() {
    world.addProcess(1, u"C:\\p.exe");
    world.objects[{1, 4}] = FakeObject{u"File", u"\\Device\\HarddiskVolume2\\f"};
    world.objects[{1, 8}] = FakeObject{u"Event", u""};
    const uintptr_t process = world.platform.openProcess(1);
    file = world.platform.duplicateHandle(process, 4);
    event = world.platform.duplicateHandle(process, 8);
  }
  FakeWorld world;
  std::atomic<uint32_t> replied{0};
  WorkerContext context{&world.queries, &replied};
  uintptr_t file = 0, event = 0;
  char16_t name[kNameUnits] = {};
};

TEST_F(Serving, EveryRequestEndsWithExactlyOneSignalAndOtherMessagesWithNone) {
  CountingQueue q;
  EXPECT_TRUE(serveWorkerMessage({WM_WORKER_QUERY_NAME, file, reinterpret_cast<uintptr_t>(name)},
                                 context, q));
  EXPECT_EQ(q.signals, 1);
  EXPECT_EQ(replied.load(), 1u);
  replied = 0;
  EXPECT_TRUE(serveWorkerMessage({WM_WORKER_QUERY_NAME, event, reinterpret_cast<uintptr_t>(name)},
                                 context, q));
  EXPECT_EQ(q.signals, 2);
  EXPECT_EQ(replied.load(), 0u);
  EXPECT_TRUE(serveWorkerMessage({0x0400, 0, 0}, context, q));
  EXPECT_EQ(q.signals, 2);
  EXPECT_FALSE(serveWorkerMessage({kWorkerQuitMessage, 0, 0}, context, q));
  EXPECT_EQ(q.signals, 2);
}

TEST_F(Serving, ABatchIsAnsweredInOrderWithItsProgressAndOneSignal) {
  CountingQueue q;
  NameBatch batch;
  batch.count = 3;
  batch.handles[0] = event;
  batch.handles[1] = file;
  batch.handles[2] = file;
  batch.first = 1;  // a fresh worker goes on where the last one stopped
  world.ownClock = 77;
  EXPECT_TRUE(serveWorkerMessage({WM_WORKER_QUERY_NAMES, reinterpret_cast<uintptr_t>(&batch), 0},
                                 context, q));
  EXPECT_EQ(q.signals, 1);
  EXPECT_EQ(replied.load(), 0u);
  EXPECT_EQ(batch.progress.load(), 6u);
  EXPECT_EQ(batch.answers[0], NameAnswer::Unasked);
  EXPECT_EQ(batch.answers[2], NameAnswer::Named);
  EXPECT_EQ(batch.started[2], 77u);
  EXPECT_EQ(std::u16string(batch.names[1]), u"\\Device\\HarddiskVolume2\\f");
}

TEST_F(Serving, TheLoopOwnsAQueueBeforeItSignalsReadyAndPollsWithoutBlocking) {
  Queue q;
  q.messages = {{WM_WORKER_QUERY_NAME, file, reinterpret_cast<uintptr_t>(name)},
                {kWorkerQuitMessage, 0, 0}};
  runWorkerLoop(q, context);
  ASSERT_GE(q.log.size(), 3u);
  EXPECT_EQ(q.log[0], "queue");
  EXPECT_EQ(q.log[1], "signal");
  EXPECT_EQ(q.log[2], "empty");
  EXPECT_EQ(q.log[3], "yield");
  EXPECT_EQ(std::count(q.log.begin(), q.log.end(), "signal"), 2);
  EXPECT_EQ(std::u16string(name), u"\\Device\\HarddiskVolume2\\f");
}

}  // namespace
}  // namespace tarnwick
