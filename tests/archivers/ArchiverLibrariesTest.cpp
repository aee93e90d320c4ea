// The archiver libraries loaded as the program loads them (dlopen from the
// program folder) and driven with the command lines the format handlers
// write, on archives made by the real archiving tools.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "ArchiverTestSupport.h"
#include "archive/ArchiverAbi.h"

using namespace arctest;

namespace {

std::string Words(size_t bytes, uint32_t seed) {
  static const char* kWords[] = {"picture", "archive", "folder", "viewer", "image", "slide",
                                 "page",    "book",    "東京",   "写真",   "zip",   "lzh"};
  std::string s;
  uint32_t x = seed;
  while (s.size() < bytes) {
    x = x * 1103515245u + 12345u;
    s += kWords[(x >> 16) % 12];
    s += (x >> 8) % 7 == 0 ? "\n" : " ";
  }
  s.resize(bytes);
  return s;
}

std::string Binary(size_t bytes, uint32_t seed) {
  std::string s(bytes, '\0');
  uint32_t x = seed;
  for (size_t i = 0; i < bytes; ++i) {
    x = x * 1664525u + 1013904223u;
    s[i] = static_cast<char>(i % 97 < 40 ? (x >> 24) : (i & 0xff));
  }
  return s;
}

// A folder of sources for the archives: a.txt, sub/b.bin, empty.txt.
class SourceFiles {
 public:
  SourceFiles() {
    a_ = Words(70000, 7);
    b_ = Binary(50000, 11);
    WriteFile(dir_ / "src/a.txt", a_);
    WriteFile(dir_ / "src/sub/b.bin", b_);
    WriteFile(dir_ / "src/empty.txt", "");
  }
  std::string src() const { return dir_ / "src"; }
  std::string operator/(const std::string& n) const { return dir_ / n; }
  const std::string& a() const { return a_; }
  const std::string& b() const { return b_; }
  std::map<std::string, std::string> Flat() const {
    return {{"a.txt", a_}, {"b.bin", b_}, {"empty.txt", ""}};
  }

