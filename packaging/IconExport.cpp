// Writes the program's icon for the desktop's icon theme:
//   OUT/scalable/apps/orvanto.svg and OUT/<n>x<n>/apps/orvanto.png
// for the usual sizes, all from the drawing the program itself shows.
// Usage: orvanto_icon_export OUT
#include "dialogs/ProgramIconDrawing.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);

    const QString scalable = out + QStringLiteral("/scalable/apps");
    if (!QDir().mkpath(scalable)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(scalable));
        return 1;
    }
    {
        QBuffer buffer;
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(64, 64));
        svg.setViewBox(QRectF(0, 0, 64, 64));
        svg.setTitle(QStringLiteral("ミレット"));
        svg.setDescription(QStringLiteral("Orvanto"));
        QPainter p;
        if (!p.begin(&svg)) {
            std::fprintf(stderr, "cannot draw the SVG icon\n");
            return 1;
        }
        DrawProgramIcon(p, 64);
        p.end();
        // The generator gives the size in millimetres; icon themes expect
        // pixels.
        QString text = QString::fromUtf8(buffer.data());
        text.replace(QRegularExpression(QStringLiteral("<svg width=\"[^\"]*\" height=\"[^\"]*\"")),
                     QStringLiteral("<svg width=\"64\" height=\"64\""));
        QSaveFile file(scalable + QStringLiteral("/orvanto.svg"));
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
            std::fprintf(stderr, "cannot write the SVG icon\n");
            return 1;
        }
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = out + QStringLiteral("/%1x%1/apps").arg(size);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            DrawProgramIcon(p, size);
        }
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/orvanto.png"), "PNG")) {
            std::fprintf(stderr, "cannot write the %dx%d icon\n", size, size);
            return 1;
        }
    }
    return 0;
}
