// Command lines of every handler and operation, run through stub archiver
// libraries (stub/ArcStub.c) so that the text the library receives is
// checked as well; content tests; the entry record; self-extracting output.
#include "QStringPrinter.h"
#include "StubSupport.h"
#include "archive/ArchiveFile.h"
#include "archive/Arj32.h"
#include "archive/ArchiverErrors.h"
#include "archive/Bga32.h"
#include "archive/Cab32.h"
#include "archive/Lha32.h"
#include "archive/Rar32.h"
#include "archive/SevenZip32.h"
#include "archive/Tar32.h"
#include "archive/Zip32.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Q(const char* s)
{
    return QString::fromUtf8(s);
}

const QString kArc = QStringLiteral("/arc/写真 1.lzh");
const QString kDest = QStringLiteral("/dest");

// The options the viewer extracts with.
TArchiverOptions ViewerOptions()
{
    TArchiverOptions o;
    o.x = 0;
    o.c = 1;
    o.jse = 1;
    o.jso = 1;
    return o;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

class Handlers : public ::testing::Test {
protected:
    void SetUp() override { platform::AddLibrarySearchFolder(QStringLiteral(ARC_STUB_DIR)); }

    // Runs Extract and checks that the library got exactly the command line.
    template <typename H>
    QString ExtractLine(H& h, const TArchiverOptions& o, platform::LibraryHandle module, const QString& archive = kArc,
                        const QString& dest = kDest, const TFileList& files = TFileList{TWideTextArray{nullptr}},
                        bool useRes = true)
    {
        QString out;
        h.Extract(0, archive, o, dest, files, useRes, out);
        EXPECT_EQ(stub::LastCommand(module), h.CommandLine);
        return h.CommandLine;
    }
};

TEST_F(Handlers, ViewerExtractionCommandLinesOfEveryFormat)
{
    const TArchiverOptions o = ViewerOptions();
    {
        TLha32 h;
        EXPECT_EQ(ExtractLine(h, o, TLha32::Binding()->Module()),
                  Q("x -+ -c1 -x0 -jse1 -jso1  \"/arc/写真 1.lzh\" \"/dest/\" "));
    }
    {
        TArj32 h;
        EXPECT_EQ(ExtractLine(h, o, TArj32::Binding()->Module(), Q("/a/b.arj")),
                  Q("x -+ -c1 -x0 -jse1 -jso1  \"/a/b.arj\" \"/dest/\" "));
        EXPECT_EQ(stub::LastEntry(TArj32::Binding()->Module()), Q("Unarj"));
    }
    {
        TZip32 h;
        EXPECT_EQ(ExtractLine(h, o, TZip32::Binding()->Module(TZipDll::zmUnzip32), Q("/a/b.zip")),
                  Q("-x -o -j  \"/a/b.zip\" \"/dest/\" "));
        EXPECT_EQ(stub::LastEntry(TZip32::Binding()->Module(TZipDll::zmUnzip32)), Q("UnZip"));
    }
    {
        TCab32 h; // the archive path is made absolute
        EXPECT_EQ(ExtractLine(h, o, TCab32::Binding()->Module(), Q("rel/b.cab")),
                  Q("-x -o -j  \"") + QDir::currentPath() + Q("/rel/b.cab\" \"/dest/\" "));
    }
    {
        TTar32 h;
        EXPECT_EQ(ExtractLine(h, o, TTar32::Binding()->Module(), Q("/a/b.tar")),
                  Q("x --use-directory=0  -f \"/a/b.tar\" -o \"/dest/\" "));
    }
    {
        TTgz32 h;
        EXPECT_EQ(ExtractLine(h, o, TTar32::Binding()->Module(), Q("/a/b.tgz")),
                  Q("x --use-directory=0 -z  -f \"/a/b.tgz\" -o \"/dest/\" "));
    }
    {
        TBZ232 h;
        EXPECT_EQ(ExtractLine(h, o, TTar32::Binding()->Module(), Q("/a/b.bz2")),
                  Q("x --use-directory=0 -B  -f \"/a/b.bz2\" -o \"/dest/\" "));
    }
    {
        TRar32 h;
        EXPECT_EQ(ExtractLine(h, o, TRar32::Binding()->Module(), Q("/a/b.rar")), Q("-e  \"/a/b.rar\" \"/dest/\" "));
    }
    {
        TBGA32 h;
        EXPECT_EQ(ExtractLine(h, o, TBGA32::Binding()->Module(), Q("/a/b.gza")),
                  Q("x -o -j  \"/a/b.gza\" \"/dest/\" "));
    }
    {
        TSevenZip32 h;
        EXPECT_EQ(ExtractLine(h, o, TSevenZip32::Binding()->Module(), Q("/a/b.7z")),
                  Q("e -aoa \"-o/dest/\"  \"/a/b.7z\" "));
        EXPECT_EQ(stub::LastEntry(TSevenZip32::Binding()->Module()), Q("SevenZip"));
    }
}

TEST_F(Handlers, OutputBufferComesBackFromTheLibrary)
{
    TRar32 h;
    QString out(12, QChar(0));
    h.Extract(0, Q("/a/b.rar"), ViewerOptions(), kDest, TFileList{}, false, out);
    EXPECT_EQ(out.size(), 12);
    EXPECT_EQ(out.left(11), Q("OUT:-e  \"/a"));
    EXPECT_EQ(out.at(11), QChar(0));

    QString none;
    h.Extract(0, Q("/a/b.rar"), ViewerOptions(), kDest, TFileList{}, false, none);
    EXPECT_TRUE(none.isEmpty());
}

TEST_F(Handlers, LhaRequiresJseForExtractionAndJsoAlways)
{
    TLha32 h;
    TArchiverOptions o;
    QString out;
    h.CommandLine = Q("before");
    const int calls = stub::CallCount(TLha32::Binding()->Module());
    try {
        h.Extract(0, kArc, o, kDest, TFileList{}, false, out);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), Q("jse オプションが設定されていません。"));
    }
    o.jse = 1;
    try {
        h.Extract(0, kArc, o, kDest, TFileList{}, false, out);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), Q("jso オプションが設定されていません。"));
    }
    // jse matters only to "x"; jso to every command, ExtractMem included.
    TArchiverOptions packing;
    EXPECT_THROW(h.Pack(0, kArc, packing, kDest, TFileList{}, false, out), EAssertionFailed);
    unsigned char buf[8];
    std::uint32_t written = 0;
    EXPECT_THROW(h.ExtractMem(0, kArc, packing, Q("a.jpg"), buf, sizeof buf, written), EAssertionFailed);
    TArj32 arj;
    EXPECT_THROW(arj.Extract(0, kArc, TArchiverOptions(), kDest, TFileList{}, false, out), EAssertionFailed);
    EXPECT_EQ(stub::CallCount(TLha32::Binding()->Module()), calls); // no library call
    EXPECT_EQ(h.CommandLine, Q("before"));

    o.jso = 1;
    h.Extract(0, kArc, o, kDest, TFileList{}, false, out);
    EXPECT_EQ(h.CommandLine, Q("x -+ -jse1 -jso1  \"/arc/写真 1.lzh\" \"/dest/\" "));
}