 private:
  ScratchDir dir_;
  std::string a_, b_;
};

// Extraction command lines exactly as the format handlers write them for the
// viewer (archive A, destination folder D with its separator).
std::string LhaLine(const std::string& a, const std::string& d) {
  return "x -+ -c1 -x0 -jse1 -jso1  \"" + a + "\" \"" + d + "/\" ";
}
std::string ZipLine(const std::string& a, const std::string& d) {
  return "-x -o -j  \"" + a + "\" \"" + d + "/\" ";
}
std::string TarLine(const std::string& a, const std::string& d, const std::string& extra) {
  return "x --use-directory=0" + extra + "  -f \"" + a + "\" -o \"" + d + "/\" ";
}
std::string RarLine(const std::string& a, const std::string& d) { return "-e  \"" + a + "\" \"" + d + "/\" "; }
std::string BgaLine(const std::string& a, const std::string& d) {
  return "x -o -j  \"" + a + "\" \"" + d + "/\" ";
}
std::string SevenZipLine(const std::string& a, const std::string& d) {
  return "e -aoa \"-o" + d + "/\"  \"" + a + "\" ";
}

struct FormatCase {
  const char* label;
  const char* library;
  const char* entry;
  const char* archive;
  const char* make;  // shell, run in the source folder
  enum Line { Lha, Zip, Tar, TarZ, TarB, Rar, Bga, SevenZip } line;
  bool single;  // holds a.txt only
};

std::string LineFor(const FormatCase& c, const std::string& a, const std::string& d) {
  switch (c.line) {
    case FormatCase::Lha: return LhaLine(a, d);
    case FormatCase::Zip: return ZipLine(a, d);
    case FormatCase::Tar: return TarLine(a, d, "");
    case FormatCase::TarZ: return TarLine(a, d, " -z");
    case FormatCase::TarB: return TarLine(a, d, " -B");
    case FormatCase::Rar: return RarLine(a, d);
    case FormatCase::Bga: return BgaLine(a, d);
    case FormatCase::SevenZip: return SevenZipLine(a, d);
  }
  return {};
}

const FormatCase kFormats[] = {
    {"lha_lh0", "libunlha32.so", "Unlha", "x.lzh", "jlha az ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"lha_lh5", "libunlha32.so", "Unlha", "x.lzh", "jlha ao5 ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"lha_lh6", "libunlha32.so", "Unlha", "x.lzh", "jlha ao6 ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"lha_lh7", "libunlha32.so", "Unlha", "x.lzh", "jlha ao7 ../x.lzh a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"zip_deflate", "libunzip32.so", "UnZip", "x.zip", "zip -qr ../x.zip a.txt sub empty.txt", FormatCase::Zip, false},
    {"zip_stored", "libunzip32.so", "UnZip", "x.zip", "zip -qr0 ../x.zip a.txt sub empty.txt", FormatCase::Zip, false},
    {"zip_lmzip", "liblmzip32.so", "Unzip", "x.zip", "zip -qr ../x.zip a.txt sub empty.txt", FormatCase::Zip, false},
    {"cab_mszip", "libcab32.so", "Cab", "x.cab", "gcab -c -z ../x.cab a.txt sub/b.bin empty.txt", FormatCase::Zip, false},
    {"cab_stored", "libcab32.so", "Cab", "x.cab", "gcab -c ../x.cab a.txt sub/b.bin empty.txt", FormatCase::Zip, false},
    {"arj_m0", "libunarj32j.so", "Unarj", "x.arj", "arj a -m0 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"arj_m1", "libunarj32j.so", "Unarj", "x.arj", "arj a -m1 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"arj_m2", "libunarj32j.so", "Unarj", "x.arj", "arj a -m2 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"arj_m3", "libunarj32j.so", "Unarj", "x.arj", "arj a -m3 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"arj_m4", "libunarj32j.so", "Unarj", "x.arj", "arj a -m4 -y ../x.arj a.txt sub/b.bin empty.txt", FormatCase::Lha, false},
    {"tar", "libtar32.so", "Tar", "x.tar", "tar cf ../x.tar a.txt sub empty.txt", FormatCase::Tar, false},
    {"tgz", "libtar32.so", "Tar", "x.tgz", "tar czf ../x.tgz a.txt sub empty.txt", FormatCase::TarZ, false},
    {"taz", "libtar32.so", "Tar", "x.taz", "tar cf - a.txt sub empty.txt | compress -c > ../x.taz", FormatCase::TarZ, false},
    {"tar_xz", "libtar32.so", "Tar", "x.tar.xz", "tar cJf ../x.tar.xz a.txt sub empty.txt", FormatCase::Tar, false},
    {"gz", "libtar32.so", "Tar", "a.txt.gz", "gzip -c a.txt > ../a.txt.gz", FormatCase::TarZ, true},
    {"Z", "libtar32.so", "Tar", "a.txt.Z", "compress -c a.txt > ../a.txt.Z", FormatCase::TarZ, true},
    {"tar_bz2", "libtar32.so", "Tar", "x.tar.bz2", "tar cjf ../x.tar.bz2 a.txt sub empty.txt", FormatCase::TarB, false},
    {"bz2", "libtar32.so", "Tar", "a.txt.bz2", "bzip2 -c a.txt > ../a.txt.bz2", FormatCase::TarB, true},
    {"cpio", "libtar32.so", "Tar", "x.cpio", "printf 'a.txt\\nsub\\nsub/b.bin\\nempty.txt\\n' | cpio -o -H newc > ../x.cpio", FormatCase::Tar, false},
    {"ar", "libtar32.so", "Tar", "x.a", "ar rc ../x.a a.txt sub/b.bin empty.txt", FormatCase::Tar, false},
    {"sevenzip", "lib7-zip32.so", "SevenZip", "x.7z", "7z a -bd ../x.7z a.txt sub empty.txt", FormatCase::SevenZip, false},
};

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, ViewerCommandExtractsEveryFileFlat) {
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
  auto check = lib.Get<ArcCheckArchiveProc>(std::string(c.entry == std::string("Unzip") ? "Unzip" : c.entry) +
                                            "CheckArchive");
  ASSERT_NE(check, nullptr);
  EXPECT_NE(check((files / c.archive).c_str(), ARC_CHECK_FULLCRC), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.label); });

// --- BGA: no tool exists, so the archives are written here from the format's layout.

struct BgaEntry {
  std::string dir, name, data;
  bool bzip;
  bool stored;
};

