// Finding the archiver libraries: a missing library, one put in place while
// the program runs, a library that lacks an entry, and the ZIP libraries'
// fallbacks with LMZIP32.DLL's lower-case "z" names.
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

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Q(const char* s)
{
    return QString::fromUtf8(s);
}

// The one folder the libraries of this test are looked for in; it starts
// empty and the tests copy libraries into it.
QTemporaryDir& LibraryFolder()
{
    static QTemporaryDir dir;
    static bool added = false;
    if (!added) {
        platform::AddLibrarySearchFolder(dir.path());
        added = true;
    }
    return dir;
}

void PutLibrary(const char* fileName, const char* fromFolder = ARC_STUB_DIR)
{
    const QString target = LibraryFolder().filePath(Q(fileName));
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(QString::fromUtf8(fromFolder) + Q("/") + Q(fileName), target));
}

template <typename E, typename F> QString ErrorOf(F&& f)
{
    try {
        f();
    } catch (const EArchiver& e) {
        if constexpr (std::is_same_v<E, EArchiver>)
            return e.Message();
        else if (dynamic_cast<const E*>(&e) != nullptr)
            return e.Message();
        return Q("wrong class: ") + e.Message();
    }
    return QString();
}

TEST(Loading, EveryFormatNamesItsMissingLibrary)
{
    LibraryFolder();
    struct Case {
        std::function<void()> create;
        const char* message;
    } cases[] = {
        {[] {
             TLha32::FreeClassDLL();
             TLha32 h;
         },
         "LHA 形式書庫 を扱うには UNLHA32.DLL が 必要です。"},
        {[] {
             TArj32::FreeClassDLL();
             TArj32 h;
         },
         "ARJ 形式書庫 を扱うには UNARJ32J.DLL が 必要です。"},
        {[] {
             TCab32::FreeClassDLL();
             TCab32 h;
         },
         "CAB 形式書庫 を扱うには CAB32.DLL が 必要です。"},
        {[] {
             TTar32::FreeClassDLL();
             TBZ232 h;
         },
         "tar/tgz/taz/bz2 形式書庫 を扱うには TAR32.DLL が 必要です。"},
        {[] {
             TRar32::FreeClassDLL();
             TRar32 h;
         },
         "RAR 形式書庫 を扱うには UNRAR32.DLL が 必要です。"},
        {[] {
             TBGA32::FreeClassDLL();
             TBGA32 h;
         },
         "BGA 形式書庫 を扱うには BGA32.DLL が 必要です。"},
        {[] {
             TSevenZip32::FreeClassDLL();
             TSevenZip32 h;
         },
         "7z 形式書庫 を扱うには 7-zip32.dll が 必要です。"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorOf<ENoArchiverDLL>(c.create), Q(c.message));
    // The content tests answer "no" instead of raising.
    QTemporaryDir dir;
    const QString exe = dir.filePath(Q("a.exe"));
    stub::WriteSignedFile(exe, "Unlha");
    EXPECT_EQ(DetectArchiverType(exe), atNone);
}

TEST(Loading, LibraryPutInPlaceLaterIsFoundWithoutRestart)
{
    LibraryFolder();
    TLha32::FreeClassDLL();
    const QString missing = Q("LHA 形式書庫 を扱うには UNLHA32.DLL が 必要です。");

    // The first handler fails to load; the component keeps its old state.
    TArchiveFile af;
    af.SetFileName(Q("/p/old.txt"));
    EXPECT_EQ(ErrorOf<ENoArchiverDLL>([&] { af.SetFileName(Q("/p/a.lzh")); }), missing);
    EXPECT_EQ(af.FileName(), Q("/p/old.txt"));
    EXPECT_EQ(af.ArchiverType(), atAutoDetect);
    EXPECT_EQ(af.Archiver(), nullptr);

    // The binding now exists: the next handler is made and Extract reports.
    af.SetFileName(Q("/p/a.lzh"));
    ASSERT_NE(af.Archiver(), nullptr);
    af.Options().jse = 1;
    af.Options().jso = 1;
    EXPECT_EQ(ErrorOf<ENoArchiverDLL>([&] { af.Extract(0, nullptr, Q("/d"), TFileList{}); }), missing);
    EXPECT_EQ(af.CommandLine(), Q("x -+ -jse1 -jso1  \"/p/a.lzh\" \"/d/\" "));
    EXPECT_EQ(ErrorOf<ENoArchiverDLL>([&] { af.Archiver()->SetOwnerWindow(1, 0); }), missing);

    PutLibrary("libunlha32.so");
    EXPECT_EQ(af.Extract(0, nullptr, Q("/d"), TFileList{}), 0);
    ASSERT_NE(TLha32::Binding()->Module(), nullptr);
    EXPECT_EQ(stub::LastCommand(TLha32::Binding()->Module()), Q("x -+ -jse1 -jso1  \"/p/a.lzh\" \"/d/\" "));
    EXPECT_EQ(platform::GetModuleFileName(TLha32::Binding()->Module()),
              QFileInfo(LibraryFolder().filePath(Q("libunlha32.so"))).canonicalFilePath());
}

TEST(Loading, MissingRequiredEntryNamesTheModuleAndTheEntry)
{
    LibraryFolder();
    TCab32::FreeClassDLL();
    PutLibrary("libcab32.so", ARC_STUB_BROKEN_DIR); // lacks CabOpenArchive
    TCab32 h;
    const QString path = QFileInfo(LibraryFolder().filePath(Q("libcab32.so"))).canonicalFilePath();
    EXPECT_EQ(ErrorOf<EEntryNotFound>([&] { h.OpenArc(0, Q("/a.cab"), 0); }),
              path + Q(" に CabOpenArchive のエントリが見つかりません。"));
    EXPECT_FALSE(TCab32::IsCabFile(Q("/a.cab")));
    // Entries that exist still work.
    QString out;
    TArchiverOptions o;
    EXPECT_EQ(h.Extract(0, Q("/a.cab"), o, Q("/d"), TFileList{}, false, out), 0);
    EXPECT_EQ(stub::LastEntry(TCab32::Binding()->Module()), Q("Cab"));
    TCab32::FreeClassDLL();
    QFile::remove(LibraryFolder().filePath(Q("libcab32.so")));
}

TEST(Loading, ZipLibrariesFallBackToLmzipWithLowerCaseNames)
{
    LibraryFolder();
    TZip32::FreeClassDLL();
    TZip32 h; // no ZIP library at all: no error yet
    TArchiverOptions o;
    o.c = 1;
    o.x = 0;
    QString out;
    EXPECT_EQ(ErrorOf<EArchiver>([&] { h.Extract(0, Q("/a.zip"), o, Q("/d"), TFileList{}, false, out); }),
              Q("ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。"));
    EXPECT_EQ(ErrorOf<EArchiver>([&] { h.Pack(0, Q("/a.zip"), o, Q("/d"), TFileList{}, false, out); }),
              Q("ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。"));
    EXPECT_EQ(ErrorOf<ESfxNoRequiredFile>([&] { h.MakeSfx(0, Q("/a.zip"), o, QString(), out); }),
              Q("zip 書庫からの自己解凍書庫の作成には 'ZIP32J.DLL' ファイルが必要です。"));
    EXPECT_EQ(ErrorOf<EEntryNotFound>([&] { h.OpenArc(0, Q("/a.zip"), 0); }),
              Q("UnZipOpenArchive のエントリが DLL に見つかりませんでした。"));
    EXPECT_FALSE(TZip32::IsZipFile(Q("/a.zip")));

    // Only LMZIP32.DLL: everything goes to its "Unzip..." entries.
    PutLibrary("liblmzip32.so");
    EXPECT_EQ(h.Extract(0, Q("/a.zip"), o, Q("/d"), TFileList{}, false, out), 0);
    TZipDll* dll = TZip32::Binding();
    ASSERT_TRUE(dll->IsLoaded(TZipDll::zmLmzip32));
    EXPECT_FALSE(dll->IsLoaded(TZipDll::zmUnzip32));
    platform::LibraryHandle lm = dll->Module(TZipDll::zmLmzip32);
    EXPECT_EQ(stub::LastEntry(lm), Q("Unzip"));
    EXPECT_EQ(stub::LastCommand(lm), Q("-x -o -j  \"/a.zip\" \"/d/\" "));

    QTemporaryDir dir;
    const QString zip = dir.filePath(Q("a.zip"));
    stub::WriteSignedFile(zip, "UnZip");
    const TArchiveHandle arc = h.OpenArc(0, zip, 0);
    EXPECT_EQ(stub::LastEntry(lm), Q("UnzipOpenArchive"));
    ASSERT_NE(arc, 0u);
    TEntryInfo e;
    EXPECT_EQ(h.FindFirst(arc, e, Q("*")), 0);
    EXPECT_EQ(stub::LastEntry(lm), Q("UnzipFindFirst"));
    EXPECT_EQ(h.FindNext(arc, e), 0);
    EXPECT_EQ(stub::LastEntry(lm), Q("UnzipFindNext"));
    h.CloseArc(arc);
    EXPECT_EQ(stub::LastEntry(lm), Q("UnzipCloseArchive"));
    EXPECT_TRUE(TZip32::IsZipFile(zip));
    h.CheckArc(zip, 1, 0);
    EXPECT_EQ(stub::LastEntry(lm), Q("UnzipCheckArchive"));
    unsigned char buf[8];
    std::uint32_t written = 0;
    h.ExtractMem(0, zip, o, Q("a.jpg"), buf, sizeof buf, written);
    EXPECT_EQ(stub::LastEntry(lm), Q("UnzipExtractMem"));
    // The owner window entries are UNZIP32.DLL's alone.
    EXPECT_EQ(ErrorOf<EEntryNotFound>([&] { h.SetOwnerWindow(5, 0); }),
              Q("UNZIP32.DLL に UnZipSetOwnerWindowEx のエントリが見つかりません。"));

    // Packing through LMZIP32.DLL: "-ru" without folder. The old archive is
    // out of the way while the library runs and comes back if it fails.
    const QString packed = dir.filePath(Q("p.zip"));
    {
        QFile f(packed);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("OLD ARCHIVE");
    }
    stub::SetResult(lm, 0x8005);
    EXPECT_EQ(h.Pack(0, packed, o, Q("/src"), TFileList{Q("p.jpg")}, false, out), 0x8005);
    EXPECT_EQ(h.CommandLine, Q("-ru -o -j  \"") + packed + Q("\" \"p.jpg\" "));
    EXPECT_EQ(stub::LastEntry(lm), Q("Zip"));
    {
        QFile f(packed);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("OLD ARCHIVE"));
    }
    stub::SetResult(lm, 0);
    EXPECT_EQ(h.Pack(0, packed, o, Q("/src"), TFileList{Q("p.jpg")}, false, out), 0);
    EXPECT_FALSE(QFileInfo::exists(packed)); // the stub writes nothing; the old one is gone
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{Q("a.zip")});
}

} // namespace