TEST_F(Handlers, LhaEveryKindOfOptionInOrder)
{
    TLha32 h;
    TArchiverOptions o;
    o.gw = 3;
    o.gr = Q("g");
    o.jz = Q("z");
    o.jx = QStringList{Q("*.txt"), Q("*.log")};
    o.jso = 0;
    o.jse = 1;
    o.job = QString(); // set, but empty: the switch alone
    o.jo = Q("/o");
    o.x = 1;
    o.w = Q("/w");
    o.n = 2;
    o.a = 1;
    o.UserOptions = Q("-u1");
    o.UserFileList = Q("more.txt");
    QString out;
    h.Pack(0, kArc, o, Q("/src/"), TFileList{Q("a.jpg"), Q("b c.jpg")}, false, out);
    EXPECT_EQ(h.CommandLine,
              Q("u -+ -a1 -n2 \"-w/w/\" -x1 \"-jo/o\" \"-job\" -jse1 -jso0 \"-jx*.txt\" \"-jx*.log\" "
                "\"-jzz\" \"-grg\" -gw3 -u1 \"/arc/写真 1.lzh\" \"/src/\" \"a.jpg\" \"b c.jpg\" more.txt"));

    // Every numeric option, each a distinct value, to fix the whole order.
    TArchiverOptions all;
    int v = 0;
    for (TArchiverOptions::Num* p :
         {&all.a,   &all.c,   &all.e,   &all.f,   &all.h,   &all.i,   &all.l,   &all.m,   &all.n,   &all.o,
          &all.p,   &all.r,   &all.s,   &all.t,   &all.u,   &all.x,   &all.y,   &all.z,   &all.jc,  &all.jd,
          &all.je,  &all.jf,  &all.jh,  &all.ji,  &all.jm,  &all.jn,  &all.jp,  &all.jr,  &all.jsb, &all.jsc,
          &all.jsd, &all.jse, &all.jsf, &all.jsl, &all.jso, &all.jss, &all.jst, &all.jsv, &all.jsz, &all.jw,
          &all.jyc, &all.jyd, &all.jyk, &all.jyn, &all.jyo, &all.ga,  &all.gd,  &all.ge,  &all.gf,  &all.gj,
          &all.gm,  &all.gn,  &all.go,  &all.gp,  &all.gs,  &all.gu,  &all.gw})
        *p = TArchiverOptions::Num(v++);
    h.Update(0, kArc, all, QString(), TFileList{}, false, out);
    EXPECT_EQ(h.CommandLine,
              Q("f -+ -a0 -c1 -e2 -f3 -h4 -i5 -l6 -m7 -n8 -o9 -p10 -r11 -s12 -t13 -u14 -x15 -y16 -z17 -jc18 -jd19 "
                "-je20 -jf21 -jh22 -ji23 -jm24 -jn25 -jp26 -jr27 -jsb28 -jsc29 -jsd30 -jse31 -jsf32 -jsl33 -jso34 "
                "-jss35 -jst36 -jsv37 -jsz38 -jw39 -jyc40 -jyd41 -jyk42 -jyn43 -jyo44 -ga45 -gd46 -ge47 -gf48 -gj49 "
                "-gm50 -gn51 -go52 -gp53 -gs54 -gu55 -gw56  \"/arc/写真 1.lzh\" "));
}

