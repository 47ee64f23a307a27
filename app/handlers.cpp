#include "app/handlers.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "app/main_window.h"
#include "collect/collector.h"
#include "text/text.h"

namespace velmora {

void StartCollection(CollectorWindow& window, const Text& listingUrl) {
  try {
    // The window outlives every worker: the program ends without destroying it.
    std::thread([&window, listingUrl] { CollectProxies(window, listingUrl); }).detach();
  } catch (const std::system_error&) {
    // No thread could be made: the press does nothing.
  }
}

void ShowTableMenu(MainWindow& window) { window.ShowPopupMenu(window.TableMenu()); }

void CopyAddress(MainWindow& window) {
  const int row = window.SelectedRow();
  const Text ip = window.GetCellText(row, 1);
  const Text port = window.GetCellText(row, 2);
  window.SetClipboardText(JoinText(ip, ":", port));
}

void EndProgram(int status) {
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace velmora
