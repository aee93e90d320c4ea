// The archiver libraries loaded as the program loads them (dlopen from the
// program folder) and driven with the command lines the format handlers
// write, on archives made by the real archiving tools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "ArchiverSamples.h"
#include "ArchiverTestSupport.h"
#include "archive/ArchiverAbi.h"

using namespace arctest;

namespace {

struct FormatCase {
    const char* label;
    const char* library;
    const char* entry;
    const char* archive;
    const char* make; // shell, run in the source folder
    enum Line { Lha, Zip, Tar, TarZ, TarB, Rar, Bga, SevenZip } line;
    bool single; // holds a.txt only
};

std::string LineFor(const FormatCase& c, const std::string& a, const std::string& d)
{
    switch (c.line) {
    case FormatCase::Lha:
        return LhaLine(a, d);
    case FormatCase::Zip:
        return ZipLine(a, d);
    case FormatCase::Tar:
        return TarLine(a, d, "");
    case FormatCase::TarZ:
        return TarLine(a, d, " -z");
    case FormatCase::TarB:
        return TarLine(a, d, " -B");
    case FormatCase::Rar:
        return RarLine(a, d);
    case FormatCase::Bga:
        return BgaLine(a, d);
    case FormatCase::SevenZip:
        return SevenZipLine(a, d);
    }
    return {};
}

const FormatCase kFormats[] = {
    {"lha_lh0", "libunlha32.so", "Unlha", "x.lzh", "jlha az ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"lha_lh5", "libunlha32.so", "Unlha", "x.lzh", "jlha ao5 ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"lha_lh6", "libunlha32.so", "Unlha", "x.lzh", "jlha ao6 ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"lha_lh7", "libunlha32.so", "Unlha", "x.lzh", "jlha ao7 ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"zip_deflate", "libunzip32.so", "UnZip", "x.zip", "zip -qr ../x.zip a.txt sub empty.txt", FormatCase::Zip, false},
    {"zip_stored", "libunzip32.so", "UnZip", "x.zip", "zip -qr0 ../x.zip a.txt sub empty.txt", FormatCase::Zip, false},
    {"zip_lmzip", "liblmzip32.so", "Unzip", "x.zip", "zip -qr ../x.zip a.txt sub empty.txt", FormatCase::Zip, false},
    {"cab_mszip", "libcab32.so", "Cab", "x.cab", "gcab -c -z ../x.cab a.txt sub/b.bin empty.txt", FormatCase::Zip,
     false},
    {"cab_stored", "libcab32.so", "Cab", "x.cab", "gcab -c ../x.cab a.txt sub/b.bin empty.txt", FormatCase::Zip, false},
    {"arj_m0", "libunarj32j.so", "Unarj", "x.arj", "arj a -m0 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"arj_m1", "libunarj32j.so", "Unarj", "x.arj", "arj a -m1 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"arj_m2", "libunarj32j.so", "Unarj", "x.arj", "arj a -m2 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"arj_m3", "libunarj32j.so", "Unarj", "x.arj", "arj a -m3 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"arj_m4", "libunarj32j.so", "Unarj", "x.arj", "arj a -m4 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha,
     false},
    {"tar", "libtar32.so", "Tar", "x.tar", "tar cf ../x.tar a.txt sub empty.txt", FormatCase::Tar, false},
    {"tgz", "libtar32.so", "Tar", "x.tgz", "tar czf ../x.tgz a.txt sub empty.txt", FormatCase::TarZ, false},
    {"taz", "libtar32.so", "Tar", "x.taz", "tar cf - a.txt sub empty.txt | compress -c > ../x.taz", FormatCase::TarZ,
     false},
    {"tar_xz", "libtar32.so", "Tar", "x.tar.xz", "tar cJf ../x.tar.xz a.txt sub empty.txt", FormatCase::Tar, false},
    {"gz", "libtar32.so", "Tar", "a.txt.gz", "gzip -c a.txt > ../a.txt.gz", FormatCase::TarZ, true},
    {"Z", "libtar32.so", "Tar", "a.txt.Z", "compress -c a.txt > ../a.txt.Z", FormatCase::TarZ, true},
    {"tar_bz2", "libtar32.so", "Tar", "x.tar.bz2", "tar cjf ../x.tar.bz2 a.txt sub empty.txt", FormatCase::TarB, false},
    {"bz2", "libtar32.so", "Tar", "a.txt.bz2", "bzip2 -c a.txt > ../a.txt.bz2", FormatCase::TarB, true},
    {"cpio", "libtar32.so", "Tar", "x.cpio",
     "printf 'a.txt\\nsub\\nsub/b.bin\\nempty.txt\\n' | cpio -o -H newc > ../x.cpio", FormatCase::Tar, false},
    {"ar", "libtar32.so", "Tar", "x.a", "ar rc ../x.a a.txt sub/b.bin empty.txt", FormatCase::Tar, false},
    {"sevenzip", "lib7-zip32.so", "SevenZip", "x.7z", "7z a -bd ../x.7z a.txt sub empty.txt", FormatCase::SevenZip,
     false},
};

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, ViewerCommandExtractsEveryFileFlat)
{
    const FormatCase& c = GetParam();
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), c.make);
    Library lib(c.library);
    ASSERT_TRUE(lib.loaded()) << c.library;
    const std::string out = files / "out";
    std::string message;
    EXPECT_EQ(lib.Command(c.entry, LineFor(c, files / c.archive, out), &message), ARC_OK) << message;
    std::map<std::string, std::string> expected =
        c.single ? std::map<std::string, std::string>{{"a.txt", files.a()}} : files.Flat();
    EXPECT_EQ(FilesBelow(out), expected);

    // The library recognises its own archive, and the listing entries see every file.
    auto check =
        lib.Get<ArcCheckArchiveProc>(std::string(c.entry == std::string("Unzip") ? "Unzip" : c.entry) + "CheckArchive");
    ASSERT_NE(check, nullptr);
    EXPECT_NE(check((files / c.archive).c_str(), ARC_CHECK_FULLCRC), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(BgaTest, GzaAndBzaEntriesAreExtractedWithAndWithoutFolders)
{
    ScratchDir dir;
    const std::string a = Words(40000, 3), b = Binary(30000, 5), c = Words(1000, 9);
    // Names as a Japanese Windows archiver stores them: CP932 bytes, backslashes.
    const std::string cp932Folder = "\x95\x5c\\"; // 表\ (0x5C is the second byte of 表)
    WriteFile(dir / "x.gza", BgaArchive({{"", "a.txt", a, false, false},
                                         {"sub\\", "b.bin", b, false, false},
                                         {cp932Folder, "c.txt", c, false, true}}));
    WriteFile(dir / "x.bza", BgaArchive({{"", "a.txt", a, true, false}, {"sub\\", "b.bin", b, true, false}}));
    Library lib("libbga32.so");
    ASSERT_TRUE(lib.loaded());
    std::string message;
    EXPECT_EQ(lib.Command("Bga", BgaLine(dir / "x.gza", dir / "flat"), &message), ARC_OK) << message;
    EXPECT_EQ(FilesBelow(dir / "flat"), (std::map<std::string, std::string>{{"a.txt", a}, {"b.bin", b}, {"c.txt", c}}));
    EXPECT_EQ(lib.Command("Bga", "x -o  \"" + (dir / "x.gza") + "\" \"" + (dir / "tree") + "/\" ", &message), ARC_OK)
        << message;
    EXPECT_EQ(FilesBelow(dir / "tree"),
              (std::map<std::string, std::string>{{"a.txt", a}, {"sub/b.bin", b}, {"表/c.txt", c}}));
    EXPECT_EQ(lib.Command("Bga", BgaLine(dir / "x.bza", dir / "bza"), &message), ARC_OK) << message;
    EXPECT_EQ(FilesBelow(dir / "bza"), (std::map<std::string, std::string>{{"a.txt", a}, {"b.bin", b}}));

    auto check = lib.Get<ArcCheckArchiveProc>("BgaCheckArchive");
    EXPECT_NE(check((dir / "x.bza").c_str(), ARC_CHECK_FULLCRC), 0);
    // Truncated in the middle of the compressed data: an error, no partial file.
    const std::string whole = ReadFile(dir / "x.bza");
    WriteFile(dir / "cut.bza", whole.substr(0, whole.size() - 5000));
    EXPECT_NE(lib.Command("Bga", BgaLine(dir / "cut.bza", dir / "cut"), &message), ARC_OK);
    EXPECT_EQ(FilesBelow(dir / "cut").count("b.bin"), 0u);
    EXPECT_EQ(check((dir / "cut.bza").c_str(), ARC_CHECK_FULLCRC), 0);
    // A header whose checksum does not match is not a BGA archive.
    std::string bad = ReadFile(dir / "x.gza");
    bad[0] = static_cast<char>(bad[0] ^ 0x55);
    WriteFile(dir / "bad.gza", bad.substr(0, 200));
    EXPECT_EQ(check((dir / "bad.gza").c_str(), ARC_CHECK_BASIC), 0);
}

// --- RAR from the repository's test data.

TEST(RarTest, JapaneseNamesAndRarHoldingAZip)
{
    ScratchDir dir;
    const std::string data = TestData() + "/archives/";
    Library lib("libunrar32.so");
    ASSERT_TRUE(lib.loaded());
    std::string message;
    EXPECT_EQ(lib.Command("Unrar", "-x  \"" + data + "rar4-japanese-names.rar\" \"" + (dir / "jp") + "/\" ", &message),
              ARC_OK)
        << message;
    const auto jp = FilesBelow(dir / "jp");
    ASSERT_EQ(jp.size(), 2u);
    EXPECT_EQ(jp.at("表だよ/新しいフォルダ/新規テキスト ドキュメント.txt"), "");
    EXPECT_EQ(jp.at("表だよ/漢字長いファイル名long-filename-in-漢字.txt").size(), 5u);

    // Listing reads the RAR entries, not the ZIP stored inside.
    auto open = lib.Get<ArcOpenArchiveProc>("UnrarOpenArchive");
    auto first = lib.Get<ArcFindFirstProc>("UnrarFindFirst");
    auto next = lib.Get<ArcFindNextProc>("UnrarFindNext");
    auto close = lib.Get<ArcCloseArchiveProc>("UnrarCloseArchive");
    const std::string inside = data + "rar5-zip-inside.rar";
    ArcHandle h = open(0, inside.c_str(), 0x800002);
    ASSERT_NE(h, 0u);
    std::vector<std::string> names;
    ArcIndividualInfo info{};
    for (int r = first(h, "*", &info); r == 0; r = next(h, &info))
        names.push_back(info.fileName);
    close(h);
    EXPECT_NE(std::find(names.begin(), names.end(), "payload/inner.zip"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "payload/real_after.txt"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "THIS_IS_INSIDE_THE_ZIP.txt"), names.end());

    EXPECT_EQ(lib.Command("Unrar", RarLine(inside, dir / "inside"), &message), ARC_OK) << message;
    const auto got = FilesBelow(dir / "inside");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got.at("real_after.txt"), "i am a real rar entry");
    EXPECT_EQ(got.at("inner.zip").size(), 165u);
}