TEST_F(Handlers, LhaOperationsWordsFoldersAndOwnerWindow)
{
    TLha32 h;
    TArchiverOptions o;
    o.jso = 1;
    QString out;
    h.Delete(0, kArc, o, kDest, TFileList{Q("a.jpg")}, false, out);
    EXPECT_EQ(h.CommandLine, Q("d -+ -jso1  \"/arc/写真 1.lzh\" \"a.jpg\" "));
    h.MakeSfx(0, kArc, o, kDest, out);
    EXPECT_EQ(h.CommandLine, Q("s -+ -jso1  \"/arc/写真 1.lzh\" \"/dest/\" "));

    platform::LibraryHandle module = TLha32::Binding()->Module();
    EXPECT_TRUE(h.SetOwnerWindow(0x1234, 0));
    EXPECT_EQ(stub::LastWindow(module), 0x1234u);
    EXPECT_EQ(stub::LastEntry(module), Q("UnlhaSetOwnerWindowEx"));
    o.jse = 1;
    h.Extract(0, kArc, o, kDest, TFileList{}, false, out);
    EXPECT_EQ(h.CommandLine, Q("x -+ -n1 -jse1 -jso1  \"/arc/写真 1.lzh\" \"/dest/\" "));
    EXPECT_TRUE(h.KillOwnerWindow(0x1234));
    EXPECT_EQ(stub::LastEntry(module), Q("UnlhaKillOwnerWindowEx"));
    EXPECT_FALSE(h.HasOwnerWindow());
    h.Extract(0, kArc, o, kDest, TFileList{}, false, out);
    EXPECT_EQ(h.CommandLine, Q("x -+ -jse1 -jso1  \"/arc/写真 1.lzh\" \"/dest/\" "));

    unsigned char buf[16] = {};
    std::uint32_t written = 0;
    EXPECT_EQ(h.ExtractMem(0, kArc, o, Q("e.jpg"), buf, sizeof buf, written), 0);
    EXPECT_EQ(h.CommandLine, Q(" -+ -jse1 -jso1  \"/arc/写真 1.lzh\" \"e.jpg\" "));
    EXPECT_EQ(stub::LastCommand(module), h.CommandLine);
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buf), 4), QByteArray("DATA"));

    h.CheckArc(Q("rel.lzh"), 1, 16); // level + extra; the path as given
    EXPECT_EQ(stub::LastMode(module), 17);
    EXPECT_EQ(stub::LastPath(module), Q("rel.lzh"));
}

TEST_F(Handlers, ResponseFileFollowsTheUsageOfEachOperation)
{
    QTemporaryDir dir;
    TLha32 h;
    TArchiverOptions o = ViewerOptions();
    o.ResFileName = dir.filePath(Q("names.txt"));
    QString out;
    const TFileList files{QStringList{Q("a.jpg"), Q("b.jpg")}};
    h.Extract(0, kArc, o, kDest, files, false, out);
    EXPECT_EQ(h.CommandLine,
              Q("x -+ -c1 -x0 -jse1 -jso1  \"/arc/写真 1.lzh\" \"/dest/\" \"@") + o.ResFileName + Q("\" "));
    EXPECT_EQ(ReadAll(o.ResFileName), QByteArray("\"a.jpg\"\r\n\"b.jpg\"\r\n"));

    // ruOnUpdate is not in the default usage: Update lists the names.
    h.Update(0, kArc, o, kDest, files, true, out);
    EXPECT_EQ(h.CommandLine, Q("f -+ -c1 -x0 -jse1 -jso1  \"/arc/写真 1.lzh\" \"/dest/\" \"a.jpg\" \"b.jpg\" "));

    o.ResFileUsage.Exclude(ruOnUnpack);
    h.Extract(0, kArc, o, kDest, files, true, out);
    EXPECT_EQ(h.CommandLine, Q("x -+ -c1 -x0 -jse1 -jso1  \"/arc/写真 1.lzh\" \"/dest/\" \"a.jpg\" \"b.jpg\" "));

    // The ZIP handler takes the caller's word instead.
    TZip32 zip;
    zip.Extract(0, Q("/a.zip"), o, kDest, files, true, out);
    EXPECT_EQ(zip.CommandLine, Q("-x -o -j  \"/a.zip\" \"/dest/\" \"@") + o.ResFileName + Q("\" "));
    zip.Extract(0, Q("/a.zip"), ViewerOptions(), kDest, files, true, out); // no file named
    EXPECT_EQ(zip.CommandLine, Q("-x -o -j  \"/a.zip\" \"/dest/\" \"a.jpg\" \"b.jpg\" "));
}

