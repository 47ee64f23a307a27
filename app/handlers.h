// What the window's events do. Each runs on the window's thread.
#pragma once

#include "text/text.h"

namespace velmora {

class CollectorWindow;
class MainWindow;

// The Refresh button: starts one more collection worker for the listing at
// `listingUrl` on a detached thread of its own and returns at once; nothing is
// kept of the thread. If no thread can be made, nothing happens.
void StartCollection(CollectorWindow& window, const Text& listingUrl);

// A right-click in the table's row area: the table menu at the pointer.
void ShowTableMenu(MainWindow& window);

// The menu item "复制": the selected row's IP, ":" and its port onto the
// clipboard, as they stand; ":" alone when no row is selected.
void CopyAddress(MainWindow& window);

// Ends the program at once with `status`, once the window is closed. Workers may
// still be running (inside a fetch, or waiting for the window's thread to carry
// out a table operation) and they use the window, the application object and the
// libraries' global state; running destructors would pull those away from under
// them. So output is flushed and the process ends without any: the workers end
// with it wherever they are.
[[noreturn]] void EndProgram(int status);

}  // namespace velmora
