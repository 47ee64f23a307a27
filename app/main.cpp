// Program start: the window and the event loop; closing the window ends it all.
#include <QApplication>

#include "app/handlers.h"
#include "app/main_window.h"
#include "fetch/fetch_page.h"

int main(int argc, char** argv) {
  // The HTTP client's process-wide set-up, before any thread exists (the
  // toolkit starts threads of its own).
  velmora::InitializeFetch();
  QApplication app(argc, argv);
  velmora::MainWindow window;
  window.show();
  velmora::EndProgram(QApplication::exec());
}