TEST_F(Handlers, ArjRunsExtractionOnItsOwnLibraryAndTheRestOnLha)
{
    TLha32 lha; // the LHA binding exists
    TArj32 arj;
    platform::LibraryHandle arjModule = TArj32::Binding()->Module();
    platform::LibraryHandle lhaModule = TLha32::Binding()->Module();
    TArchiverOptions o;
    o.jso = 1;
    QString out;
    arj.Pack(0, Q("/a.arj"), o, kDest, TFileList{}, false, out);
    EXPECT_EQ(stub::LastEntry(lhaModule), Q("Unlha"));
    EXPECT_EQ(stub::LastCommand(lhaModule), Q("u -+ -jso1  \"/a.arj\" \"/dest/\" "));

    arj.CheckArc(Q("/a.arj"), 2, 1);
    EXPECT_EQ(stub::LastEntry(arjModule), Q("UnarjCheckArchive"));
    EXPECT_EQ(stub::LastMode(arjModule), 3);

    EXPECT_TRUE(arj.SetOwnerWindow(0x77, 0));
    EXPECT_EQ(stub::LastEntry(lhaModule), Q("UnlhaSetOwnerWindowEx"));
    EXPECT_EQ(stub::LastEntry(arjModule), Q("UnarjSetOwnerWindowEx"));
    EXPECT_TRUE(arj.KillOwnerWindow(0x77));
    EXPECT_EQ(stub::LastEntry(lhaModule), Q("UnlhaKillOwnerWindowEx"));
    EXPECT_EQ(stub::LastEntry(arjModule), Q("UnarjKillOwnerWindowEx"));
}

TEST_F(Handlers, ZipBuilders)
{
    TZip32 h;
    TZipDll* dll = TZip32::Binding();
    ASSERT_TRUE(dll->IsLoaded(TZipDll::zmUnzip32));
    ASSERT_TRUE(dll->IsLoaded(TZipDll::zmZip32j));
    QString out;
    TArchiverOptions o;
    h.Extract(0, Q("/a.zip"), o, kDest, TFileList{Q("-a[1]\\b.jpg")}, false, out);
    EXPECT_EQ(h.CommandLine, Q("-x  \"/a.zip\" \"/dest/\" \"[-]a[[]1]/b.jpg\" "));
    o.n = 1;
    o.c = 2; // only 1 means overwrite
    h.Extract(0, Q("/a.zip"), o, kDest, TFileList{}, false, out);
    EXPECT_EQ(h.CommandLine, Q("-x --i  \"/a.zip\" \"/dest/\" "));

    TArchiverOptions d;
    h.Delete(0, Q("/a.zip"), d, kDest, TFileList{Q("x.jpg")}, false, out);
    EXPECT_EQ(h.CommandLine, Q("-d -D  \"/a.zip\" \"x.jpg\" "));
    EXPECT_EQ(stub::LastEntry(dll->Module(TZipDll::zmZip32j)), Q("Zip"));
    EXPECT_EQ(stub::LastCommand(dll->Module(TZipDll::zmZip32j)), h.CommandLine);
    d.jm = 9;
    d.a = 2;
    h.Update(0, Q("/a.zip"), d, kDest, TFileList{}, false, out);
    EXPECT_EQ(h.CommandLine, Q("-f -S -9  \"/a.zip\" \"/dest/\" "));
    d.jm = 0;
    d.a = 1;
    d.l = 1;
    d.n = 1;
    d.r = 1;
    d.u = 1;
    d.x = 0;
    d.jc = 1;
    d.ji = 1;
    d.gd = 1;
    h.Update(0, Q("/a.zip"), d, kDest, TFileList{}, false, out);
    EXPECT_EQ(h.CommandLine, Q("-f -S -D -v -q -r -o -u -j -FF -k -0 -J  \"/a.zip\" \"/dest/\" "));

    // Packing through ZIP32J.DLL: the builder text alone, with the folder.
    TArchiverOptions p;
    h.Pack(0, Q("/a.zip"), p, Q("/src"), TFileList{Q("p.jpg")}, false, out);
    EXPECT_EQ(h.CommandLine, Q(" -D  \"/a.zip\" \"/src/\" \"p.jpg\" "));

    unsigned char buf[8];
    std::uint32_t written = 0;
    h.ExtractMem(0, Q("/a.zip"), ViewerOptions(), Q("[e].jpg"), buf, sizeof buf, written);
    EXPECT_EQ(h.CommandLine, Q(" -o -j  \"/a.zip\" \"[[]e].jpg\" "));
    EXPECT_EQ(stub::LastEntry(dll->Module(TZipDll::zmUnzip32)), Q("UnZipExtractMem"));
    EXPECT_EQ(written, 4u);

    h.CheckArc(Q("/a.zip"), 1, 16); // the level alone
    EXPECT_EQ(stub::LastMode(dll->Module(TZipDll::zmUnzip32)), 1);
}

