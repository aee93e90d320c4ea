// The command-line builder, file lists, options and the helpers that need no
// archiver library.
#include "QStringPrinter.h"
#include "archive/ArchiveFile.h"
#include "archive/Archiver.h"
#include "archive/ArchiverDll.h"
#include "archive/ArchiverErrors.h"
#include "archive/CmdOpt.h"
#include "archive/MessageWindow.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Q(const char* s)
{
    return QString::fromUtf8(s);
}

TEST(CmdOpt, AddAppendsOneBlankAndTheTextEvenWhenEmpty)
{
    TCmdOpt cmd;
    cmd.Add(Q("-+"));
    cmd.Add(QString());
    cmd.Add(Q("x"));
    EXPECT_EQ(cmd.Text(), Q(" -+  x"));
}

TEST(CmdOpt, AddIntAndAddBool)
{
    TCmdOpt cmd;
    cmd.AddInt(Q("c"), -1);
    cmd.AddInt(Q("c"), 1);
    cmd.AddInt(Q("x"), 0);
    cmd.AddInt(QString(), 9);
    cmd.AddInt(Q("-use-directory="), 0);
    cmd.AddInt(Q("jm"), 127);
    cmd.AddBool(Q("j"), false);
    cmd.AddBool(Q("j"), true);
    EXPECT_EQ(cmd.Text(), Q(" -c1 -x0 -9 --use-directory=0 -jm127 -j"));
}

TEST(CmdOpt, AddStrQuotingAndSwitchForms)
{
    TCmdOpt cmd;
    cmd.AddStr(Q("jo"), UnsetMarker()); // nothing
    cmd.AddStr(Q("jo"), QString()); // the switch alone, quoted
    cmd.AddStr(Q("jo"), Q("/tmp/w"));
    cmd.AddStr(QString(), Q("a b.lzh"));
    cmd.AddStr(Q(" x!"), Q("v")); // a leading blank: the switch is the rest
    EXPECT_EQ(cmd.Text(), Q(" \"-jo\" \"-jo/tmp/w\" \"a b.lzh\" \"x!v\""));

    TCmdOpt spaced;
    spaced.SpaceSeparated = true;
    spaced.AddStr(Q("f"), Q("/a/b.tar"));
    spaced.AddStr(QString(), Q("n"));
    EXPECT_EQ(spaced.Text(), Q(" -f \"/a/b.tar\" \"n\""));
}

TEST(CmdOpt, NamesThatWouldSplitTheCommandLineAreRefused)
{
    // "/tmp/a\" \"/x.zip" would read as the archive /tmp/a and the folder /x.zip.
    TCmdOpt cmd;
    cmd.Add(Q("-x"));
    EXPECT_THROW(cmd.AddStr(QString(), Q("/tmp/a\" \"/x.zip")), EArchiver);
    EXPECT_THROW(cmd.AddDir(Q("o"), Q("/out\"")), EArchiver);
    EXPECT_THROW(cmd.AddFiles(QString(), TFileList{Q("ok.jpg"), Q("a\"b.jpg")}), EArchiver);
    EXPECT_EQ(cmd.Text().left(3), Q(" -x"));

    QTemporaryDir dir;
    const QString res = dir.filePath(Q("list.txt"));
    TCmdOpt r;
    EXPECT_THROW(r.AddResFile(TFileList{Q("a.jpg"), Q("two\nlines.jpg")}, res), EArchiver);
    EXPECT_FALSE(QFile::exists(res));
    // Blanks and other characters are fine inside the quotes.
    TCmdOpt ok;
    ok.AddStr(QString(), Q("a b 'c' [d] -e.jpg"));
    EXPECT_EQ(ok.Text(), Q(" \"a b 'c' [d] -e.jpg\""));
}

TEST(CmdOpt, AddDirAppendsOneSeparator)
{
    TCmdOpt cmd;
    cmd.AddDir(Q("o"), QString());
    cmd.AddDir(Q("o"), UnsetMarker());
    cmd.AddDir(QString(), Q("/dest"));
    cmd.AddDir(QString(), Q("/dest/"));
    cmd.AddDir(Q("o"), Q("/x"));
    EXPECT_EQ(cmd.Text(), Q(" \"/dest/\" \"/dest/\" \"-o/x/\""));
}