// --- Names stored in CP932 by Japanese Windows.

TEST(NamesTest, Cp932ZipNamesBecomeUtf8)
{
    ScratchDir dir;
    // 日本語.txt and 表\x.txt as CP932 bytes (表 ends in the byte of a backslash).
    const std::string nihongo = "\x93\xfa\x96\x7b\x8c\xea.txt";
    const std::string hyou = "\x95\x5c";
    WriteFile(dir / ("src/" + nihongo), "hello");
    WriteFile(dir / ("src/" + hyou + "/x.txt"), "x");
    ASSERT_SHELL_OK(dir / "src", "LC_ALL=C zip -qr ../cp.zip .");
    Library lib("libunzip32.so");
    std::string message;
    EXPECT_EQ(lib.Command("UnZip", "-x -o  \"" + (dir / "cp.zip") + "\" \"" + (dir / "out") + "/\" ", &message), ARC_OK)
        << message;
    EXPECT_EQ(FilesBelow(dir / "out"),
              (std::map<std::string, std::string>{{"日本語.txt", "hello"}, {"表/x.txt", "x"}}));
}

// LHA level-0 header, stored data: size, checksum, method, sizes, DOS
// time and date, attribute, level, name, CRC-16 of the data.
uint16_t LhaCrc16(const std::string& data)
{
    uint16_t crc = 0;
    for (const char ch : data) {
        crc ^= static_cast<uint8_t>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xa001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

std::string LhaLevel0Stored(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string out;
    for (const auto& [name, data] : entries) {
        std::string h = "-lh0-";
        h += Le32(static_cast<uint32_t>(data.size())) + Le32(static_cast<uint32_t>(data.size()));
        h += Le16(static_cast<uint16_t>((12 << 11) | (30 << 5)))
             + Le16(static_cast<uint16_t>((44 << 9) | (3 << 5) | 14));
        h += std::string("\x20\x00", 2);
        h += static_cast<char>(name.size());
        h += name + Le16(LhaCrc16(data));
        uint8_t sum = 0;
        for (const char ch : h)
            sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(ch));
        out += static_cast<char>(h.size());
        out += static_cast<char>(sum);
        out += h + data;
    }
    return out + std::string(1, '\0');
}

TEST(NamesTest, Cp932NamesInLhaAndArjArchives)
{
    ScratchDir dir;
    // "表\写真.txt" as written on Japanese Windows: 表 is 0x95 0x5C, so a byte-wise
    // backslash replacement would break it.
    const std::string hyou = "\x95\x5c", shashin = "\x8e\xca\x90\x5e";
    WriteFile(dir / "x.lzh", LhaLevel0Stored({{hyou + "\\" + shashin + ".txt", "photo"}, {"plain.txt", "p"}}));
    Library lha("libunlha32.so");
    std::string message;
    EXPECT_EQ(
        lha.Command("Unlha", "x -+ -c1 -jse1 -jso1  \"" + (dir / "x.lzh") + "\" \"" + (dir / "lha") + "/\" ", &message),
        ARC_OK)
        << message;
    EXPECT_EQ(FilesBelow(dir / "lha"),
              (std::map<std::string, std::string>{{"表/写真.txt", "photo"}, {"plain.txt", "p"}}));

    // arj on Linux keeps the name bytes as they are on disk.
    WriteFile(dir / ("src/" + hyou + "/" + shashin + ".txt"), "arj photo");
    ASSERT_SHELL_OK(dir / "src", "LC_ALL=C arj a -y -r ../x.arj '*'");
    Library arj("libunarj32j.so");
    EXPECT_EQ(
        arj.Command("Unarj", "x -+ -c1 -jse1 -jso1  \"" + (dir / "x.arj") + "\" \"" + (dir / "arj") + "/\" ", &message),
        ARC_OK)
        << message;
    EXPECT_EQ(FilesBelow(dir / "arj"), (std::map<std::string, std::string>{{"表/写真.txt", "arj photo"}}));
}

TEST(NamesTest, EncryptedEntriesAreReportedNotWritten)
{
    ScratchDir dir;
    WriteFile(dir / "src/secret.txt", "secret");
    ASSERT_SHELL_OK(dir / "src", "zip -q -P pw ../enc.zip secret.txt && arj a -y -gpw ../enc.arj secret.txt");
    Library zip("libunzip32.so"), arj("libunarj32j.so");
    std::string message;
    EXPECT_EQ(zip.Command("UnZip", ZipLine(dir / "enc.zip", dir / "z"), &message), ARC_ERROR_PASSWORD_FILE) << message;
    EXPECT_EQ(arj.Command("Unarj", LhaLine(dir / "enc.arj", dir / "a"), &message), ARC_ERROR_PASSWORD_FILE) << message;
    EXPECT_TRUE(FilesBelow(dir / "z").empty());
    EXPECT_TRUE(FilesBelow(dir / "a").empty());
}

// --- The entry points the binding looks up.

TEST(ExportsTest, EveryLibraryHasTheEntriesTheBindingLooksUp)
{
    const char* suffixes[] = {"OpenArchive",         "CloseArchive",    "FindFirst",        "FindNext",
                              "ExtractMem",          "CheckArchive",    "SetOwnerWindowEx", "KillOwnerWindowEx",
                              "GetWriteTimeEx",      "GetCreateTimeEx", "GetAccessTimeEx",  "GetOriginalSizeEx",
                              "GetCompressedSizeEx", "GetArchiveType"};
    const std::pair<const char*, const char*> libs[] = {
        {"libunlha32.so", "Unlha"},    {"libcab32.so", "Cab"},     {"libunarj32j.so", "Unarj"},
        {"libtar32.so", "Tar"},        {"libunrar32.so", "Unrar"}, {"libbga32.so", "Bga"},
        {"lib7-zip32.so", "SevenZip"}, {"libunzip32.so", "UnZip"}, {"liblmzip32.so", "Unzip"}};
    for (const auto& [file, prefix] : libs) {
        Library lib(file);
        ASSERT_TRUE(lib.loaded()) << file;
        EXPECT_NE(lib.Symbol(prefix), nullptr) << file << " " << prefix;
        for (const char* s : suffixes)
            EXPECT_NE(lib.Symbol(std::string(prefix) + s), nullptr) << file << " " << prefix << s;
    }
    // ZIP: UNZIP32 unpacks, ZIP32J packs and lists, LMZIP32 has both under "Unzip"/"Zip".
    Library unzip("libunzip32.so"), zip32j("libzip32j.so"), lmzip("liblmzip32.so");
    EXPECT_NE(unzip.Symbol("UnzipGetWriteTimeEx"), nullptr);
    EXPECT_EQ(unzip.Symbol("Zip"), nullptr);
    EXPECT_NE(zip32j.Symbol("Zip"), nullptr);
    EXPECT_NE(zip32j.Symbol("UnZipOpenArchive"), nullptr);
    EXPECT_NE(zip32j.Symbol("UnzipGetWriteTimeEx"), nullptr);
    EXPECT_EQ(zip32j.Symbol("UnZip"), nullptr);
    EXPECT_NE(lmzip.Symbol("Zip"), nullptr);
    EXPECT_NE(lmzip.Symbol("UnzipFindFirst"), nullptr);
    EXPECT_EQ(lmzip.Symbol("UnZipFindFirst"), nullptr);
}

// --- Listing, the entry record and the optional entries.

TEST(ListingTest, RecordAndOptionalEntriesDescribeEachEntry)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "touch -d '2021-06-15 10:20:30' a.txt && zip -qr ../x.zip a.txt sub");
    Library lib("libunzip32.so");
    auto open = lib.Get<ArcOpenArchiveProc>("UnZipOpenArchive");
    auto first = lib.Get<ArcFindFirstProc>("UnZipFindFirst");
    auto next = lib.Get<ArcFindNextProc>("UnZipFindNext");
    auto close = lib.Get<ArcCloseArchiveProc>("UnZipCloseArchive");
    auto writeTime = lib.Get<ArcGetTimeExProc>("UnzipGetWriteTimeEx");
    auto originalSize = lib.Get<ArcGetSizeExProc>("UnZipGetOriginalSizeEx");
    auto fileName = lib.Get<ArcGetFileNameProc>("UnZipGetFileName");
    const std::string path = files / "x.zip";
    ArcHandle h = open(0, path.c_str(), 0x800002);
    ASSERT_NE(h, 0u);
    ArcIndividualInfo info;
    std::memset(&info, 0x7f, sizeof(info));
    ASSERT_EQ(first(h, "*.txt", &info), 0);
    EXPECT_STREQ(info.fileName, "a.txt");
    EXPECT_EQ(info.originalSize, files.a().size());
    // DOS date 2021-06-15, time 10:20:30 (local time, as the archive stores it).
    EXPECT_EQ(info.dosDate, (41 << 9) | (6 << 5) | 15);
    EXPECT_EQ(info.dosTime, (10 << 11) | (20 << 5) | 15);
    uint64_t size = 0;
    EXPECT_NE(originalSize(h, &size), 0);
    EXPECT_EQ(size, files.a().size());
    ArcFileTime ft{};
    EXPECT_NE(writeTime(h, &ft), 0);
    EXPECT_GT(ft.high, 0u);
    char name[64];
    EXPECT_EQ(fileName(h, name, sizeof(name)), 0);
    EXPECT_STREQ(name, "a.txt");
    EXPECT_EQ(fileName(h, name, 3), ARC_ERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(next(h, &info), -1); // the wildcard leaves out sub/b.bin and the folder
    // FindFirst starts over.
    std::vector<std::string> all;
    for (int r = first(h, "*", &info); r == 0; r = next(h, &info))
        all.push_back(info.fileName);
    EXPECT_EQ(all, (std::vector<std::string>{"a.txt", "sub/", "sub/b.bin"}));
    EXPECT_EQ(close(h), 0);
    // A closed or made-up handle is refused, not followed.
    EXPECT_NE(close(h), 0);
    EXPECT_NE(next(h, &info), 0);
    EXPECT_NE(next(static_cast<ArcHandle>(0x1234), &info), 0);
    EXPECT_EQ(open(0, (files / "missing.zip").c_str(), 0), 0u);
}