TEST_F(Handlers, CabTarRarBgaSevenZipBuilders)
{
    QString out;
    {
        TCab32 h;
        TArchiverOptions o;
        o.c = 1;
        o.n = 1;
        o.r = 1;
        o.w = Q("/w/");
        o.x = 0;
        o.ji = 1;
        h.Pack(0, Q("/a.cab"), o, Q("/src"), TFileList{Q("f.jpg")}, false, out);
        EXPECT_EQ(h.CommandLine, Q("-a -o -i -r \"-h/w/\" -j -q  \"/a.cab\" \"/src/\" \"f.jpg\" "));
        h.MakeSfx(0, Q("/a.cab"), TArchiverOptions(), QString(), out);
        EXPECT_EQ(h.CommandLine, Q("-f  \"/a.cab\" "));
        EXPECT_THROW(h.Delete(0, Q("/a.cab"), o, QString(), TFileList{}, false, out), EArchiver);
    }
    {
        TTar32 h;
        TArchiverOptions o;
        o.a = 1;
        o.n = 1;
        o.o = 1;
        o.p = 0;
        h.Pack(0, Q("/a.tar"), o, Q("/src"), TFileList{Q("f.jpg")}, false, out);
        EXPECT_EQ(h.CommandLine,
                  Q("c -AH --display-dialog=0 -g --check-all-path=0  -f \"/a.tar\" -o \"/src/\" \"f.jpg\" "));
        o.a = 0;
        h.SetOwnerWindow(5, 0);
        h.Extract(0, Q("/a.tar"), o, QString(), TFileList{}, false, out);
        EXPECT_EQ(h.CommandLine, Q("x -I -g --check-all-path=0  -f \"/a.tar\" "));
        h.KillOwnerWindow(5);
        TTgz32 g;
        TArchiverOptions z;
        z.jm = 9;
        g.Extract(0, Q("/a.tgz"), z, kDest, TFileList{}, false, out);
        EXPECT_EQ(g.CommandLine, Q("x -z9  -f \"/a.tgz\" -o \"/dest/\" "));
        TBZ232 b;
        z.jm = 5;
        b.Pack(0, Q("/a.tbz"), z, QString(), TFileList{}, false, out);
        EXPECT_EQ(b.CommandLine, Q("c -B5  -f \"/a.tbz\" "));
        z.jm = 0;
        b.Pack(0, Q("/a.tbz"), z, QString(), TFileList{}, false, out);
        EXPECT_EQ(b.CommandLine, Q("c -B  -f \"/a.tbz\" "));
    }
    {
        TRar32 h;
        TArchiverOptions o;
        h.Extract(0, Q("/a.rar"), o, kDest, TFileList{}, false, out);
        EXPECT_EQ(h.CommandLine, Q("-x -u  \"/a.rar\" \"/dest/\" "));
        o.x = 1;
        o.c = 1;
        o.m = 1;
        o.p = 1;
        h.Extract(0, Q("/a.rar"), o, kDest, TFileList{}, false, out);
        EXPECT_EQ(h.CommandLine, Q("-x -y -s  \"/a.rar\" \"/dest/\" "));
        try {
            h.Pack(0, Q("/a.rar"), o, kDest, TFileList{}, false, out);
            FAIL();
        } catch (const EArchiver& e) {
            EXPECT_EQ(e.Message(), Q("この形式では書庫ファイルの作成をサポートしておりません。"));
        }
    }
    {
        TBGA32 h;
        TArchiverOptions o;
        h.Extract(0, Q("/a.gza"), o, kDest, TFileList{}, false, out);
        EXPECT_EQ(h.CommandLine, Q("x -n -j  \"/a.gza\" \"/dest/\" "));
        o.a = 1;
        o.c = 1;
        o.n = 1;
        o.r = 1;
        o.x = 1;
        o.jm = 3;
        h.Pack(0, Q("/a.gza"), o, Q("/src"), TFileList{Q("f.jpg")}, false, out);
        EXPECT_EQ(h.CommandLine, Q("a -a -o -i -r -l3  \"/a.gza\" \"/src/\" \"f.jpg\" "));
        h.Delete(0, Q("/a.gza"), o, Q("/src"), TFileList{Q("f.jpg")}, false, out);
        EXPECT_EQ(h.CommandLine, Q("d -a -o -i -r -l3  \"/a.gza\" \"f.jpg\" "));
        h.MakeSfx(0, Q("/a.gza"), o, Q("/out"), out);
        EXPECT_EQ(h.CommandLine, Q("s -a -o -i -r -l3  \"/a.gza\" \"/out/\" "));
        h.CheckArc(Q("/a.gza"), 2, 16);
        EXPECT_EQ(stub::LastMode(TBGA32::Binding()->Module()), 17);
        h.CheckArc(Q("/a.gza"), 1, 0);
        EXPECT_EQ(stub::LastMode(TBGA32::Binding()->Module()), 1);
        try {
            h.Update(0, Q("/a.gza"), o, kDest, TFileList{}, false, out);
            FAIL();
        } catch (const EArchiver& e) {
            EXPECT_EQ(e.Message(), Q("この形式の書庫では書庫の更新をサポートしておりません。"));
        }
    }
    {
        TSevenZip32 h;
        TArchiverOptions o;
        h.Extract(0, Q("/a.7z"), o, kDest, TFileList{}, false, out);
        EXPECT_EQ(h.CommandLine, Q("x \"-o/dest/\"  \"/a.7z\" "));
        o.m = 2;
        o.jn = 1;
        o.c = 1;
        o.n = 1;
        o.r = 0;
        o.w = Q("/w");
        o.y = 1;
        o.jx = QStringList{Q("*.txt")};
        h.Extract(0, Q("/a.7z"), o, kDest, TFileList{Q("f.jpg")}, false, out);
        EXPECT_EQ(h.CommandLine, Q("x -aou -hide -r- \"-w/w/\" -y \"-x!*.txt\" \"-o/dest/\"  \"/a.7z\" \"f.jpg\" "));
        o.m = -1;
        o.r = 2;
        o.x = 0;
        h.Extract(0, Q("/a.7z"), o, kDest, TFileList{}, false, out);
        EXPECT_EQ(h.CommandLine, Q("e -aos -hide -r \"-w/w/\" -y \"-x!*.txt\" \"-o/dest/\"  \"/a.7z\" "));
        h.Pack(0, Q("/a.7z"), o, Q("/src"), TFileList{Q("f.jpg")}, false, out);
        EXPECT_EQ(h.CommandLine, Q("u -hide -r \"-w/w/\" -y \"-x!*.txt\" \"-o/src/\"  \"/a.7z\" \"f.jpg\" "));
        h.Delete(0, Q("/a.7z"), o, Q("/src"), TFileList{Q("f.jpg")}, false, out);
        EXPECT_EQ(h.CommandLine, Q("d -hide -r \"-w/w/\" -y \"-x!*.txt\"  \"/a.7z\" \"f.jpg\" "));
        unsigned char buf[4];
        std::uint32_t written = 0;
        try {
            h.ExtractMem(0, Q("/a.7z"), o, Q("f.jpg"), buf, sizeof buf, written);
            FAIL();
        } catch (const EArchiver& e) {
            EXPECT_EQ(e.Message(), Q("この形式ではメモリへの展開をサポートしておりません。"));
        }
    }
}

