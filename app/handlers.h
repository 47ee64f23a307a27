// What the window's events do. Each runs on the window's thread.
#pragma once

namespace velmora {

class CollectorWindow;
class MainWindow;

// The Refresh button: starts one more collection worker on a detached thread of
// its own and returns at once; nothing is kept of the thread. If no thread can
// be made, nothing happens.
void StartCollection(CollectorWindow& window);

// A right-click in the table's row area: the table menu at the pointer.
void ShowTableMenu(MainWindow& window);

// The menu item "复制": the selected row's IP, ":" and its port onto the
// clipboard, as they stand; ":" alone when no row is selected.
void CopyAddress(MainWindow& window);

}  // namespace velmora