// --- Archive checks and types from the contents, not the names.

TEST(DetectionTest, CheckArchiveAndArchiveTypeLookAtTheContents)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(),
                    "zip -q ../x.zip a.txt && cp ../x.zip ../zip-named.lzh && jlha ao5 ../x.lzh a.txt && "
                    "tar cf ../x.tar a.txt && gzip -c ../x.tar > ../x.tgz && compress -c ../x.tar > ../x.taz && "
                    "gzip -c a.txt > ../a.gz && compress -c a.txt > ../a.Z && bzip2 -c ../x.tar > ../x.tbz && "
                    "bzip2 -c a.txt > ../a.bz2 && cp ../x.tgz ../tgz-named.zip && "
                    "printf 'a.txt\\n' | cpio -o -H newc > ../x.cpio && ar rc ../x.a a.txt && "
                    "arj a -y ../x.arj a.txt && gcab -c ../x.cab a.txt && 7z a -bd ../x.7z a.txt");
    struct Probe {
        const char* library;
        const char* prefix;
        const char* file;
        bool accepted;
    };
    const Probe probes[] = {
        {"libunlha32.so", "Unlha", "x.lzh", true},
        {"libunlha32.so", "Unlha", "zip-named.lzh", false},
        {"libunlha32.so", "Unlha", "x.arj", false},
        {"libunzip32.so", "UnZip", "x.zip", true},
        {"libunzip32.so", "UnZip", "tgz-named.zip", false},
        {"libunzip32.so", "UnZip", "x.lzh", false},
        {"libunarj32j.so", "Unarj", "x.arj", true},
        {"libunarj32j.so", "Unarj", "x.lzh", false},
        {"libcab32.so", "Cab", "x.cab", true},
        {"libcab32.so", "Cab", "x.zip", false},
        {"libunrar32.so", "Unrar", "x.zip", false},
        {"libbga32.so", "Bga", "x.zip", false},
        {"libtar32.so", "Tar", "x.tgz", true},
        {"libtar32.so", "Tar", "x.zip", false},
        {"libtar32.so", "Tar", "a.txt", false},
        {"lib7-zip32.so", "SevenZip", "x.7z", true},
        {"lib7-zip32.so", "SevenZip", "x.lzh", false},
    };
    for (const auto& p : probes) {
        Library lib(p.library);
        auto check = lib.Get<ArcCheckArchiveProc>(std::string(p.prefix) + "CheckArchive");
        auto open = lib.Get<ArcOpenArchiveProc>(std::string(p.prefix) + "OpenArchive");
        auto close = lib.Get<ArcCloseArchiveProc>(std::string(p.prefix) + "CloseArchive");
        const std::string path = p.file == std::string("a.txt") ? files.src() + "/a.txt" : files / p.file;
        EXPECT_EQ(check(path.c_str(), 16) != 0, p.accepted) << p.library << " " << p.file;
        const ArcHandle h = open(0, path.c_str(), 0x800002);
        EXPECT_EQ(h != 0, p.accepted) << p.library << " " << p.file;
        if (h != 0)
            close(h);
    }
    Library tar("libtar32.so");
    auto type = tar.Get<ArcGetArchiveTypeProc>("TarGetArchiveType");
    EXPECT_EQ(type((files / "x.tar").c_str()), ARC_TYPE_TAR);
    EXPECT_EQ(type((files / "x.tgz").c_str()), ARC_TYPE_TARGZ);
    EXPECT_EQ(type((files / "tgz-named.zip").c_str()), ARC_TYPE_TARGZ);
    EXPECT_EQ(type((files / "x.taz").c_str()), ARC_TYPE_TARZ);
    EXPECT_EQ(type((files / "a.gz").c_str()), ARC_TYPE_GZ);
    EXPECT_EQ(type((files / "a.Z").c_str()), ARC_TYPE_Z);
    EXPECT_EQ(type((files / "x.tbz").c_str()), ARC_TYPE_TARBZ2);
    EXPECT_EQ(type((files / "a.bz2").c_str()), ARC_TYPE_BZ2);
    EXPECT_EQ(type((files / "x.cpio").c_str()), ARC_TYPE_CPIO);
    EXPECT_EQ(type((files / "x.a").c_str()), ARC_TYPE_AR);
    EXPECT_EQ(type((files / "x.zip").c_str()), ARC_TYPE_NONE);
    EXPECT_EQ(type((files / "missing").c_str()), ARC_TYPE_NONE);
    Library lha("libunlha32.so");
    EXPECT_EQ(lha.Get<ArcGetArchiveTypeProc>("UnlhaGetArchiveType")((files / "x.lzh").c_str()), ARC_TYPE_OWN);
    EXPECT_EQ(lha.Get<ArcGetArchiveTypeProc>("UnlhaGetArchiveType")((files / "zip-named.lzh").c_str()), ARC_TYPE_NONE);
}