TEST_F(Handlers, BaseOperationsAndAbstractLoad)
{
    struct Bare : TArchiver {
        int Extract(TWindowHandle, const QString&, const TArchiverOptions&, const QString&, const TFileList&, bool,
                    QString&) override
        {
            return 0;
        }
    } bare;
    QString out;
    TArchiverOptions o;
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const EArchiver& e) {
            return e.Message();
        }
        return QString();
    };
    EXPECT_EQ(message([&] { bare.LoadDLL(); }), Q("Abstract method 'TArchiver.LoadDLL' was called"));
    EXPECT_EQ(message([&] { bare.FreeDLL(); }), Q("Abstract method 'TArchiver.FreeDLL' was called"));
    EXPECT_EQ(message([&] { bare.Delete(0, kArc, o, kDest, TFileList{}, false, out); }),
              Q("この形式の書庫ではファイルの削除をサポートしておりません。"));
    EXPECT_EQ(message([&] { bare.MakeSfx(0, kArc, o, kDest, out); }),
              Q("この形式では自己解凍書庫の作成をサポートしておりません。"));
    EXPECT_EQ(message([&] { bare.CheckArc(kArc, 0, 0); }), Q("この形式では書庫チェック機能をサポートしておりません。"));
    EXPECT_EQ(bare.OpenArc(0, kArc, 0), 0u);
    TEntryInfo e{};
    EXPECT_EQ(bare.FindFirst(0, e, Q("*")), -1);
    EXPECT_EQ(bare.FindNext(0, e), -1);
    EXPECT_EQ(bare.CloseArc(0), 0);
    EXPECT_FALSE(bare.SetOwnerWindow(9, 0));
    EXPECT_EQ(bare.OwnerWindow(), 9u);
    EXPECT_FALSE(bare.KillOwnerWindow(9));
    EXPECT_EQ(bare.OwnerWindow(), 0u);
}

