// Faults of the reading library the archiver libraries must not pass on:
// damaged tar headers, split archives, entries shorter than their headers,
// CP932 names in RAR 4 archives, ZIP files without a central directory and
// the shared file budget. Archives come from the real tools where they can
// make them, RAR 4 archives are written byte by byte (no RAR writer here).
#include <zlib.h>

#include <gtest/gtest.h>

#include "ArchiverTestSupport.h"

using namespace arctest;

namespace {

std::string ZipLine(const std::string& a, const std::string& d)
{
    return "-x -o -j  \"" + a + "\" \"" + d + "/\" ";
}
std::string TarLine(const std::string& a, const std::string& d)
{
    return "x --use-directory=0  -f \"" + a + "\" -o \"" + d + "/\" ";
}
std::string RarLine(const std::string& a, const std::string& d)
{
    return "-x  \"" + a + "\" \"" + d + "/\" ";
}

void Put16(std::string& s, uint32_t v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A RAR 4 block: CRC16 (low half of the CRC-32 of the rest), then the rest.
std::string Block(const std::string& rest)
{
    const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(rest.data()), uInt(rest.size()));
    std::string block;
    Put16(block, crc & 0xFFFF);
    return block + rest;
}

std::string MainHeader(uint16_t flags)
{
    std::string rest;
    rest.push_back(char(0x73));
    Put16(rest, flags);
    Put16(rest, 13);
    Put16(rest, 0);
    Put32(rest, 0);
    return Block(rest);
}

// A stored (method 0x30) file entry written on Windows, name bytes as given.
std::string StoredFile(const std::string& name, const std::string& data)
{
    std::string rest;
    rest.push_back(char(0x74));
    Put16(rest, 0x8000); // data follows
    Put16(rest, uint32_t(32 + name.size()));
    Put32(rest, uint32_t(data.size())); // packed
    Put32(rest, uint32_t(data.size())); // unpacked
    rest.push_back(char(2)); // Windows
    Put32(rest, crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
    Put32(rest, (uint32_t(45) << 25) | (1u << 21) | (1u << 16)); // 2025-01-01
    rest.push_back(char(29));
    rest.push_back(char(0x30));
    Put16(rest, uint32_t(name.size()));
    Put32(rest, 0x20);
    rest += name;
    return Block(rest) + data;
}

std::string EndBlock()
{
    std::string rest;
    rest.push_back(char(0x7B));
    Put16(rest, 0x4000);
    Put16(rest, 7);
    return Block(rest);
}

const std::string kRarMark("Rar!\x1a\x07\x00", 7);

TEST(ArchiveFaultsTest, Rar4NamesInCp932KeepTheirTrailBackslashes)
{
    ScratchDir dir;
    // 表示.jpg (0x95 0x5C 0x8E 0xA6) and 能力.jpg (0x94 0x5C 0x97 0xCD): both
    // characters with a 0x5C trail byte, in a folder "画像" (0x89 0xE6 0x91 0x9C).
    const std::string folder = "\x89\xe6\x91\x9c\\";
    WriteFile(dir / "jp.rar", kRarMark + MainHeader(0) + StoredFile(folder + "\x95\x5c\x8e\xa6.jpg", "first")
                                  + StoredFile(folder + "\x94\x5c\x97\xcd.jpg", "second!") + EndBlock());
    Library lib("libunrar32.so");
    ASSERT_TRUE(lib.loaded());
    std::string message;
    ASSERT_EQ(lib.Command("Unrar", RarLine(dir / "jp.rar", dir / "out"), &message), ARC_OK) << message;
    const auto files = FilesBelow(dir / "out");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("画像/表示.jpg"), "first");
    EXPECT_EQ(files.at("画像/能力.jpg"), "second!");
}

TEST(ArchiveFaultsTest, FirstPartOfASplitArchiveSaysItNeedsTheOthers)
{
    ScratchDir dir;
    // A RAR 4 volume (main header flag 0x0001) whose only entry goes on in
    // the next part.
    WriteFile(dir / "x.part1.rar", kRarMark + MainHeader(0x0001) + StoredFile("a.jpg", "first half"));
    Library rar("libunrar32.so");
    std::string message;
    EXPECT_EQ(rar.Command("Unrar", RarLine(dir / "x.part1.rar", dir / "out"), &message), ARC_ERROR_NEED_VOLUMES);
    EXPECT_TRUE(FilesBelow(dir / "out").empty());

    // zip's own split archives: the first part is marked "PK 07 08".
    if (Shell(dir.path(), "command -v zip >/dev/null") != 0)
        GTEST_SKIP() << "zip is not installed";
    std::string big;
    for (int i = 0; i < 40000; ++i)
        big += std::to_string(i * 7919 % 10007);
    WriteFile(dir / "big.txt", big);
    ASSERT_EQ(Shell(dir.path(), "zip -q -s 64k split.zip big.txt"), 0);
    ASSERT_TRUE(PathExists(dir / "split.z01"));
    Library zip("libunzip32.so");
    EXPECT_EQ(zip.Command("UnZip", ZipLine(dir / "split.z01", dir / "zout"), &message), ARC_ERROR_NEED_VOLUMES);
}

TEST(ArchiveFaultsTest, EntryShorterThanItsHeaderIsAnErrorAndLeavesNoFile)
{
    ScratchDir dir;
    // A stored RAR entry that claims 100 bytes but holds 10 before the end.
    std::string entry = StoredFile("short.txt", "0123456789");
    // Unpacked size at offset 2 + 1 + 2 + 2 + 4 = 11 of the block.
    entry[11] = char(100);
    WriteFile(dir / "short.rar", kRarMark + MainHeader(0) + entry + EndBlock());
    Library rar("libunrar32.so");
    std::string message;
    EXPECT_NE(rar.Command("Unrar", RarLine(dir / "short.rar", dir / "out"), &message), ARC_OK);
    EXPECT_TRUE(FilesBelow(dir / "out").empty());

    // A sparse tar entry: extracted whole or reported, never short with success.
    if (Shell(dir.path(), "command -v tar >/dev/null") != 0)
        GTEST_SKIP() << "tar is not installed";
    ASSERT_EQ(Shell(dir.path(), "truncate -s 1M sparse.bin && printf end >> sparse.bin && "
                                "tar --sparse --format=gnu -cf sparse.tar sparse.bin"),
              0);
    Library tar("libtar32.so");
    const int rc = tar.Command("Tar", TarLine(dir / "sparse.tar", dir / "sparse"), &message);
    const auto files = FilesBelow(dir / "sparse");
    if (rc == ARC_OK) {
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files.at("sparse.bin").size(), 1048576u + 3u);
        EXPECT_EQ(files.at("sparse.bin").substr(1048576), "end");
    } else {
        EXPECT_TRUE(files.empty()) << message;
    }
}