TEST(DetectionTest, FullCheckFindsDamagedDataThatTheHeadersHide)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "zip -q0 ../x.zip a.txt && arj a -m1 -y ../x.arj a.txt");
    // Flip bytes in the middle of the stored data: headers stay intact.
    for (const char* name : {"x.zip", "x.arj"}) {
        std::string data = ReadFile(files / name);
        data[data.size() / 2] = static_cast<char>(data[data.size() / 2] ^ 0x5a);
        data[data.size() / 2 + 1] = static_cast<char>(data[data.size() / 2 + 1] ^ 0x33);
        WriteFile(files / name, data);
    }
    Library zip("libunzip32.so"), arj("libunarj32j.so");
    auto zipCheck = zip.Get<ArcCheckArchiveProc>("UnZipCheckArchive");
    auto arjCheck = arj.Get<ArcCheckArchiveProc>("UnarjCheckArchive");
    EXPECT_NE(zipCheck((files / "x.zip").c_str(), ARC_CHECK_BASIC), 0);
    EXPECT_EQ(zipCheck((files / "x.zip").c_str(), ARC_CHECK_FULLCRC), 0);
    EXPECT_EQ(arjCheck((files / "x.arj").c_str(), ARC_CHECK_FULLCRC), 0);
    // Extraction reports the damage and leaves no file behind.
    std::string message;
    EXPECT_NE(zip.Command("UnZip", ZipLine(files / "x.zip", files / "zo"), &message), ARC_OK);
    EXPECT_TRUE(FilesBelow(files / "zo").empty());
    EXPECT_NE(arj.Command("Unarj", LhaLine(files / "x.arj", files / "ao"), &message), ARC_OK) << message;
    EXPECT_TRUE(FilesBelow(files / "ao").empty());
}