TEST_F(Handlers, EntryRecordIsCompletedFromTheLibraryOrTheDosFields)
{
    QTemporaryDir dir;
    const QString lzh = dir.filePath(Q("a.lzh"));
    stub::WriteSignedFile(lzh, "Unlha");
    TLha32 h;
    const TArchiveHandle arc = h.OpenArc(0, lzh, 0);
    ASSERT_NE(arc, 0u);
    TEntryInfo e;
    memset(&e, 0xAB, sizeof e);
    ASSERT_EQ(h.FindFirst(arc, e, Q("*")), 0);
    EXPECT_STREQ(e.Info.fileName, "a.jpg");
    const QDateTime dos(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    const std::uint64_t dosFt = std::uint64_t(dos.toMSecsSinceEpoch()) * 10000ull + 116444736000000000ull;
    EXPECT_EQ(e.LastWriteTime, dosFt);
    EXPECT_EQ(e.LastAccessTime, dosFt);
    EXPECT_EQ(e.CreationTime, dosFt);
    EXPECT_EQ(e.OriginalSize64, 100u);
    EXPECT_EQ(e.CompressedSize64, 60u);
    ASSERT_EQ(h.FindNext(arc, e), 0);
    EXPECT_STREQ(e.Info.fileName, "sub/b.png");
    EXPECT_EQ(e.OriginalSize64, 0xFFFFFFFFu);
    EXPECT_EQ(h.FindNext(arc, e), -1);
    EXPECT_EQ(h.CloseArc(arc), 0);

    const QString sz = dir.filePath(Q("a.7z"));
    stub::WriteSignedFile(sz, "SevenZip");
    TSevenZip32 s;
    const TArchiveHandle arc7 = s.OpenArc(0, sz, 0);
    ASSERT_NE(arc7, 0u);
    ASSERT_EQ(s.FindFirst(arc7, e, Q("*")), 0);
    const std::uint64_t stubTime = 132223104000000000ull;
    EXPECT_EQ(e.LastWriteTime, stubTime);
    EXPECT_EQ(e.CreationTime, stubTime + 10000000ull);
    EXPECT_EQ(e.LastAccessTime, stubTime + 20000000ull);
    EXPECT_EQ(e.OriginalSize64, 5000000000ull);
    EXPECT_EQ(e.CompressedSize64, 4000000000ull);
    s.CloseArc(arc7);
}

TEST_F(Handlers, ContentDetectionOfExecutables)
{
    QTemporaryDir dir;
    auto detect = [&](const char* name, std::initializer_list<std::pair<const char*, char>> sigs) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QByteArray data("MZ");
        for (auto [prefix, digit] : sigs) {
            data += QByteArray(50, '\x90') + "ARCSTUB:" + prefix + ';';
            if (digit)
                data += digit;
        }
        data += QByteArray(20, '\0');
        WriteFile(path, data);
        return DetectArchiverType(path);
    };
    EXPECT_EQ(detect("plain.exe", {}), atNone);
    EXPECT_EQ(detect("rar.exe", {{"Unrar", 0}}), atRar);
    EXPECT_EQ(detect("rarlha.EXE", {{"Unrar", 0}, {"Unlha", 0}}), atLha);
    EXPECT_EQ(detect("arjzip.exe", {{"Unarj", 0}, {"UnZip", 0}}), atZip);
    EXPECT_EQ(detect("bga.exe", {{"Bga", 0}}), atBga);
    EXPECT_EQ(detect("cabbga.exe", {{"Bga", 0}, {"Cab", 0}}), atCab);
    EXPECT_EQ(detect("arj.exe", {{"Unarj", 0}}), atArj);
    EXPECT_EQ(detect("tar.exe", {{"Tar", '1'}}), atTar);
    EXPECT_EQ(detect("tgz.exe", {{"Tar", '3'}}), atTgz);
    EXPECT_EQ(detect("bz2.exe", {{"Tar", '7'}}), atBZ2);
    EXPECT_EQ(detect("xz.exe", {{"Tar", '8'}}), atNone);
    EXPECT_EQ(detect("tarrar.exe", {{"Tar", '2'}, {"Unrar", 0}}), atRar);
    EXPECT_EQ(detect("sevenzip.exe", {{"SevenZip", 0}}), atNone); // no content test for 7z
    EXPECT_EQ(DetectArchiverType(dir.filePath(Q("missing.exe"))), atNone);
    // The checks the tests send.
    detect("lha.exe", {{"Unlha", 0}});
    EXPECT_EQ(stub::LastMode(TLha32::Binding()->Module()), 0x800002);
    EXPECT_EQ(stub::LastPath(TLha32::Binding()->Module()), dir.filePath(Q("lha.exe")));
}