TEST(CmdOpt, AddFilesConvertsEveryNameAndCounts)
{
    TCmdOpt cmd;
    cmd.NameConverter = EscapeZipName;
    const int n = cmd.AddFiles(QString(), TFileList{QStringList{Q("-a[1]\\b.jpg"), QString(), Q("c d.png")}});
    EXPECT_EQ(n, 2);
    EXPECT_EQ(cmd.Text(), Q(" \"[-]a[[]1]/b.jpg\" \"c d.png\""));

    TCmdOpt named;
    EXPECT_EQ(named.AddFiles(Q("jx"), TFileList{QStringList{Q("*.txt"), Q("*.log")}}), 2);
    EXPECT_EQ(named.Text(), Q(" \"-jx*.txt\" \"-jx*.log\""));
}

TEST(CmdOpt, EscapeZipName)
{
    EXPECT_EQ(EscapeZipName(Q("-a[1]\\b.jpg")), Q("[-]a[[]1]/b.jpg"));
    EXPECT_EQ(EscapeZipName(Q("a-b]c")), Q("a-b]c"));
    EXPECT_EQ(EscapeZipName(Q("--x")), Q("[-]-x"));
    EXPECT_EQ(EscapeZipName(Q("[[")), Q("[[][[]"));
    EXPECT_EQ(EscapeZipName(QString()), QString());
    EXPECT_EQ(EscapeZipName(Q("写真\\一.jpg")), Q("写真/一.jpg"));
}

TEST(CmdOpt, MakeFileListTakesEveryKindOfSource)
{
    const char16_t* wide[] = {u"w1.jpg", u"", u"w2.jpg", nullptr};
    const std::string narrow = "n.jpg";
    const TFileList files{
        Q("q.jpg"),
        narrow,
        "c.jpg",
        std::u16string(u"u16.jpg"),
        static_cast<const char16_t*>(u"p16.jpg"),
        TWideTextArray{wide},
        TWideTextArray{nullptr},
        QStringList{Q("l1.jpg"), QString(), Q("l2.jpg")},
        QVariant(QVariantList{Q("v1.jpg"), 7}),
        QVariant(Q("v.jpg")),
        QVariant(42),
        QVariant(),
        std::monostate{},
        QString(),
    };
    EXPECT_EQ(MakeFileList(files),
              (QStringList{Q("q.jpg"), Q("n.jpg"), Q("c.jpg"), Q("u16.jpg"), Q("p16.jpg"), Q("w1.jpg"), Q("w2.jpg"),
                           Q("l1.jpg"), Q("l2.jpg"), Q("v1.jpg"), Q("7"), Q("v.jpg"), Q("42")}));
    // The viewer's file list: one null pointer, no names at all.
    EXPECT_TRUE(MakeFileList(TFileList{TWideTextArray{nullptr}}).isEmpty());
    EXPECT_TRUE(MakeFileList(TFileList{}).isEmpty());
}

TEST(CmdOpt, ResponseFileHoldsQuotedNamesWithCrLf)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString res = dir.filePath(Q("list.txt"));
    {
        QFile old(res);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content that must go away\r\n\r\n\r\n");
    }
    TCmdOpt cmd;
    cmd.NameConverter = EscapeZipName;
    EXPECT_EQ(cmd.AddResFile(TFileList{QStringList{Q("a b.jpg"), Q("[x].jpg")}}, res), 2);
    EXPECT_EQ(cmd.Text(), Q(" \"@") + res + Q("\""));
    QFile file(res);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\"a b.jpg\"\r\n\"[[]x].jpg\"\r\n"));

    TCmdOpt bad;
    EXPECT_THROW(bad.AddResFile(TFileList{Q("a")}, dir.filePath(Q("missing/folder/list.txt"))), EFCreateError);
}