TEST(DetectionTest, SelfExtractingArchivesAreFoundBehindTheirStub)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(),
                    "jlha ao5 ../x.lzh a.txt && gcab -c -z ../x.cab a.txt && arj a -m1 -y ../x.arj a.txt && "
                    "zip -q ../x.zip a.txt");
    WriteFile(files / "x.gza", BgaArchive({{"", "a.txt", files.a(), false, false}}));
    // A stand-in for the program part of a self-extracting archive.
    const std::string stub = "MZ" + Binary(30000, 77);
    struct Sfx {
        const char* library;
        const char* prefix;
        const char* archive;
    };
    const Sfx cases[] = {{"libunlha32.so", "Unlha", "x.lzh"},
                         {"libcab32.so", "Cab", "x.cab"},
                         {"libunarj32j.so", "Unarj", "x.arj"},
                         {"libbga32.so", "Bga", "x.gza"},
                         {"libunzip32.so", "UnZip", "x.zip"}};
    for (const auto& c : cases) {
        const std::string exe = files / (std::string(c.archive) + ".exe");
        WriteFile(exe, stub + ReadFile(files / c.archive));
        if (std::string(c.archive) == "x.zip") {
            ASSERT_SHELL_OK(files.src(), "zip -qA " + Quote(exe));
        }
        Library lib(c.library);
        EXPECT_NE(lib.Get<ArcCheckArchiveProc>(std::string(c.prefix) + "CheckArchive")(exe.c_str(), 16), 0) << exe;
        const std::string out = files / (std::string("out-") + c.archive);
        const std::string line = std::string(c.prefix) == "UnZip" ? ZipLine(exe, out)
                                 : std::string(c.prefix) == "Cab" ? ZipLine(exe, out)
                                 : std::string(c.prefix) == "Bga" ? BgaLine(exe, out)
                                                                  : LhaLine(exe, out);
        std::string message;
        EXPECT_EQ(lib.Command(c.prefix, line, &message), ARC_OK) << exe << ": " << message;
        EXPECT_EQ(FilesBelow(out), (std::map<std::string, std::string>{{"a.txt", files.a()}})) << exe;
    }
}