std::string Le16(uint16_t v) { return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(static_cast<uint16_t>(v & 0xffff)) + Le16(static_cast<uint16_t>(v >> 16)); }

std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Bzip2(const std::string& data) {
  unsigned size = static_cast<unsigned>(data.size() + data.size() / 100 + 700);
  std::string out(size, '\0');
  BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(data.data()),
                           static_cast<unsigned>(data.size()), 9, 0, 0);
  out.resize(size);
  return out;
}

std::string BgaArchive(const std::vector<BgaEntry>& entries) {
  std::string archive;
  for (const auto& e : entries) {
    const std::string body = e.stored ? e.data : (e.bzip ? Bzip2(e.data) : RawDeflate(e.data));
    std::string h = std::string(e.bzip ? std::string("BZ2\0", 4) : std::string("GZIP")) +
                    Le32(static_cast<uint32_t>(body.size())) + Le32(static_cast<uint32_t>(e.data.size())) +
                    Le16(static_cast<uint16_t>((44 << 9) | (3 << 5) | 14)) +  // 2024-03-14
                    Le16(static_cast<uint16_t>((12 << 11) | (30 << 5))) +    // 12:30:00
                    std::string(1, '\x20') + std::string(1, '\0') + Le16(e.stored ? 0 : 1) +
                    Le16(static_cast<uint16_t>(e.dir.size())) + Le16(static_cast<uint16_t>(e.name.size())) +
                    e.dir + e.name;
    uint32_t sum = 0;
    for (const char ch : h) sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(ch)));
    archive += Le32(sum) + h + body;
  }
  return archive;
}