TEST(ArchiverOptions, ResetLeavesEverythingUnset)
{
    TArchiverOptions o;
    EXPECT_EQ(o.a, -1);
    EXPECT_EQ(o.gw, -1);
    EXPECT_EQ(o.jso, -1);
    EXPECT_TRUE(IsUnset(o.w));
    EXPECT_TRUE(IsUnset(o.jo));
    EXPECT_TRUE(IsUnset(o.job));
    EXPECT_TRUE(IsUnset(o.jz));
    EXPECT_TRUE(IsUnset(o.gr));
    EXPECT_TRUE(o.jx.isEmpty());
    EXPECT_TRUE(o.UserOptions.isEmpty());
    EXPECT_TRUE(o.UserFileList.isEmpty());
    EXPECT_TRUE(o.ResFileName.isEmpty());
    EXPECT_EQ(o.PackFilter, pfComponent);
    EXPECT_EQ(o.ResFileUsage, (TResFileUsage{ruOnPack, ruOnUnpack, ruOnRemoveItem}));
    EXPECT_FALSE(o.ResFileUsage.Contains(ruOnUpdate));

    o.c = 1;
    o.jo = QString();
    o.jx << Q("*.txt");
    o.UserOptions = Q("-q");
    o.PackFilter = pfArchiver;
    o.ResFileUsage = TResFileUsage{ruOnUpdate};
    o.Reset();
    EXPECT_EQ(o.c, -1);
    EXPECT_TRUE(IsUnset(o.jo));
    EXPECT_TRUE(o.jx.isEmpty());
    EXPECT_TRUE(o.UserOptions.isEmpty());
    EXPECT_EQ(o.PackFilter, pfComponent);
    EXPECT_EQ(o.ResFileUsage, (TResFileUsage{ruOnPack, ruOnUnpack, ruOnRemoveItem}));
    EXPECT_FALSE(IsUnset(QString()));
    EXPECT_FALSE(IsUnset(Q("x")));
}

TEST(ArchiverOptions, CopyTakesEverythingButResFileUsage)
{
    TArchiverOptions src;
    src.a = 2;
    src.jsz = 0;
    src.gw = 5;
    src.w = Q("/work");
    src.gr = QString();
    src.jx = QStringList{Q("a"), Q("b")};
    src.UserOptions = Q("-v");
    src.UserFileList = Q("x.jpg");
    src.PackFilter = pfArchiver;
    src.ResFileName = Q("/tmp/r.txt");
    src.ResFileUsage = TResFileUsage{ruOnUpdate};

    TArchiverOptions dst;
    dst.ResFileUsage = TResFileUsage{ruOnPack};
    dst = src;
    EXPECT_EQ(dst.a, 2);
    EXPECT_EQ(dst.jsz, 0);
    EXPECT_EQ(dst.gw, 5);
    EXPECT_EQ(dst.c, -1);
    EXPECT_EQ(dst.w, Q("/work"));
    EXPECT_TRUE(dst.gr.isEmpty());
    EXPECT_FALSE(IsUnset(dst.gr));
    EXPECT_EQ(dst.jx, (QStringList{Q("a"), Q("b")}));
    EXPECT_EQ(dst.UserOptions, Q("-v"));
    EXPECT_EQ(dst.UserFileList, Q("x.jpg"));
    EXPECT_EQ(dst.PackFilter, pfArchiver);
    EXPECT_EQ(dst.ResFileName, Q("/tmp/r.txt"));
    EXPECT_EQ(dst.ResFileUsage, TResFileUsage{ruOnPack});

    src.jx << Q("c"); // a copy, not a share
    EXPECT_EQ(dst.jx.size(), 2);

    TArchiverOptions fresh(src);
    EXPECT_EQ(fresh.a, 2);
    EXPECT_EQ(fresh.ResFileUsage, (TResFileUsage{ruOnPack, ruOnUnpack, ruOnRemoveItem}));
}