// --- Command language details.

TEST(CommandTest, OverwriteSwitchesDecideAboutExistingFiles)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "zip -q ../x.zip a.txt && 7z a -bd ../x.7z a.txt && jlha ao5 ../x.lzh a.txt");
    Library zip("libunzip32.so"), sz("lib7-zip32.so"), lha("libunlha32.so");
    const std::string out = files / "out";
    WriteFile(out + "/a.txt", "old");
    // No overwrite switch: the existing file is kept, and the message says so.
    std::string message;
    EXPECT_EQ(zip.Command("UnZip", "-x -j  \"" + (files / "x.zip") + "\" \"" + out + "/\" ", &message), ARC_OK);
    EXPECT_EQ(ReadFile(out + "/a.txt"), "old");
    EXPECT_NE(message.find("kept"), std::string::npos);
    EXPECT_EQ(lha.Command("Unlha", "x -+ -x0 -jse1 -jso1  \"" + (files / "x.lzh") + "\" \"" + out + "/\" "), ARC_OK);
    EXPECT_EQ(ReadFile(out + "/a.txt"), "old");
    // 7-Zip's -aou keeps the old file and renames the new one.
    EXPECT_EQ(sz.Command("SevenZip", "e -aou \"-o" + out + "/\"  \"" + (files / "x.7z") + "\" "), ARC_OK);
    EXPECT_EQ(ReadFile(out + "/a.txt"), "old");
    EXPECT_EQ(ReadFile(out + "/a_1.txt"), files.a());
    // The viewer's command lines overwrite.
    EXPECT_EQ(lha.Command("Unlha", LhaLine(files / "x.lzh", out)), ARC_OK);
    EXPECT_EQ(ReadFile(out + "/a.txt"), files.a());
}

