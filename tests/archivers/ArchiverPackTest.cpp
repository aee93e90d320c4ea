// Packing, deleting and freshening through the libraries, checked with the
// real archiving tools.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "ArchiverTestSupport.h"
#include "archive/ArchiverAbi.h"

using namespace arctest;

namespace {

class PackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(dir_ / "base/a.txt", std::string(30000, 'a') + "end");
        WriteFile(dir_ / "base/sub/b.bin", std::string("\x01\x02\x03", 3) + std::string(5000, '\xfe'));
        WriteFile(dir_ / "base/写真.jpg", "jpeg bytes");
        WriteFile(dir_ / "base/c.log", "log");
    }
    // Output of a shell command run in the scratch folder.
    std::string Capture(const std::string& command)
    {
        const std::string out = dir_ / "captured.txt";
        EXPECT_EQ(Shell(dir_.path(), command + " > " + Quote(out)), 0) << command;
        const std::string s = ReadFile(out);
        std::remove(out.c_str());
        return s;
    }
    ScratchDir dir_;
};

TEST_F(PackTest, Zip32jPacksDeletesAndFreshensZipArchives)
{
    SKIP_WITHOUT_TOOLS("unzip");
    Library zip("libzip32j.so");
    const std::string a = dir_ / "new.zip";
    std::string message;
    // The ZIP32J builder's line: no command word, -D, -r, the level, archive, folder, names.
    EXPECT_EQ(zip.Command("Zip",
                          " -D -r -9  \"" + a + "\" \"" + (dir_ / "base") + "/\" \"a.txt\" \"sub\" \"写真.jpg\" ",
                          &message),
              ARC_OK)
        << message;
    std::string names = Capture("unzip -Z1 " + Quote(a) + " | sort");
    EXPECT_EQ(names, "a.txt\nsub/\nsub/b.bin\n写真.jpg\n");
    EXPECT_EQ(Capture("unzip -p " + Quote(a) + " sub/b.bin"), ReadFile(dir_ / "base/sub/b.bin"));
    EXPECT_EQ(Shell(dir_.path(), "unzip -tq " + Quote(a)), 0);

    // Delete: "-d" word, no folder; bracket-escaped masks as the handler writes them.
    EXPECT_EQ(zip.Command("Zip", "-d -D  \"" + a + "\" \"sub/b.bi[n]\" ", &message), ARC_OK) << message;
    EXPECT_EQ(Capture("unzip -Z1 " + Quote(a) + " | sort"), "a.txt\nsub/\n写真.jpg\n");
    EXPECT_EQ(zip.Command("Zip", "-d -D  \"" + a + "\" \"nothing.here\" ", &message), ARC_ERROR_NOT_EXIST);

    // Freshen: only entries already there, only when the file is newer.
    WriteFile(dir_ / "base/a.txt", "fresh");
    ASSERT_EQ(Shell(dir_.path(), "touch -d '+1 hour' base/a.txt"), 0);
    EXPECT_EQ(zip.Command("Zip", "-f -D  \"" + a + "\" \"" + (dir_ / "base") + "/\" \"*\" ", &message), ARC_OK)
        << message;
    EXPECT_EQ(Capture("unzip -p " + Quote(a) + " a.txt"), "fresh");
    EXPECT_EQ(Capture("unzip -Z1 " + Quote(a) + " | sort"), "a.txt\nsub/\n写真.jpg\n");
}

TEST_F(PackTest, LmzipPacksWithItsOwnLine)
{
    SKIP_WITHOUT_TOOLS("unzip");
    Library lmzip("liblmzip32.so");
    const std::string a = dir_ / "lm.zip";
    std::string message;
    EXPECT_EQ(lmzip.Command("Zip",
                            "-ru -o -j  \"" + a + "\" \"" + (dir_ / "base/a.txt") + "\" \"" + (dir_ / "base/sub/b.bin")
                                + "\" ",
                            &message),
              ARC_OK)
        << message;
    EXPECT_EQ(Capture("unzip -Z1 " + Quote(a) + " | sort"), "a.txt\nb.bin\n");
    // The library's own unpacking entry reads it back.
    EXPECT_EQ(lmzip.Command("Unzip", "-x -o -j  \"" + a + "\" \"" + (dir_ / "out") + "/\" "), ARC_OK);
    EXPECT_EQ(ReadFile(dir_ / "out/b.bin"), ReadFile(dir_ / "base/sub/b.bin"));
}

