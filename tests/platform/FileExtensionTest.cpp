// The one extension helper, with each caller's rule: the viewer's list
// (lower-cased, with the dot), the loader (no dot, "\" and ":" end a name),
// the plug-in host's patterns and the archive types (with the dot).
#include "platform/FileExtension.h"

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

using platform::ExtensionRule;
using platform::FileExtension;

TEST(FileExtensionTest, EdgeCasesUnderEveryCallersRule)
{
    const ExtensionRule plain; // patterns, archives
    const ExtensionRule viewer{.lowerCase = true}; // the viewer's lists
    const ExtensionRule loader{.windowsSeparators = true, .withDot = false}; // the picture loader
    const ExtensionRule loaderDotted{.windowsSeparators = true, .dotOnlyIsEmpty = true}; // plug-in lookups

    const struct {
        const char* name;
        const char* plain;
        const char* viewer;
        const char* loader;
        const char* loaderDotted;
    } cases[] = {
        {"/a/b.JPG", ".JPG", ".jpg", "JPG", ".JPG"},
        {"/a/archive.tar.GZ", ".GZ", ".gz", "GZ", ".GZ"},
        {"/a.b/noext", "", "", "", ""},
        {"noext", "", "", "", ""},
        {"", "", "", "", ""},
        {"/a/name.", ".", ".", "", ""},
        {"/a/.hidden", ".hidden", ".hidden", "hidden", ".hidden"},
        {"/a/dir.d/", "", "", "", ""},
        {"C:\\pics.old\\photo", ".old\\photo", ".old\\photo", "", ""},
        {"c:file.x:stream", ".x:stream", ".x:stream", "", ""},
        {"*.Spi", ".Spi", ".spi", "Spi", ".Spi"},
        {"/写真/画像.ＪＰＧ", ".ＪＰＧ", ".ｊｐｇ", "ＪＰＧ", ".ＪＰＧ"},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(FileExtension(name, plain), QString::fromUtf8(c.plain)) << c.name;
        EXPECT_EQ(FileExtension(name, viewer), QString::fromUtf8(c.viewer)) << c.name;
        EXPECT_EQ(FileExtension(name, loader), QString::fromUtf8(c.loader)) << c.name;
        EXPECT_EQ(FileExtension(name, loaderDotted), QString::fromUtf8(c.loaderDotted)) << c.name;
    }
    EXPECT_EQ(FileExtension(QStringLiteral("/a/b.JPG")), QStringLiteral(".JPG")) << "the default rule";
}