TEST(CommandTest, PathsFileListsMasksAndResponseFiles)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "jlha ao5 ../x.lzh a.txt sub/b.bin empty.txt && zip -qr ../x.zip a.txt sub empty.txt");
    Library lha("libunlha32.so"), zip("libunzip32.so");
    // "x" without -x0 keeps folders; "e" drops them.
    EXPECT_EQ(
        lha.Command("Unlha", "x -+ -c1 -jse1 -jso1  \"" + (files / "x.lzh") + "\" \"" + (files / "tree") + "/\" "),
        ARC_OK);
    EXPECT_EQ(FilesBelow(files / "tree").count("sub/b.bin"), 1u);
    EXPECT_EQ(lha.Command("Unlha", "e -+ -c1 -jso1  \"" + (files / "x.lzh") + "\" \"" + (files / "flat") + "/\" "),
              ARC_OK);
    EXPECT_EQ(FilesBelow(files / "flat").count("b.bin"), 1u);
    // File names and masks after the folder.
    EXPECT_EQ(lha.Command("Unlha", LhaLine(files / "x.lzh", files / "mask") + "\"*.bin\" "), ARC_OK);
    EXPECT_EQ(FilesBelow(files / "mask"), (std::map<std::string, std::string>{{"b.bin", files.b()}}));
    // A response file names the files, one quoted name a line, CR LF.
    WriteFile(files / "list.txt", "\"a.txt\"\r\n\"empty.txt\"\r\n");
    EXPECT_EQ(zip.Command("UnZip", ZipLine(files / "x.zip", files / "res") + "\"@" + (files / "list.txt") + "\" "),
              ARC_OK);
    EXPECT_EQ(FilesBelow(files / "res"), (std::map<std::string, std::string>{{"a.txt", files.a()}, {"empty.txt", ""}}));
    // A missing response file is an error, not "every file".
    EXPECT_EQ(zip.Command("UnZip", ZipLine(files / "x.zip", files / "res2") + "\"@" + (files / "nope.txt") + "\" "),
              ARC_ERROR_BAD_COMMAND);
    EXPECT_TRUE(FilesBelow(files / "res2").empty());
    // Listing goes to the output buffer.
    std::string message;
    EXPECT_EQ(zip.Command("UnZip", "-l \"" + (files / "x.zip") + "\"", &message), ARC_OK);
    EXPECT_NE(message.find("sub/b.bin"), std::string::npos);
}