TEST_F(Handlers, SelfExtractingArchives)
{
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    struct Restore {
        QString path;
        ~Restore() { QDir::setCurrent(path); }
    } restore{saved};

    const QString tgz = dir.filePath(Q("pics.tgz"));
    WriteFile(tgz, "TGZDATA");
    QString out;
    TTgz32 g;
    try {
        g.MakeSfx(0, tgz, TArchiverOptions(), QString(), out);
        FAIL();
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_EQ(e.Message(), Q("tar/tgz 書庫からの自己解凍書庫の作成には 'kmtarsef.exe' ファイルが必要です。"));
    }
    WriteFile(dir.filePath(Q("kmtarsef.exe")), "STUB-");
    EXPECT_EQ(g.MakeSfx(0, tgz, TArchiverOptions(), QString(), out), 0);
    EXPECT_EQ(ReadAll(dir.filePath(Q("pics.EXE"))), QByteArray("STUB-TGZDATA"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(Q("out")));
    EXPECT_EQ(g.MakeSfx(0, tgz, TArchiverOptions(), dir.filePath(Q("out")), out), 0);
    EXPECT_EQ(ReadAll(dir.filePath(Q("out/pics.EXE"))), QByteArray("STUB-TGZDATA"));

    TBZ232 b;
    try {
        b.MakeSfx(0, tgz, TArchiverOptions(), QString(), out);
        FAIL();
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), Q("BZ2 形式書庫は自己解凍形式にできません。"));
    }

    // ZIP: DOS stub unless gw > 0; then the "Zip" command with "-A".
    const QString zip = dir.filePath(Q("pics.zip"));
    WriteFile(zip, "ZIPDATA");
    TZip32 z;
    TArchiverOptions o;
    try {
        z.MakeSfx(0, zip, o, QString(), out);
        FAIL();
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_EQ(e.Message(), Q("zip 書庫からのDOS自己解凍書庫の作成には 'sfx16.dat' ファイルが必要です。"));
    }
    o.gw = 1;
    try {
        z.MakeSfx(0, zip, o, QString(), out);
        FAIL();
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_EQ(e.Message(), Q("zip 書庫からのWin32自己解凍書庫の作成には 'sfx32gui.dat' ファイルが必要です。"));
    }
    WriteFile(dir.filePath(Q("sfx32gui.dat")), "GUI-");
    EXPECT_EQ(z.MakeSfx(0, zip, o, QString(), out), 0);
    EXPECT_EQ(ReadAll(dir.filePath(Q("pics.EXE"))), QByteArray("GUI-ZIPDATA"));
    EXPECT_EQ(z.CommandLine, Q("-A ") + dir.filePath(Q("pics.EXE")));
    EXPECT_EQ(stub::LastCommand(TZip32::Binding()->Module(TZipDll::zmZip32j)), z.CommandLine);

    // 7z: no 16-bit stubs; "7z.sfx" by default.
    const QString sz = dir.filePath(Q("pics.7z"));
    WriteFile(sz, "7ZDATA");
    TSevenZip32 s;
    try {
        s.MakeSfx(0, sz, TArchiverOptions(), QString(), out);
        FAIL();
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), Q("16bit SFX を作成することはできません。"));
    }
    o.gw = 1;
    try {
        s.MakeSfx(0, sz, o, QString(), out);
        FAIL();
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_EQ(e.Message(), Q("7z 書庫からの自己解凍書庫の作成には '7z.sfx' ファイルが必要です。"));
    }
    EXPECT_EQ(TSevenZip32::SfxModule(), Q("7z.sfx"));
    WriteFile(dir.filePath(Q("7z.sfx")), "7ZSFX-");
    EXPECT_EQ(s.MakeSfx(0, sz, o, QString(), out), 0);
    EXPECT_EQ(ReadAll(dir.filePath(Q("pics.exe"))), QByteArray("7ZSFX-7ZDATA"));

    // An archive whose name already ends in .EXE is read before it is
    // replaced, never truncated first.
    const QString self = dir.filePath(Q("self.EXE"));
    WriteFile(self, "TGZ");
    EXPECT_EQ(g.MakeSfx(0, self, TArchiverOptions(), QString(), out), 0);
    EXPECT_EQ(ReadAll(self), QByteArray("STUB-TGZ"));
}

} // namespace
