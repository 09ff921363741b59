// Renders the program's scalable icon into the PNG sizes of the desktop icon
// theme:  kv3917-iconrender <icon.svg> <output dir> <size>...
// writes <output dir>/<size>x<size>/apps/<icon name>.png for every size (the
// hicolor theme's layout).
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: kv3917-iconrender <icon.svg> <output dir> <size>...\n");
        return 64;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "kv3917-iconrender: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString name = QFileInfo(args.at(1)).completeBaseName();
    for (int i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size <= 0 || size > 4096) {
            std::fprintf(stderr, "kv3917-iconrender: bad size %s\n", qPrintable(args.at(i)));
            return 64;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            svg.render(&painter);
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(dir, name);
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "kv3917-iconrender: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
