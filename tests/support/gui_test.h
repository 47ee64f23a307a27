// What the tests with real widgets share: serving events while waiting, and a
// main() that sets up the application for the whole run.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <chrono>
#include <functional>

#include "fetch/fetch_page.h"

namespace velmora::testing {

// Serves events until `done` holds; false if it never did within the bound.
inline bool ServeUntil(const std::function<bool()>& done, int seconds = 60) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QTest::qWait(5);
  }
  return true;
}

// The body of a GUI test program's main(): the offscreen platform unless the
// caller chose one (test discovery does not get ctest's environment), the HTTP
// client's set-up before any thread, and one QApplication for every test.
inline int RunGuiTests(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  InitializeFetch();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace velmora::testing
