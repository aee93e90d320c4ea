// The files installed for the desktop: the desktop entry offers the program
// for every picture and archive type it opens, its MIME types are known (to
// the shared MIME database or to the program's own MIME package), and the
// icon files are the program's own drawing.
#include "archive/ArchiveFile.h"
#include "decode/BuiltInFormats.h"
#include "decode/FormatRegistry.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "dialogs/ProgramIconDrawing.h"
#include "viewer/ViewerFiles.h"
#include "viewer/common/ProductTexts.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cstdlib>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kPackaging = QStringLiteral(ORVANTO_SOURCE_DIR "/packaging");
const QString kIcons = QStringLiteral(ORVANTO_ICON_DIR);

// The keys of the [Desktop Entry] group, as written in the file.
QMap<QString, QString> desktopEntry()
{
    QMap<QString, QString> keys;
    QFile file(kPackaging + QStringLiteral("/org.example.orvanto.desktop"));
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    bool inGroup = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.contains(QLatin1Char('=')))
            keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }
    return keys;
}

// MIME type -> glob extensions (without "*.") of the program's MIME package.
QMap<QString, QStringList> ownMimeTypes()
{
    QMap<QString, QStringList> types;
    QFile file(kPackaging + QStringLiteral("/orvanto-mime.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return types;
    QXmlStreamReader xml(&file);
    QString current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("mime-type")) {
            current = xml.attributes().value(QLatin1String("type")).toString();
            types[current];
        } else if (xml.name() == QLatin1String("glob")) {
            const QString pattern = xml.attributes().value(QLatin1String("pattern")).toString();
            if (pattern.startsWith(QLatin1String("*.")))
                types[current] << pattern.mid(2).toLower();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return types;
}

// Extensions (lower case, without dot) of the patterns of one text such as
// "*.pnm;*.pbm" or "*.lzh,*.zip,...,z,...".
QStringList extensionsOf(const QString& patterns)
{
    QStringList out;
    for (QString p : patterns.split(QRegularExpression(QStringLiteral("[;,]")), Qt::SkipEmptyParts)) {
        p = p.trimmed().toLower();
        if (p.startsWith(QLatin1String("*.")))
            out << p.mid(2);
    }
    return out;
}

// Every picture extension the program registers: its built-in formats and
// those of the plug-ins it ships.
QStringList pictureExtensions()
{
    RegisterBuiltInFormats();
    QStringList out;
    for (const TFormatEntry& entry : TFormatRegistry::Instance().Entries())
        if (!entry.extension.isEmpty())
            out << entry.extension.toLower();
    const QDir plugins(QStringLiteral(ORVANTO_BIN_DIR "/plugins"));
    const QStringList files = plugins.entryList({QStringLiteral("*.spi")}, QDir::Files);
    EXPECT_FALSE(files.isEmpty()) << "the program's plug-in folder is empty";
    for (const QString& name : files) {
        std::unique_ptr<TSPI> spi = CreateSPI(plugins.filePath(name));
        if (!spi || !SPIs1SearchAccept(*spi))
            continue;
        for (const QString& patterns : spi->Extensions())
            out << extensionsOf(patterns);
    }
    out.removeDuplicates();
    return out;
}

// True when the archive component has a handler for the type. Making one
// loads its library; a library missing here (the tests do not run from the
// program folder) still means there is a handler.
bool HasHandler(TArchiverType type)
{
    try {
        return CreateArchiver(type) != nullptr;
    } catch (const std::exception&) {
        return true;
    }
}

// The archive extensions the viewer hands to an archiver that exists.
QStringList archiveExtensions()
{
    QStringList candidates = extensionsOf(MainTexts::ArchiveExtensions);
    candidates << QStringLiteral("z") << QStringLiteral("a"); // found inside "*.zip" and "*.arj"
    QStringList out;
    for (const QString& ext : candidates) {
        const QString name = QStringLiteral("x.") + ext;
        if (IsArchiveName(name) && HasHandler(DetectArchiverType(name, true)))
            out << ext;
    }
    out.removeDuplicates();
    return out;
}

QSet<QString> typesFor(const QString& extension, const QMap<QString, QStringList>& own)
{
    QSet<QString> types;
    for (const QMimeType& t : QMimeDatabase().mimeTypesForFileName(QStringLiteral("x.") + extension)) {
        types << t.name();
        for (const QString& alias : t.aliases())
            types << alias;
    }
    for (auto it = own.begin(); it != own.end(); ++it)
        if (it.value().contains(extension))
            types << it.key();
    return types;
}

TEST(DesktopEntry, StartsTheProgramOnTheChosenFilesWithItsIcon)
{
    const auto keys = desktopEntry();
    EXPECT_EQ(keys.value("Type"), "Application");
    EXPECT_EQ(keys.value("Name"), QStringLiteral("ミレット"));
    EXPECT_FALSE(keys.value("GenericName").isEmpty());
    EXPECT_FALSE(keys.value("Comment").isEmpty());
    EXPECT_EQ(keys.value("Exec"), "orvanto /Siblings=On %F");
    EXPECT_EQ(keys.value("Icon"), "orvanto");
    EXPECT_EQ(keys.value("Terminal"), "false");
}

TEST(DesktopEntry, OffersEveryPictureAndArchiveTypeTheProgramOpens)
{
    const QStringList offered = desktopEntry().value("MimeType").split(';', Qt::SkipEmptyParts);
    ASSERT_FALSE(offered.isEmpty());
    const auto own = ownMimeTypes();
    for (const char* ext : {"gza", "bza", "bel"})
        EXPECT_FALSE(typesFor(QString::fromLatin1(ext), own).isEmpty()) << "no MIME type for ." << ext;

    const QStringList pictures = pictureExtensions();
    EXPECT_TRUE(pictures.contains("jpg") && pictures.contains("pcx") && pictures.contains("pnm"));
    const QStringList archives = archiveExtensions();
    EXPECT_TRUE(archives.contains("zip") && archives.contains("gza") && archives.contains("lzh"));
    EXPECT_FALSE(archives.contains("gca")) << "refused by the archive component";
    for (const QString& ext : pictures + archives) {
        const QSet<QString> types = typesFor(ext, own);
        EXPECT_FALSE(types.isEmpty()) << "." << ext.toStdString() << " has no MIME type";
        bool listed = false;
        for (const QString& t : types)
            listed = listed || offered.contains(t);
        EXPECT_TRUE(listed) << "." << ext.toStdString() << " (" << QStringList(types.values()).join(' ').toStdString()
                            << ") is not offered";
    }
    // And nothing unknown is offered (a misspelt type would never match).
    QMimeDatabase db;
    for (const QString& type : offered)
        EXPECT_TRUE(db.mimeTypeForName(type).isValid() || own.contains(type)) << type.toStdString();
}

QImage drawn(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    DrawProgramIcon(p, size);
    return image;
}

// Mean difference of the colour and alpha channels, 0..255.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                   + std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * x.width() * x.height());
}

TEST(DesktopIcon, PngAndSvgFilesAreTheAboutBoxDrawing)
{
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path = kIcons + QStringLiteral("/%1x%1/apps/orvanto.png").arg(size);
        const QImage png(path);
        ASSERT_FALSE(png.isNull()) << path.toStdString();
        EXPECT_EQ(png.size(), QSize(size, size));
        EXPECT_EQ(png.convertToFormat(QImage::Format_ARGB32), drawn(size).convertToFormat(QImage::Format_ARGB32))
            << size;
    }
    QSvgRenderer svg(kIcons + QStringLiteral("/scalable/apps/orvanto.svg"));
    ASSERT_TRUE(svg.isValid());
    EXPECT_EQ(svg.viewBoxF(), QRectF(0, 0, 64, 64));
    for (int size : {48, 128}) {
        QImage rendered(size, size, QImage::Format_ARGB32_Premultiplied);
        rendered.fill(Qt::transparent);
        QPainter p(&rendered);
        svg.render(&p);
        p.end();
        // The same shapes, antialiased by another renderer: a small mean
        // difference, far below that of an empty or shifted picture.
        const QImage reference = drawn(size);
        EXPECT_LT(meanDifference(rendered, reference), 4.0) << size;
        QImage empty(size, size, QImage::Format_ARGB32_Premultiplied);
        empty.fill(Qt::transparent);
        EXPECT_GT(meanDifference(empty, reference), 40.0);
    }
}

} // namespace
