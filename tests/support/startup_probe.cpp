// Preloaded (LD_PRELOAD) into an installed velmora to look at its start-up from
// inside without giving the program any option. Once its event loop runs, it
// waits until the shown window is exposed, prints what the user would see of it,
// one "key: value" line each, and then closes the window, so the program ends by its own closing
// path.
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QIcon>
#include <QPushButton>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <QTextLayout>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace {

using namespace Qt::Literals::StringLiterals;

void Print(const char* key, const QString& value) {
  std::printf("%s: %s\n", key, value.toUtf8().constData());
}

// The families that draw `text` in `font`, and "missing" for any glyph that none has.
QString DrawingFamilies(const QString& text, const QFont& font) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  QStringList families;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    for (quint32 glyph : run.glyphIndexes()) {
      if (glyph == 0) families << u"missing"_s;
    }
    families << run.rawFont().familyName();
  }
  families.removeDuplicates();
  return families.join(u", "_s);
}

void Report() {
  QWidget* window = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible()) window = widget;
  }
  if (!window) {
    Print("window", u"none shown"_s);
    std::fflush(stdout);
    QApplication::exit(1);
    return;
  }
  // Shown, but the platform exposes it a few events later: look again soon.
  if (!window->windowHandle() || !window->windowHandle()->isExposed()) {
    QTimer::singleShot(10, &Report);
    return;
  }
  Print("title", window->windowTitle());
  Print("size", u"%1x%2"_s.arg(window->width()).arg(window->height()));
  Print("window-icon", window->windowIcon().pixmap(48).isNull() ? u"none"_s : u"drawn"_s);
  Print("application-icon",
        QApplication::windowIcon().pixmap(48).isNull() ? u"none"_s : u"drawn"_s);
  Print("desktop-file", QGuiApplication::desktopFileName());
  Print("font", QApplication::font().families().join(u", "_s));
  // Whether the font names a family with Chinese glyphs itself, rather than
  // leaving them to whatever the toolkit falls back on.
  bool chinese = false;
  for (const QString& family : QApplication::font().families()) {
    chinese |= QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese);
  }
  Print("font-has-chinese", chinese ? u"yes"_s : u"no"_s);
  Print("font-size", QString::number(QFontInfo(QApplication::font()).pointSizeF()));
  if (auto* button = window->findChild<QPushButton*>()) {
    Print("button", button->text());
    Print("button-drawn-by", DrawingFamilies(button->text(), button->font()));
  }
  Print("device-pixel-ratio", QString::number(window->devicePixelRatioF()));
  std::fflush(stdout);
  window->close();
}

// Runs as the application object is made; the report waits for the event loop.
void Install() { QTimer::singleShot(0, &Report); }

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Install)