TEST(CommandTest, OutputBufferIsNeverOverrun)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "zip -qr ../x.zip a.txt sub empty.txt");
    Library zip("libunzip32.so");
    auto command = zip.Get<ArcCommandProc>("UnZip");
    const std::string list = "-l \"" + (files / "x.zip") + "\"";
    char buffer[32];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(command(0, list.c_str(), buffer, 8), ARC_OK);
    EXPECT_EQ(std::strlen(buffer), 7u);
    for (size_t i = 8; i < sizeof(buffer); ++i)
        EXPECT_EQ(buffer[i], '#');
    EXPECT_EQ(command(0, list.c_str(), nullptr, 0), ARC_OK);
    EXPECT_EQ(command(0, list.c_str(), buffer, 1), ARC_OK);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(command(0, nullptr, buffer, sizeof(buffer)), ARC_ERROR_BAD_COMMAND);
}

TEST(CommandTest, BadAndUnsupportedCommandsAreErrors)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "jlha ao5 ../x.lzh a.txt");
    Library lha("libunlha32.so"), cab("libcab32.so");
    std::string message;
    EXPECT_EQ(lha.Command("Unlha", "x -+ \"" + (files / "x.lzh"), &message), ARC_ERROR_BAD_COMMAND);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(lha.Command("Unlha", "q \"" + (files / "x.lzh") + "\""), ARC_ERROR_BAD_COMMAND);
    EXPECT_EQ(lha.Command("Unlha", "x -+ -jse1 -jso1"), ARC_ERROR_BAD_COMMAND);
    // Packing LHA or CAB archives is not available: said so, nothing written.
    EXPECT_EQ(lha.Command("Unlha", "u -+ -jso1  \"" + (files / "new.lzh") + "\" \"" + files.src() + "/\" \"a.txt\""),
              ARC_ERROR_NOT_SUPPORT);
    EXPECT_FALSE(PathExists(files / "new.lzh"));
    EXPECT_EQ(cab.Command("Cab", "-a  \"" + (files / "new.cab") + "\" \"" + files.src() + "/\" \"a.txt\""),
              ARC_ERROR_NOT_SUPPORT);
}

TEST(ExtractMemTest, OneEntryIntoMemory)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "jlha ao5 ../x.lzh a.txt sub/b.bin && arj a -m4 -y ../x.arj a.txt sub/b.bin");
    for (const auto& [file, prefix, archive] :
         {std::tuple{"libunlha32.so", "Unlha", "x.lzh"}, std::tuple{"libunarj32j.so", "Unarj", "x.arj"}}) {
        Library lib(file);
        auto mem = lib.Get<ArcExtractMemProc>(std::string(prefix) + "ExtractMem");
        ASSERT_NE(mem, nullptr);
        // The LHA builder's command line without a command word.
        const std::string line = " -+ -jso1  \"" + (files / archive) + "\" \"sub/b.bin\" ";
        std::vector<uint8_t> buffer(files.b().size() + 10);
        uint32_t written = 0;
        EXPECT_EQ(mem(0, line.c_str(), buffer.data(), static_cast<uint32_t>(buffer.size()), nullptr, nullptr, &written),
                  ARC_OK);
        ASSERT_EQ(written, files.b().size());
        EXPECT_EQ(std::memcmp(buffer.data(), files.b().data(), written), 0);
        EXPECT_EQ(mem(0, line.c_str(), buffer.data(), 100, nullptr, nullptr, &written), ARC_ERROR_BUFFER_TOO_SMALL);
        EXPECT_EQ(written, 100u);
        const std::string missing = " -+ -jso1  \"" + (files / archive) + "\" \"nope.bin\" ";
        EXPECT_EQ(mem(0, missing.c_str(), buffer.data(), 100, nullptr, nullptr, &written), ARC_ERROR_NOT_EXIST);
    }
}

} // namespace