TEST(BgaTest, GzaAndBzaEntriesAreExtractedWithAndWithoutFolders) {
  ScratchDir dir;
  const std::string a = Words(40000, 3), b = Binary(30000, 5), c = Words(1000, 9);
  // Names as a Japanese Windows archiver stores them: CP932 bytes, backslashes.
  const std::string cp932Folder = "\x95\x5c\\";  // 表\ (0x5C is the second byte of 表)
  WriteFile(dir / "x.gza", BgaArchive({{"", "a.txt", a, false, false},
                                       {"sub\\", "b.bin", b, false, false},
                                       {cp932Folder, "c.txt", c, false, true}}));
  WriteFile(dir / "x.bza", BgaArchive({{"", "a.txt", a, true, false}, {"sub\\", "b.bin", b, true, false}}));
  Library lib("libbga32.so");
  ASSERT_TRUE(lib.loaded());
  std::string message;
  EXPECT_EQ(lib.Command("Bga", BgaLine(dir / "x.gza", dir / "flat"), &message), ARC_OK) << message;
  EXPECT_EQ(FilesBelow(dir / "flat"),
            (std::map<std::string, std::string>{{"a.txt", a}, {"b.bin", b}, {"c.txt", c}}));
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

TEST(RarTest, JapaneseNamesAndRarHoldingAZip) {
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
  for (int r = first(h, "*", &info); r == 0; r = next(h, &info)) names.push_back(info.fileName);
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

TEST(NamesTest, Cp932ZipNamesBecomeUtf8) {
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
uint16_t LhaCrc16(const std::string& data) {
  uint16_t crc = 0;
  for (const char ch : data) {
    crc ^= static_cast<uint8_t>(ch);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xa001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

std::string LhaLevel0Stored(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out;
  for (const auto& [name, data] : entries) {
    std::string h = "-lh0-";
    h += Le32(static_cast<uint32_t>(data.size())) + Le32(static_cast<uint32_t>(data.size()));
    h += Le16(static_cast<uint16_t>((12 << 11) | (30 << 5))) + Le16(static_cast<uint16_t>((44 << 9) | (3 << 5) | 14));
    h += std::string("\x20\x00", 2);
    h += static_cast<char>(name.size());
    h += name + Le16(LhaCrc16(data));
    uint8_t sum = 0;
    for (const char ch : h) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(ch));
    out += static_cast<char>(h.size());
    out += static_cast<char>(sum);
    out += h + data;
  }
  return out + std::string(1, '\0');
}

TEST(NamesTest, Cp932NamesInLhaAndArjArchives) {
  ScratchDir dir;
  // "表\写真.txt" as written on Japanese Windows: 表 is 0x95 0x5C, so a byte-wise
  // backslash replacement would break it.
  const std::string hyou = "\x95\x5c", shashin = "\x8e\xca\x90\x5e";
  WriteFile(dir / "x.lzh", LhaLevel0Stored({{hyou + "\\" + shashin + ".txt", "photo"}, {"plain.txt", "p"}}));
  Library lha("libunlha32.so");
  std::string message;
  EXPECT_EQ(lha.Command("Unlha", "x -+ -c1 -jse1 -jso1  \"" + (dir / "x.lzh") + "\" \"" + (dir / "lha") + "/\" ", &message),
            ARC_OK)
      << message;
  EXPECT_EQ(FilesBelow(dir / "lha"),
            (std::map<std::string, std::string>{{"表/写真.txt", "photo"}, {"plain.txt", "p"}}));

  // arj on Linux keeps the name bytes as they are on disk.
  WriteFile(dir / ("src/" + hyou + "/" + shashin + ".txt"), "arj photo");
  ASSERT_SHELL_OK(dir / "src", "LC_ALL=C arj a -y -r ../x.arj '*'");
  Library arj("libunarj32j.so");
  EXPECT_EQ(arj.Command("Unarj", "x -+ -c1 -jse1 -jso1  \"" + (dir / "x.arj") + "\" \"" + (dir / "arj") + "/\" ", &message),
            ARC_OK)
      << message;
  EXPECT_EQ(FilesBelow(dir / "arj"), (std::map<std::string, std::string>{{"表/写真.txt", "arj photo"}}));
}

TEST(NamesTest, EncryptedEntriesAreReportedNotWritten) {
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

TEST(ExportsTest, EveryLibraryHasTheEntriesTheBindingLooksUp) {
  const char* suffixes[] = {"OpenArchive",     "CloseArchive",    "FindFirst",         "FindNext",
                            "ExtractMem",      "CheckArchive",    "SetOwnerWindowEx",  "KillOwnerWindowEx",
                            "GetWriteTimeEx",  "GetCreateTimeEx", "GetAccessTimeEx",   "GetOriginalSizeEx",
                            "GetCompressedSizeEx", "GetArchiveType"};
  const std::pair<const char*, const char*> libs[] = {
      {"libunlha32.so", "Unlha"}, {"libcab32.so", "Cab"},   {"libunarj32j.so", "Unarj"}, {"libtar32.so", "Tar"},
      {"libunrar32.so", "Unrar"}, {"libbga32.so", "Bga"},   {"lib7-zip32.so", "SevenZip"},
      {"libunzip32.so", "UnZip"}, {"liblmzip32.so", "Unzip"}};
  for (const auto& [file, prefix] : libs) {
    Library lib(file);
    ASSERT_TRUE(lib.loaded()) << file;
    EXPECT_NE(lib.Symbol(prefix), nullptr) << file << " " << prefix;
    for (const char* s : suffixes) EXPECT_NE(lib.Symbol(std::string(prefix) + s), nullptr) << file << " " << prefix << s;
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

TEST(ListingTest, RecordAndOptionalEntriesDescribeEachEntry) {
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
  EXPECT_EQ(next(h, &info), -1);  // the wildcard leaves out sub/b.bin and the folder
  // FindFirst starts over.
  std::vector<std::string> all;
  for (int r = first(h, "*", &info); r == 0; r = next(h, &info)) all.push_back(info.fileName);
  EXPECT_EQ(all, (std::vector<std::string>{"a.txt", "sub/", "sub/b.bin"}));
  EXPECT_EQ(close(h), 0);
  // A closed or made-up handle is refused, not followed.
  EXPECT_NE(close(h), 0);
  EXPECT_NE(next(h, &info), 0);
  EXPECT_NE(next(static_cast<ArcHandle>(0x1234), &info), 0);
  EXPECT_EQ(open(0, (files / "missing.zip").c_str(), 0), 0u);
}

// --- Archive checks and types from the contents, not the names.

TEST(DetectionTest, CheckArchiveAndArchiveTypeLookAtTheContents) {
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
      {"libunlha32.so", "Unlha", "x.lzh", true},     {"libunlha32.so", "Unlha", "zip-named.lzh", false},
      {"libunlha32.so", "Unlha", "x.arj", false},    {"libunzip32.so", "UnZip", "x.zip", true},
      {"libunzip32.so", "UnZip", "tgz-named.zip", false}, {"libunzip32.so", "UnZip", "x.lzh", false},
      {"libunarj32j.so", "Unarj", "x.arj", true},    {"libunarj32j.so", "Unarj", "x.lzh", false},
      {"libcab32.so", "Cab", "x.cab", true},         {"libcab32.so", "Cab", "x.zip", false},
      {"libunrar32.so", "Unrar", "x.zip", false},    {"libbga32.so", "Bga", "x.zip", false},
      {"libtar32.so", "Tar", "x.tgz", true},         {"libtar32.so", "Tar", "x.zip", false},
      {"libtar32.so", "Tar", "a.txt", false},        {"lib7-zip32.so", "SevenZip", "x.7z", true},
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
    if (h != 0) close(h);
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

TEST(DetectionTest, FullCheckFindsDamagedDataThatTheHeadersHide) {
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

TEST(DetectionTest, SelfExtractingArchivesAreFoundBehindTheirStub) {
  SourceFiles files;
  ASSERT_SHELL_OK(files.src(), "jlha ao5 ../x.lzh a.txt && gcab -c -z ../x.cab a.txt && arj a -m1 -y ../x.arj a.txt && "
                               "zip -q ../x.zip a.txt");
  WriteFile(files / "x.gza", BgaArchive({{"", "a.txt", files.a(), false, false}}));
  // A stand-in for the program part of a self-extracting archive.
  const std::string stub = "MZ" + Binary(30000, 77);
  struct Sfx {
    const char* library;
    const char* prefix;
    const char* archive;
  };
  const Sfx cases[] = {{"libunlha32.so", "Unlha", "x.lzh"}, {"libcab32.so", "Cab", "x.cab"},
                       {"libunarj32j.so", "Unarj", "x.arj"}, {"libbga32.so", "Bga", "x.gza"},
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

// --- Hostile archives.

TEST(SafetyTest, DotDotAndAbsoluteNamesStayInsideTheDestination) {
  ScratchDir dir;
  WriteFile(dir / "work/zz/e.txt", "evil");
  WriteFile(dir / "work/abs/victim.txt", "abs");
  // ZIP with "../e.txt": made by zip, then the stored name is rewritten.
  ASSERT_SHELL_OK(dir / "work", "zip -q ../dotdot.zip zz/e.txt");
  PatchBytes(dir / "dotdot.zip", "zz/e.txt", "../e.txt");
  // TAR with an absolute name and "../../" (GNU tar keeps them with -P).
  const std::string absolute = dir / "work/abs/victim.txt";
  ASSERT_SHELL_OK(dir / "work", "tar -cPf ../hostile.tar " + Quote(absolute) + " zz/../zz/e.txt");
  ASSERT_SHELL_OK(dir / "work", "tar -rPf ../hostile.tar --transform 's,^zz/e,../../up,' zz/e.txt");
  std::remove(absolute.c_str());

  Library zip("libunzip32.so"), tar("libtar32.so");
  std::string message;
  EXPECT_EQ(zip.Command("UnZip", "-x -o  \"" + (dir / "dotdot.zip") + "\" \"" + (dir / "out/zip") + "/\" ", &message),
            ARC_OK)
      << message;
  EXPECT_EQ(FilesBelow(dir / "out/zip"), (std::map<std::string, std::string>{{"e.txt", "evil"}}));
  EXPECT_FALSE(PathExists(dir / "out/e.txt"));

  EXPECT_EQ(tar.Command("Tar", "x  -f \"" + (dir / "hostile.tar") + "\" -o \"" + (dir / "out/tar") + "/\" ", &message),
            ARC_OK)
      << message;
  const auto got = FilesBelow(dir / "out/tar");
  EXPECT_FALSE(PathExists(absolute)) << "an absolute name was written outside the destination";
  EXPECT_FALSE(PathExists(dir / "up.txt"));
  EXPECT_FALSE(PathExists(dir / "out/up.txt"));
  EXPECT_EQ(got.count("up.txt"), 1u);
  EXPECT_EQ(got.count("zz/e.txt"), 1u);
  std::string stripped = absolute.substr(1);  // "tmp/.../victim.txt" below the destination
  EXPECT_EQ(got.count(stripped), 1u);
}

TEST(SafetyTest, LinksAreSkippedAndNeverFollowed) {
  ScratchDir dir;
  WriteFile(dir / "outside/keep.txt", "precious");
  WriteFile(dir / "work/real/pwned.txt", "pwned");
  WriteFile(dir / "work/plain.txt", "plain");
  // A symbolic link to a folder outside, then a file "through" it, and a hard link.
  ASSERT_SHELL_OK(dir / "work", "ln -s " + Quote(dir / "outside") + " link && ln plain.txt hard.txt && "
                                "tar cf ../links.tar link plain.txt hard.txt && "
                                "tar rf ../links.tar --transform 's,^real,link,' real/pwned.txt");
  Library tar("libtar32.so");
  std::string message;
  const int r = tar.Command("Tar", "x  -f \"" + (dir / "links.tar") + "\" -o \"" + (dir / "out") + "/\" ", &message);
  EXPECT_EQ(r, ARC_OK) << message;
  EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "precious");
  EXPECT_FALSE(PathExists(dir / "outside/pwned.txt"));
  const auto got = FilesBelow(dir / "out");
  EXPECT_EQ(got.at("plain.txt"), "plain");
  EXPECT_EQ(got.count("hard.txt"), 0u);  // hard link entries are skipped
  struct stat st {};
  ASSERT_EQ(::lstat((dir / "out/link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode)) << "the link entry was skipped, the file's folder made as a real folder";
  EXPECT_NE(message.find("skipped"), std::string::npos);

  // A link already in the destination is replaced (with the overwrite switch)
  // or kept, but never written through.
  ASSERT_SHELL_OK(dir / "work", "zip -q ../p.zip plain.txt");
  ::mkdir((dir / "dest").c_str(), 0755);
  ASSERT_EQ(::symlink((dir / "outside/keep.txt").c_str(), (dir / "dest/plain.txt").c_str()), 0);
  Library zip("libunzip32.so");
  EXPECT_EQ(zip.Command("UnZip", "-x -j  \"" + (dir / "p.zip") + "\" \"" + (dir / "dest") + "/\" ", &message), ARC_OK);
  EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "precious");
  EXPECT_EQ(zip.Command("UnZip", ZipLine(dir / "p.zip", dir / "dest"), &message), ARC_OK) << message;
  EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "precious");
  ASSERT_EQ(::lstat((dir / "dest/plain.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(ReadFile(dir / "dest/plain.txt"), "plain");
}

TEST(SafetyTest, TruncatedArchivesFailWithoutLeavingPartialFiles) {
  SourceFiles files;
  ASSERT_SHELL_OK(files.src(), "zip -q ../x.zip a.txt && tar czf ../x.tgz a.txt && jlha ao5 ../x.lzh a.txt && "
                               "arj a -m1 -y ../x.arj a.txt && 7z a -bd ../x.7z a.txt && gcab -c -z ../x.cab a.txt");
  struct Cut {
    const char* library;
    const char* entry;
    const char* archive;
    std::string (*line)(const std::string&, const std::string&);
  };
  const Cut cuts[] = {
      {"libunzip32.so", "UnZip", "x.zip", ZipLine},   {"libunlha32.so", "Unlha", "x.lzh", LhaLine},
      {"libunarj32j.so", "Unarj", "x.arj", LhaLine},  {"lib7-zip32.so", "SevenZip", "x.7z", SevenZipLine},
      {"libcab32.so", "Cab", "x.cab", ZipLine},
  };
  for (const auto& c : cuts) {
    const std::string path = files / c.archive;
    const std::string data = ReadFile(path);
    WriteFile(path + ".cut", data.substr(0, data.size() / 2));
    Library lib(c.library);
    std::string message;
    const std::string out = files / (std::string("out-") + c.archive);
    EXPECT_NE(lib.Command(c.entry, c.line(path + ".cut", out), &message), ARC_OK) << c.archive;
    EXPECT_TRUE(FilesBelow(out).empty()) << c.archive;
  }
  const std::string tgz = ReadFile(files / "x.tgz");
  WriteFile(files / "cut.tgz", tgz.substr(0, tgz.size() / 2));
  Library tar("libtar32.so");
  EXPECT_NE(tar.Command("Tar", TarLine(files / "cut.tgz", files / "out-tgz", " -z")), ARC_OK);
  EXPECT_TRUE(FilesBelow(files / "out-tgz").empty());
  // An empty file and a missing file are no archives.
  WriteFile(files / "empty.zip", "");
  Library zip("libunzip32.so");
  EXPECT_EQ(zip.Command("UnZip", ZipLine(files / "empty.zip", files / "o1")), ARC_ERROR_NOT_ARC_FILE);
  EXPECT_EQ(zip.Command("UnZip", ZipLine(files / "missing.zip", files / "o2")), ARC_ERROR_ARC_FILE_OPEN);
}

TEST(SafetyTest, ExpansionBeyondTheBudgetStopsWithAnError) {
  ScratchDir dir;
  ASSERT_SHELL_OK(dir.path(), "mkdir src && head -c 8388608 /dev/zero > src/zeros.bin && echo hi > src/small.txt && "
                              "cd src && zip -q ../bomb.zip small.txt zeros.bin && tar czf ../bomb.tgz small.txt zeros.bin && "
                              "arj a -m1 -y ../bomb.arj small.txt zeros.bin");
  struct Bomb {
    const char* library;
    const char* entry;
    std::string line;
  };
  const Bomb bombs[] = {
      {"libunzip32.so", "UnZip", ZipLine(dir / "bomb.zip", dir / "zip")},
      {"libtar32.so", "Tar", TarLine(dir / "bomb.tgz", dir / "tgz", " -z")},
      {"libunarj32j.so", "Unarj", LhaLine(dir / "bomb.arj", dir / "arj")},
  };
  for (const auto& b : bombs) {
    Library lib(b.library);
    lib.SetBudget(1 << 20);  // 1 MiB instead of the fixed 4 GiB
    std::string message;
    EXPECT_EQ(lib.Command(b.entry, b.line, &message), ARC_ERROR_SIZE_BUDGET) << b.library << " " << message;
    lib.SetBudget(0);
  }
  // Nothing beyond the budget reached the disk; the small file before it did.
  for (const char* d : {"zip", "tgz", "arj"}) {
    const auto got = FilesBelow(dir / d);
    EXPECT_EQ(got.count("zeros.bin"), 0u) << d;
    EXPECT_EQ(got.count("small.txt"), 1u) << d;
    EXPECT_EQ(got.size(), 1u) << d;  // no temporary file left behind
  }
}

// --- Command language details.

TEST(CommandTest, OverwriteSwitchesDecideAboutExistingFiles) {
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

TEST(CommandTest, PathsFileListsMasksAndResponseFiles) {
  SourceFiles files;
  ASSERT_SHELL_OK(files.src(), "jlha ao5 ../x.lzh a.txt sub/b.bin empty.txt && zip -qr ../x.zip a.txt sub empty.txt");
  Library lha("libunlha32.so"), zip("libunzip32.so");
  // "x" without -x0 keeps folders; "e" drops them.
  EXPECT_EQ(lha.Command("Unlha", "x -+ -c1 -jse1 -jso1  \"" + (files / "x.lzh") + "\" \"" + (files / "tree") + "/\" "),
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

TEST(CommandTest, OutputBufferIsNeverOverrun) {
  SourceFiles files;
  ASSERT_SHELL_OK(files.src(), "zip -qr ../x.zip a.txt sub empty.txt");
  Library zip("libunzip32.so");
  auto command = zip.Get<ArcCommandProc>("UnZip");
  const std::string list = "-l \"" + (files / "x.zip") + "\"";
  char buffer[32];
  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(command(0, list.c_str(), buffer, 8), ARC_OK);
  EXPECT_EQ(std::strlen(buffer), 7u);
  for (size_t i = 8; i < sizeof(buffer); ++i) EXPECT_EQ(buffer[i], '#');
  EXPECT_EQ(command(0, list.c_str(), nullptr, 0), ARC_OK);
  EXPECT_EQ(command(0, list.c_str(), buffer, 1), ARC_OK);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(command(0, nullptr, buffer, sizeof(buffer)), ARC_ERROR_BAD_COMMAND);
}

TEST(CommandTest, BadAndUnsupportedCommandsAreErrors) {
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

TEST(ExtractMemTest, OneEntryIntoMemory) {
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

}  // namespace

namespace {

// Damaged copies of real archives: bytes flipped, runs overwritten, cut
// short. Whatever a library answers, it must return, and it must write
// nothing outside its destination folder.
TEST(SafetyTest, MutatedArchivesNeverCrashOrEscape) {
  SourceFiles files;
  ASSERT_SHELL_OK(files.src(), "arj a -m1 -y ../m1.arj a.txt sub/b.bin && arj a -m4 -y ../m4.arj a.txt sub/b.bin && "
                               "jlha ao5 ../x.lzh a.txt sub/b.bin && zip -q ../x.zip a.txt sub/b.bin");
  WriteFile(files / "x.gza", BgaArchive({{"", "a.txt", files.a(), false, false}, {"sub\\", "b.bin", files.b(), false, false}}));
  WriteFile(files / "x.bza", BgaArchive({{"", "a.txt", files.a(), true, false}}));
  struct Target {
    const char* library;
    const char* prefix;
    const char* archive;
  };
  const Target targets[] = {{"libunarj32j.so", "Unarj", "m1.arj"}, {"libunarj32j.so", "Unarj", "m4.arj"},
                            {"libbga32.so", "Bga", "x.gza"},       {"libbga32.so", "Bga", "x.bza"},
                            {"libunlha32.so", "Unlha", "x.lzh"},   {"libunzip32.so", "UnZip", "x.zip"}};
  ScratchDir play;
  uint32_t x = 12345;
  auto rnd = [&x](uint32_t n) {
    x = x * 1664525u + 1013904223u;
    return (x >> 8) % n;
  };
  for (const auto& t : targets) {
    Library lib(t.library);
    ASSERT_TRUE(lib.loaded());
    auto check = lib.Get<ArcCheckArchiveProc>(std::string(t.prefix) + "CheckArchive");
    auto open = lib.Get<ArcOpenArchiveProc>(std::string(t.prefix) + "OpenArchive");
    auto first = lib.Get<ArcFindFirstProc>(std::string(t.prefix) + "FindFirst");
    auto next = lib.Get<ArcFindNextProc>(std::string(t.prefix) + "FindNext");
    auto close = lib.Get<ArcCloseArchiveProc>(std::string(t.prefix) + "CloseArchive");
    const std::string original = ReadFile(files / t.archive);
    for (int round = 0; round < 60; ++round) {
      std::string data = original;
      switch (round % 3) {
        case 0:
          for (int k = 0; k < 1 + static_cast<int>(rnd(8)); ++k)
            data[rnd(static_cast<uint32_t>(data.size()))] ^= static_cast<char>(1 + rnd(255));
          break;
        case 1: {
          const size_t at = rnd(static_cast<uint32_t>(data.size()));
          for (size_t k = at; k < data.size() && k < at + 64; ++k) data[k] = static_cast<char>(rnd(256));
          break;
        }
        default:
          data.resize(rnd(static_cast<uint32_t>(data.size())));
          break;
      }
      const std::string path = play / "damaged.bin";
      WriteFile(path, data);
      check(path.c_str(), ARC_CHECK_FULLCRC);
      if (ArcHandle h = open(0, path.c_str(), 0)) {
        ArcIndividualInfo info;
        int guard = 0;
        for (int r = first(h, "*", &info); r == 0 && guard < 10000; r = next(h, &info)) ++guard;
        close(h);
      }
      const std::string line = std::string(t.prefix == std::string("UnZip") ? "-x -o" : "x -+ -c1 -jse1 -jso1") +
                               "  \"" + path + "\" \"" + (play / "out") + "/\" ";
      lib.Command(t.prefix, line);
      // Only the damaged archive and the destination folder exist.
      size_t count = 0;
      for (const auto& e : std::filesystem::directory_iterator(play.path())) {
        const std::string n = e.path().filename().string();
        EXPECT_TRUE(n == "damaged.bin" || n == "out") << n << " in round " << round << " of " << t.archive;
        ++count;
      }
      EXPECT_LE(count, 2u);
      std::filesystem::remove_all(play / "out");
    }
  }
}

}  // namespace
