// Hostile archives against the archiver libraries: names that climb out of
// the destination, links, truncated archives, expansion beyond the budget
// and damaged copies of real archives. None may crash a library, escape the
// destination or leave a partial file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "ArchiverSamples.h"
#include "ArchiverTestSupport.h"
#include "archive/ArchiverAbi.h"

using namespace arctest;

namespace {

TEST(SafetyTest, DotDotAndAbsoluteNamesStayInsideTheDestination)
{
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

    EXPECT_EQ(
        tar.Command("Tar", "x  -f \"" + (dir / "hostile.tar") + "\" -o \"" + (dir / "out/tar") + "/\" ", &message),
        ARC_OK)
        << message;
    const auto got = FilesBelow(dir / "out/tar");
    EXPECT_FALSE(PathExists(absolute)) << "an absolute name was written outside the destination";
    EXPECT_FALSE(PathExists(dir / "up.txt"));
    EXPECT_FALSE(PathExists(dir / "out/up.txt"));
    EXPECT_EQ(got.count("up.txt"), 1u);
    EXPECT_EQ(got.count("zz/e.txt"), 1u);
    std::string stripped = absolute.substr(1); // "tmp/.../victim.txt" below the destination
    EXPECT_EQ(got.count(stripped), 1u);
}

TEST(SafetyTest, LinksAreSkippedAndNeverFollowed)
{
    ScratchDir dir;
    WriteFile(dir / "outside/keep.txt", "precious");
    WriteFile(dir / "work/real/pwned.txt", "pwned");
    WriteFile(dir / "work/plain.txt", "plain");
    // A symbolic link to a folder outside, then a file "through" it, and a hard link.
    ASSERT_SHELL_OK(dir / "work", "ln -s " + Quote(dir / "outside")
                                      + " link && ln plain.txt hard.txt && "
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
    EXPECT_EQ(got.count("hard.txt"), 0u); // hard link entries are skipped
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
    EXPECT_EQ(zip.Command("UnZip", "-x -j  \"" + (dir / "p.zip") + "\" \"" + (dir / "dest") + "/\" ", &message),
              ARC_OK);
    EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "precious");
    EXPECT_EQ(zip.Command("UnZip", ZipLine(dir / "p.zip", dir / "dest"), &message), ARC_OK) << message;
    EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "precious");
    ASSERT_EQ(::lstat((dir / "dest/plain.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ReadFile(dir / "dest/plain.txt"), "plain");
}

TEST(SafetyTest, TruncatedArchivesFailWithoutLeavingPartialFiles)
{
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
        {"libunzip32.so", "UnZip", "x.zip", ZipLine},  {"libunlha32.so", "Unlha", "x.lzh", LhaLine},
        {"libunarj32j.so", "Unarj", "x.arj", LhaLine}, {"lib7-zip32.so", "SevenZip", "x.7z", SevenZipLine},
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

TEST(SafetyTest, ExpansionBeyondTheBudgetStopsWithAnError)
{
    ScratchDir dir;
    ASSERT_SHELL_OK(dir.path(),
                    "mkdir src && head -c 8388608 /dev/zero > src/zeros.bin && echo hi > src/small.txt && "
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
        lib.SetBudget(1 << 20); // 1 MiB instead of the fixed 4 GiB
        std::string message;
        EXPECT_EQ(lib.Command(b.entry, b.line, &message), ARC_ERROR_SIZE_BUDGET) << b.library << " " << message;
        lib.SetBudget(0);
    }
    // Nothing beyond the budget reached the disk; the small file before it did.
    for (const char* d : {"zip", "tgz", "arj"}) {
        const auto got = FilesBelow(dir / d);
        EXPECT_EQ(got.count("zeros.bin"), 0u) << d;
        EXPECT_EQ(got.count("small.txt"), 1u) << d;
        EXPECT_EQ(got.size(), 1u) << d; // no temporary file left behind
    }
}

// Damaged copies of real archives: bytes flipped, runs overwritten, cut
// short. Whatever a library answers, it must return, and it must write
// nothing outside its destination folder.
TEST(SafetyTest, MutatedArchivesNeverCrashOrEscape)
{
    SourceFiles files;
    ASSERT_SHELL_OK(files.src(), "arj a -m1 -y ../m1.arj a.txt sub/b.bin && arj a -m4 -y ../m4.arj a.txt sub/b.bin && "
                                 "jlha ao5 ../x.lzh a.txt sub/b.bin && zip -q ../x.zip a.txt sub/b.bin");
    WriteFile(files / "x.gza",
              BgaArchive({{"", "a.txt", files.a(), false, false}, {"sub\\", "b.bin", files.b(), false, false}}));
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
                for (size_t k = at; k < data.size() && k < at + 64; ++k)
                    data[k] = static_cast<char>(rnd(256));
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
                for (int r = first(h, "*", &info); r == 0 && guard < 10000; r = next(h, &info))
                    ++guard;
                close(h);
            }
            const std::string line = std::string(t.prefix == std::string("UnZip") ? "-x -o" : "x -+ -c1 -jse1 -jso1")
                                     + "  \"" + path + "\" \"" + (play / "out") + "/\" ";
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

} // namespace