TEST_F(PackTest, TarCreatesCompressedArchives)
{
    SKIP_WITHOUT_TOOLS("tar", "bzip2", "gzip");
    Library tar("libtar32.so");
    for (const auto& [flag, file, list] :
         {std::tuple{" -z", "x.tgz", "tar tzf"}, std::tuple{" -B", "x.tar.bz2", "tar tjf"},
          std::tuple{"", "x.tar", "tar tf"}}) {
        const std::string a = dir_ / file;
        std::string message;
        EXPECT_EQ(tar.Command("Tar",
                              std::string("c") + flag + "  -f \"" + a + "\" -o \"" + (dir_ / "base")
                                  + "/\" \"a.txt\" \"sub/b.bin\" ",
                              &message),
                  ARC_OK)
            << message;
        EXPECT_EQ(Capture(std::string(list) + " " + Quote(a)), "a.txt\nsub/b.bin\n") << file;
    }
    EXPECT_EQ(Capture("tar xzOf " + Quote(dir_ / "x.tgz") + " a.txt"), ReadFile(dir_ / "base/a.txt"));
    Library tarCheck("libtar32.so");
    EXPECT_EQ(tarCheck.Get<ArcGetArchiveTypeProc>("TarGetArchiveType")((dir_ / "x.tar.bz2").c_str()), ARC_TYPE_TARBZ2);
}

TEST_F(PackTest, SevenZipAddsUpdatesAndDeletes)
{
    SKIP_WITHOUT_TOOLS("7z");
    Library sz("lib7-zip32.so");
    const std::string a = dir_ / "x.7z";
    std::string message;
    EXPECT_EQ(sz.Command("SevenZip", "u \"-o" + (dir_ / "base") + "/\"  \"" + a + "\" \"a.txt\" \"sub\" ", &message),
              ARC_OK)
        << message;
    EXPECT_EQ(Shell(dir_.path(), "7z t " + Quote(a)), 0);
    EXPECT_EQ(Capture("7z l -slt " + Quote(a) + " | grep '^Path = ' | grep -v '^Path = /' | sort"),
              "Path = a.txt\nPath = sub\nPath = sub/b.bin\n");
    // Adding keeps what is there.
    EXPECT_EQ(sz.Command("SevenZip", "u \"-o" + (dir_ / "base") + "/\"  \"" + a + "\" \"c.log\" ", &message), ARC_OK);
    EXPECT_EQ(sz.Command("SevenZip", "d  \"" + a + "\" \"a.txt\" ", &message), ARC_OK) << message;
    EXPECT_EQ(Capture("7z l -slt " + Quote(a) + " | grep '^Path = ' | grep -v '^Path = /' | sort"),
              "Path = c.log\nPath = sub\nPath = sub/b.bin\n");
    EXPECT_EQ(Capture("7z e -so " + Quote(a) + " sub/b.bin"), ReadFile(dir_ / "base/sub/b.bin"));
}

TEST_F(PackTest, BgaWritesWhatItReads)
{
    Library bga("libbga32.so");
    for (const char* name : {"x.gza", "x.bza"}) {
        const std::string a = dir_ / name;
        std::string message;
        EXPECT_EQ(bga.Command("Bga", "a -n  \"" + a + "\" \"" + (dir_ / "base") + "/\" \"a.txt\" \"sub\" \"写真.jpg\" ",
                              &message),
                  ARC_OK)
            << message;
        EXPECT_EQ(bga.Command("Bga", "d -n  \"" + a + "\" \"写真.jpg\" ", &message), ARC_OK) << message;
        const std::string out = dir_ / (std::string("out-") + name);
        EXPECT_EQ(bga.Command("Bga", "x -o  \"" + a + "\" \"" + out + "/\" ", &message), ARC_OK) << message;
        EXPECT_EQ(FilesBelow(out),
                  (std::map<std::string, std::string>{{"a.txt", ReadFile(dir_ / "base/a.txt")},
                                                      {"sub/b.bin", ReadFile(dir_ / "base/sub/b.bin")}}))
            << name;
        EXPECT_NE(bga.Get<ArcCheckArchiveProc>("BgaCheckArchive")(a.c_str(), ARC_CHECK_FULLCRC), 0);
    }
}

TEST_F(PackTest, FailuresLeaveTheOldArchiveUntouched)
{
    Library zip("libzip32j.so"), lha("libunlha32.so");
    // Updating something that is not a ZIP archive: refused, file unchanged, no temporary file left.
    WriteFile(dir_ / "notzip.zip", "this is text");
    std::string message;
    EXPECT_NE(
        zip.Command("Zip", " -D  \"" + (dir_ / "notzip.zip") + "\" \"" + (dir_ / "base") + "/\" \"a.txt\" ", &message),
        ARC_OK);
    EXPECT_EQ(ReadFile(dir_ / "notzip.zip"), "this is text");
    // An archive in a folder that does not exist.
    EXPECT_EQ(zip.Command("Zip", " -D  \"" + (dir_ / "nofolder/x.zip") + "\" \"" + (dir_ / "base") + "/\" \"a.txt\" "),
              ARC_ERROR_TMP_OPEN);
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 2u); // base and notzip.zip
    // LHA packing has no writer: a clear error.
    EXPECT_EQ(lha.Command("Unlha", "a -+ -jso1  \"" + (dir_ / "x.lzh") + "\" \"" + (dir_ / "base") + "/\" \"a.txt\" "),
              ARC_ERROR_NOT_SUPPORT);
}

} // namespace
