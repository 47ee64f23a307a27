// How a window operation called from a worker thread reaches the window's thread.
// Every operation of the main window goes through RunOnWindowThread, so this is
// the one place that decides how the hand-off between threads is made.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <type_traits>

namespace velmora {

// Runs `operation` on the thread that `window` lives on and returns its result.
// On that thread it runs at once. From any other thread it is posted to that
// thread's event loop, which carries it out whole between two events (also
// inside a nested loop such as an open popup menu), and the caller waits until
// it has been done, so its next call sees the effect. Nothing is locked, so the
// window's thread never waits for the caller. `window` must outlive every
// caller; a result that was never produced reads as the value-initialised one.
template <typename Operation>
auto RunOnWindowThread(QObject& window, Operation operation) {
  using Result = std::invoke_result_t<Operation&>;
  if (QThread::currentThread() == window.thread()) return operation();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(&window, operation, Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(
        &window, [&result, &operation] { result = operation(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

}  // namespace velmora
