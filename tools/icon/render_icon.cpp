// Build-time tool: renders an SVG file into a square PNG of a given size.
//   render-icon IN.svg SIZE OUT.png
// Exits 1 with a message on bad arguments, an unreadable SVG or a failed write.
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
  // Drawing shapes into an image needs no application object and no display, so
  // the tool runs on a build machine without either. (Text in the SVG would.)
  if (argc != 4) {
    std::fputs("usage: render-icon IN.svg SIZE OUT.png\n", stderr);
    return 1;
  }
  bool sizeOk = false;
  const int size = QString::fromLocal8Bit(argv[2]).toInt(&sizeOk);
  QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
  if (!sizeOk || size <= 0 || !svg.isValid()) {
    std::fprintf(stderr, "render-icon: cannot render %s at size %s\n", argv[1], argv[2]);
    return 1;
  }
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
  }
  if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
    std::fprintf(stderr, "render-icon: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
