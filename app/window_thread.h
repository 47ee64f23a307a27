// How a window operation called from a worker thread reaches the window's thread.
// Every operation of the main window goes through RunOnWindowThread, so this is
// the one place that decides how the hand-off between threads is made.
//
// A blocking queued call costs a round trip through the event loop, some 25 µs,
// for every operation, and a kept row takes ten of them. So the hand-off is made
// cheap instead: the caller queues its operation and spins briefly for the
// result before it sleeps, and the window's thread, once woken for one
// operation, goes on taking the next ones as they come for a short while (a
// burst) before it turns back to its events. Operations still run on the
// window's thread, whole, one at a time, in the order they were queued, and the
// caller still returns only once its operation has been carried out.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmora {

namespace window_thread_detail {

using Clock = std::chrono::steady_clock;

// How long a caller spins for its result before it sleeps; how long the window's
// thread spins for a next operation before it sleeps for it, and how long it
// waits for one in all before its burst ends; the longest a burst may keep the
// window's thread from its events.
inline constexpr auto kCallerSpin = std::chrono::microseconds(20);
inline constexpr auto kPollSpin = std::chrono::microseconds(20);
inline constexpr auto kLinger = std::chrono::microseconds(200);
inline constexpr auto kBurstBudget = std::chrono::milliseconds(5);

// A few pauses, then yields: when the other thread waits for this core (the
// machine busy, or both threads on one core), a yield lets it run at once.
inline void Relax(int round) {
  if (round < 8) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
  } else {
    std::this_thread::yield();
  }
}

// One operation handed over; it lives on the caller's stack until it is done.
class HandOff {
 public:
  explicit HandOff(QObject& target) : target_(&target) {}

  // On the window's thread. An operation whose window is gone is skipped, and
  // its caller gets the value-initialised result.
  void Carry() {
    if (target_) Run();
  }
  void MarkDone() {
    // The caller may return, and this object go, as soon as it sees the store;
    // the wake that follows only names the address and touches nothing there.
    state_.store(1, std::memory_order_release);
    state_.notify_one();
  }
  void WaitUntilDone() {
    const auto spinUntil = Clock::now() + kCallerSpin;
    for (int round = 0; state_.load(std::memory_order_acquire) == 0; ++round) {
      if ((round & 15) == 15 && Clock::now() > spinUntil) {
        state_.wait(0, std::memory_order_acquire);
        break;
      }
      Relax(round);
    }
  }

  HandOff* next = nullptr;

 protected:
  ~HandOff() = default;
  virtual void Run() = 0;

 private:
  QPointer<QObject> target_;
  std::atomic<int> state_{0};  // 0 queued or running, 1 done
};

template <typename Operation, typename Result>
class Call final : public HandOff {
 public:
  Call(QObject& target, Operation& operation) : HandOff(target), operation_(operation) {}
  Result result{};

 private:
  void Run() override { result = operation_(); }
  Operation& operation_;
};

template <typename Operation>
class Call<Operation, void> final : public HandOff {
 public:
  Call(QObject& target, Operation& operation) : HandOff(target), operation_(operation) {}

 private:
  void Run() override { operation_(); }
  Operation& operation_;
};

// The queue of operations handed to one thread, and the bursts that serve it.
// One per window thread, made on first use and kept for the process's life.
class Dispatcher final : public QObject {
 public:
  static Dispatcher& For(QThread* thread) {
    thread_local QThread* cachedThread = nullptr;
    thread_local Dispatcher* cached = nullptr;
    if (cachedThread == thread) return *cached;
    // Never destroyed: a worker may still be handing over while the process ends.
    static auto* registryMutex = new std::mutex;
    static auto* registry = new std::vector<std::pair<QThread*, Dispatcher*>>;
    std::lock_guard lock(*registryMutex);
    Dispatcher* found = nullptr;
    for (const auto& [t, d] : *registry) {
      if (t == thread) found = d;
    }
    if (!found) {
      found = new Dispatcher;
      found->moveToThread(thread);
      registry->emplace_back(thread, found);
    }
    cachedThread = thread;
    cached = found;
    return *found;
  }

  // From a caller's thread: queues `call` and wakes the window's thread unless
  // a burst is taking operations already or a wake is on its way.
  void Submit(HandOff& call) {
    std::lock_guard lock(mutex_);
    if (tail_) {
      tail_->next = &call;
    } else {
      head_ = &call;
    }
    tail_ = &call;
    queued_.fetch_add(1, std::memory_order_release);
    if (lingering_) {
      arrived_.notify_one();
    } else if (!polling_ && !wakePosted_) {
      PostWake();
    }
  }

  // On the window's thread, inside a handed-over operation: `then` runs once
  // the burst ends, before the thread turns back to its events.
  bool AtBurstEnd(QObject& owner, std::function<void()> then) {
    if (carrying_ == 0) return false;
    atBurstEnd_.emplace_back(QPointer<QObject>(&owner), std::move(then));
    return true;
  }