TEST(DetectArchiverType, ByExtension)
{
    struct Case {
        const char* name;
        TArchiverType type;
    } cases[] = {
        {"a.lzh", atLha},
        {"a.LZH", atLha},
        {"a.Lzh", atLha},
        {"a.zip", atZip},
        {"a.JAR", atZip},
        {"a.cab", atCab},
        {"a.arj", atArj},
        {"a.tar", atTar},
        {"a.a", atTar},
        {"a.lib", atTar},
        {"a.deb", atTar},
        {"a.rpm", atTar},
        {"a.cpio", atTar},
        {"a.tgz", atTgz},
        {"a.gz", atTgz},
        {"a.Z", atTgz},
        {"a.taz", atTgz},
        {"a.tar.gz", atTgz},
        {"a.bz2", atBZ2},
        {"a.tar.bz2", atBZ2},
        {"a.rar", atRar},
        {"a.gza", atBga},
        {"a.BZA", atBga},
        {"a.gca", atGCA},
        {"a.7z", at7z},
        {"a.txt", atNone},
        {"a.bel", atNone},
        {"a.ar", atNone},
        {"noext", atNone},
        {"/x.zip/noext", atNone},
        {"/photos/写真.zip", atZip},
        {"", atNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DetectArchiverType(Q(c.name)), c.type) << c.name;
}

TEST(ArchiverHelpers, DosDateTimeToFileTime)
{
    std::uint64_t ft = 0;
    const std::uint16_t date = ((2001 - 1980) << 9) | (2 << 5) | 3;
    const std::uint16_t time = (4 << 11) | (5 << 5) | 3;
    ASSERT_TRUE(DosDateTimeToFileTime(date, time, ft));
    const QDateTime expected(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    EXPECT_EQ(ft, std::uint64_t(expected.toMSecsSinceEpoch()) * 10000ull + 116444736000000000ull);
    EXPECT_FALSE(DosDateTimeToFileTime(0, 0, ft)); // month 0
    EXPECT_FALSE(DosDateTimeToFileTime(date, (24 << 11), ft));
}

TEST(ArchiverHelpers, PathsForSelfExtractingOutput)
{
    EXPECT_EQ(ChangeFileExt(Q("/a/b.zip"), Q(".EXE")), Q("/a/b.EXE"));
    EXPECT_EQ(ChangeFileExt(Q("/a.d/b"), Q(".exe")), Q("/a.d/b.exe"));
    EXPECT_EQ(ChangeFileExt(Q("/a/b.tar.gz"), Q(".EXE")), Q("/a/b.tar.EXE"));
    EXPECT_EQ(JoinPath(Q("/out"), Q("b.EXE")), Q("/out/b.EXE"));
    EXPECT_EQ(JoinPath(Q("/out/"), Q("b.EXE")), Q("/out/b.EXE"));
    EXPECT_EQ(JoinPath(Q("/out//"), Q("/b.EXE")), Q("/out/b.EXE"));
    EXPECT_EQ(JoinPath(QString(), Q("b.EXE")), Q("b.EXE"));
    EXPECT_EQ(JoinPath(Q("/"), Q("b.EXE")), Q("/b.EXE"));
}

TEST(ArchiverErrors, MessagesAndHierarchy)
{
    const ESfxNoRequiredFile dos(Q("zip"), Q("DOS"), Q("sfx16.dat"));
    EXPECT_EQ(dos.Message(), Q("zip 書庫からのDOS自己解凍書庫の作成には 'sfx16.dat' ファイルが必要です。"));
    EXPECT_STREQ(dos.what(), "zip 書庫からのDOS自己解凍書庫の作成には 'sfx16.dat' ファイルが必要です。");
    const ESfxNoRequiredFile none(Q("tar/tgz"), QString(), Q("kmtarsef.exe"));
    EXPECT_EQ(none.Message(), Q("tar/tgz 書庫からの自己解凍書庫の作成には 'kmtarsef.exe' ファイルが必要です。"));
    EXPECT_EQ(none.RequiredFile(), Q("kmtarsef.exe"));
    const EArchiver* base = &dos;
    EXPECT_NE(dynamic_cast<const ESfxNoRequiredFile*>(base), nullptr);
    EXPECT_TRUE((std::is_base_of_v<EArchiver, ENoArchiverDLL>));
    EXPECT_TRUE((std::is_base_of_v<EArchiver, EEntryNotFound>));
}

TEST(MessageWindow, RegisteredMessagesAndDelivery)
{
    const unsigned m1 = arcmsg::RegisterWindowMessage(Q("orvanto_test_message"));
    EXPECT_GE(m1, 0xC000u);
    EXPECT_EQ(arcmsg::RegisterWindowMessage(Q("ORVANTO_TEST_MESSAGE")), m1);
    EXPECT_NE(arcmsg::RegisterWindowMessage(Q("orvanto_other_message")), m1);
    EXPECT_TRUE(arcmsg::IsWindowMessageRegistered(Q("orvanto_test_message")));

    arcmsg::TWindowHandle handle = 0;
    const int before = arcmsg::WindowCount();
    {
        arcmsg::TMessageWindow window([&](arcmsg::TWindowHandle w, unsigned msg, arcmsg::WPARAM wp, arcmsg::LPARAM lp) {
            if (msg == m1)
                return arcmsg::LRESULT(wp * 10 + lp);
            return arcmsg::DefWindowProc(w, msg, wp, lp);
        });
        handle = window.Handle();
        EXPECT_NE(handle, 0u);
        EXPECT_EQ(arcmsg::WindowCount(), before + 1);
        EXPECT_EQ(arcmsg::SendMessage(handle, m1, 4, 2), 42);
        EXPECT_EQ(arcmsg::SendMessage(handle, m1 + 1, 4, 2), 0);
    }
    EXPECT_EQ(arcmsg::WindowCount(), before);
    EXPECT_EQ(arcmsg::SendMessage(handle, m1, 4, 2), 0);
}

} // namespace
