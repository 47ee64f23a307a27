// Program start: the window, the event loop, and the end of the process.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"
#include "fetch/fetch_page.h"

int main(int argc, char** argv) {
  // The HTTP client's process-wide set-up, before any thread exists (the
  // toolkit starts threads of its own).
  velmora::InitializeFetch();
  QApplication app(argc, argv);
  velmora::MainWindow window;
  window.show();
  const int status = QApplication::exec();
  // The window is closed, so the program ends here, at once. Collection workers
  // may still be running (inside a fetch, or waiting for this thread to carry
  // out a table operation) and they use the window, the application object and
  // the libraries' global state. Running destructors would pull those away from
  // under them, so the process ends without any: output is flushed first, and
  // the workers end with the process wherever they are.
  std::fflush(nullptr);
  std::_Exit(status);
}
