// Program start: the window and the event loop; closing the window ends it all.
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QString>
#include <QStringList>

#include "app/handlers.h"
#include "app/main_window.h"
#include "fetch/fetch_page.h"

namespace {

using namespace Qt::Literals::StringLiterals;

// The desktop's user-interface font (the platform theme's, which the toolkit
// already applies), with a Simplified Chinese family behind it when it has no
// Chinese glyphs of its own: the window's texts are Chinese, and the toolkit's
// own fallback may pick a Japanese or Traditional face for the shared ideographs.
QFont DesktopFontWithChinese() {
  QFont font = QApplication::font();
  const QString family = QFontInfo(font).family();
  if (QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese)) {
    return font;
  }
  const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
  QString fallback;
  for (const QString& preferred : {u"Noto Sans CJK SC"_s, u"Source Han Sans SC"_s,
                                   u"WenQuanYi Micro Hei"_s, u"WenQuanYi Zen Hei"_s}) {
    if (chinese.contains(preferred)) {
      fallback = preferred;
      break;
    }
  }
  for (auto it = chinese.begin(); fallback.isEmpty() && it != chinese.end(); ++it) {
    if (!QFontDatabase::isFixedPitch(*it)) fallback = *it;
  }
  if (fallback.isEmpty()) return font;
  // The theme's own family names stay first, as it gave them.
  QStringList families = font.families();
  if (families.isEmpty()) families << font.family();
  font.setFamilies(families << fallback);
  return font;
}

}  // namespace

int main(int argc, char** argv) {
  // The HTTP client's process-wide set-up, before any thread exists (the
  // toolkit starts threads of its own).
  velmora::InitializeFetch();
  // High-DPI scaling is always on in Qt 6; the desktop's scale factor is used as
  // it stands, fractional ones included, so the window matches its neighbours.
  QApplication::setHighDpiScaleFactorRoundingPolicy(
      Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  // Ties the windows to the installed velmora.desktop entry (task bar grouping,
  // the Wayland application id).
  QGuiApplication::setDesktopFileName(u"velmora"_s);
  QApplication::setFont(DesktopFontWithChinese());
  velmora::MainWindow window;
  QApplication::setWindowIcon(window.windowIcon());
  window.show();
  velmora::EndProgram(QApplication::exec());
}