TEST(ArchiveFaultsTest, DamagedTarHeaderIsSkippedAndReadingGoesOn)
{
    ScratchDir dir;
    if (Shell(dir.path(), "command -v tar >/dev/null") != 0)
        GTEST_SKIP() << "tar is not installed";
    ASSERT_EQ(Shell(dir.path(), "mkdir in && printf one > in/1.txt && printf two > in/2.txt && "
                                "printf three > in/3.txt && tar --format=ustar -cf t.tar -C in 1.txt 2.txt 3.txt"),
              0);
    // The second header starts at block 2; spoil its checksum field.
    std::string bytes = ReadFile(dir / "t.tar");
    ASSERT_GT(bytes.size(), 2048u);
    bytes.replace(1024 + 148, 8, "9999999\0", 8);
    WriteFile(dir / "t.tar", bytes);
    Library tar("libtar32.so");
    std::string message;
    EXPECT_EQ(tar.Command("Tar", TarLine(dir / "t.tar", dir / "out"), &message), ARC_ERROR_HEADER_BROKEN);
    const auto files = FilesBelow(dir / "out");
    EXPECT_EQ(files.at("1.txt"), "one");
    EXPECT_EQ(files.at("3.txt"), "three");
    EXPECT_EQ(files.count("2.txt"), 0u);
}

TEST(ArchiveFaultsTest, ZipWithoutCentralDirectoryIsReadFromTheFront)
{
    ScratchDir dir;
    if (Shell(dir.path(), "command -v zip >/dev/null") != 0)
        GTEST_SKIP() << "zip is not installed";
    ASSERT_EQ(Shell(dir.path(), "printf 'first file' > a.txt && printf 'second' > b.txt && zip -q0 x.zip a.txt b.txt"),
              0);
    // Cut the central directory and its end record off.
    std::string bytes = ReadFile(dir / "x.zip");
    const size_t central = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    WriteFile(dir / "x.zip", bytes.substr(0, central));
    Library zip("libunzip32.so");
    std::string message;
    zip.Command("UnZip", ZipLine(dir / "x.zip", dir / "out"), &message);
    const auto files = FilesBelow(dir / "out");
    ASSERT_EQ(files.size(), 2u) << message;
    EXPECT_EQ(files.at("a.txt"), "first file");
    EXPECT_EQ(files.at("b.txt"), "second");
}

TEST(ArchiveFaultsTest, FileBudgetStopsAnExtraction)
{
    ScratchDir dir;
    if (Shell(dir.path(), "command -v zip >/dev/null") != 0)
        GTEST_SKIP() << "zip is not installed";
    ASSERT_EQ(Shell(dir.path(), "mkdir in && for i in 1 2 3 4 5 6; do echo $i > in/$i.txt; done && "
                                "cd in && zip -q ../many.zip *.txt"),
              0);
    Library zip("libunzip32.so");
    auto setFiles = zip.Get<void (*)(uint64_t)>("OrvantoArchiverSetFileBudget");
    ASSERT_NE(setFiles, nullptr);
    setFiles(4);
    std::string message;
    EXPECT_EQ(zip.Command("UnZip", ZipLine(dir / "many.zip", dir / "out"), &message), ARC_ERROR_TOO_MANY_FILES);
    EXPECT_EQ(FilesBelow(dir / "out").size(), 4u);
    setFiles(0);
    EXPECT_EQ(zip.Command("UnZip", ZipLine(dir / "many.zip", dir / "all"), &message), ARC_OK) << message;
    EXPECT_EQ(FilesBelow(dir / "all").size(), 6u);
}

} // namespace