  // The dispatcher whose burst is carrying out an operation on this thread
  // right now, or null.
  static Dispatcher* Current() { return CarryingNow(); }

 protected:
  bool event(QEvent* e) override {
    if (e->type() != WakeType()) return QObject::event(e);
    Serve();
    return true;
  }

 private:
  static Dispatcher*& CarryingNow() {
    thread_local Dispatcher* carrying = nullptr;
    return carrying;
  }

  static QEvent::Type WakeType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }

  // With mutex_ held.
  void PostWake() {
    wakePosted_ = true;
    QCoreApplication::postEvent(this, new QEvent(WakeType()));
  }

  HandOff* Pop() {
    std::lock_guard lock(mutex_);
    HandOff* call = head_;
    if (!call) return nullptr;
    head_ = call->next;
    if (!head_) tail_ = nullptr;
    queued_.fetch_sub(1, std::memory_order_relaxed);
    polling_ = false;  // while it runs, a nested event loop must be woken to serve others
    return call;
  }

  void Serve() {
    {
      std::lock_guard lock(mutex_);
      wakePosted_ = false;
      polling_ = true;
    }
    const auto start = Clock::now();
    auto lastWork = start;
    for (int round = 0;; ++round) {
      if (queued_.load(std::memory_order_acquire) > 0) {
        if (HandOff* call = Pop()) {
          Dispatcher* outer = std::exchange(CarryingNow(), this);
          ++carrying_;
          call->Carry();
          --carrying_;
          CarryingNow() = outer;
          {
            std::lock_guard lock(mutex_);
            polling_ = true;  // before the caller sees it done and queues its next one
          }
          call->MarkDone();
          round = 0;
          lastWork = Clock::now();
          if (lastWork - start > kBurstBudget) {
            std::lock_guard lock(mutex_);
            polling_ = false;
            if (head_ && !wakePosted_) PostWake();  // the rest after the pending events
            break;
          }
          continue;
        }
      }
      if ((round & 15) == 15) {
        const auto now = Clock::now();
        if (now - lastWork > kPollSpin) {
          // Nothing came at once: sleep until the next operation comes or the
          // burst has waited long enough, rather than spin against the callers
          // for a core.
          std::unique_lock lock(mutex_);
          if (!head_) {
            if (now - lastWork > kLinger) {
              polling_ = false;
              break;
            }
            lingering_ = true;
            arrived_.wait_for(lock, kLinger - (now - lastWork));
            lingering_ = false;
          }
          round = 0;
          continue;
        }
      }
      Relax(round);
    }
    EndBurst();
  }

  void EndBurst() {
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> due;
    due.swap(atBurstEnd_);
    for (auto& [owner, then] : due) {
      if (owner) then();
    }
  }

  std::mutex mutex_;
  HandOff* head_ = nullptr;  // the queue, guarded by mutex_
  HandOff* tail_ = nullptr;
  bool polling_ = false;     // a burst is looking for operations (mutex_)
  bool wakePosted_ = false;  // a wake event is on its way (mutex_)
  bool lingering_ = false;   // a burst sleeps on arrived_ for the next one (mutex_)
  std::condition_variable arrived_;
  std::atomic<int> queued_{0};
  // The window's thread only.
  int carrying_ = 0;
  std::vector<std::pair<QPointer<QObject>, std::function<void()>>> atBurstEnd_;
};

}  // namespace window_thread_detail

// Runs `operation` on the thread that `window` lives on and returns its result.
// On that thread it runs at once. From any other thread it is queued for that
// thread, which carries it out whole between two events (also inside a nested
// loop such as an open popup menu), and the caller waits until it has been
// done, so its next call sees the effect. `window` must outlive every caller;
// a result that was never produced reads as the value-initialised one.
template <typename Operation>
auto RunOnWindowThread(QObject& window, Operation operation) {
  using Result = std::invoke_result_t<Operation&>;
  QThread* thread = window.thread();
  if (QThread::currentThread() == thread) return operation();
  window_thread_detail::Call<Operation, Result> call(window, operation);
  window_thread_detail::Dispatcher::For(thread).Submit(call);
  call.WaitUntilDone();
  if constexpr (!std::is_void_v<Result>) return std::move(call.result);
}

// CarryingHandedOverOperation: true while this thread carries out an operation
// that a worker handed over.
// RunAtEndOfHandOffs: for an operation running on the window's thread: when it was handed over by
// a worker, `then` is kept to run once the current burst of handed-over
// operations ends, before the thread turns back to its events, and true is
// returned; otherwise nothing is kept and false returned. `then` is dropped if
// `owner` is gone by then.
inline bool CarryingHandedOverOperation() {
  return window_thread_detail::Dispatcher::Current() != nullptr;
}

inline bool RunAtEndOfHandOffs(QObject& owner, std::function<void()> then) {
  window_thread_detail::Dispatcher* d = window_thread_detail::Dispatcher::Current();
  return d && d->AtBurstEnd(owner, std::move(then));
}

}  // namespace velmora
