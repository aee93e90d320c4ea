// Reading the command lines the format handlers write.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "Core.h"

using namespace arc;

namespace {

Command Parse(Dialect d, const std::string& line, bool hasWord = true)
{
    Command c;
    std::string error;
    EXPECT_TRUE(ParseCommand(d, line, hasWord, c, error)) << line << ": " << error;
    return c;
}

TEST(CommandLineTest, ViewerExtractionLinesOfEveryFormat)
{
    Command lha = Parse(Dialect::Lha, "x -+ -c1 -x0 -jse1 -jso1  \"/a b/x.lzh\" \"/tmp/w x/\" ");
    EXPECT_EQ(lha.action, Action::Extract);
    EXPECT_EQ(lha.archive, "/a b/x.lzh");
    EXPECT_EQ(lha.destination, "/tmp/w x/");
    EXPECT_FALSE(lha.keepPaths);
    EXPECT_EQ(lha.overwrite, Overwrite::Replace);
    EXPECT_TRUE(lha.files.empty());

    Command zip = Parse(Dialect::Unzip, "-x -o -j  \"/x.zip\" \"/d/\" ");
    EXPECT_EQ(zip.action, Action::Extract);
    EXPECT_FALSE(zip.keepPaths);
    EXPECT_EQ(zip.overwrite, Overwrite::Replace);
    EXPECT_EQ(zip.destination, "/d/");

    Command tar = Parse(Dialect::Tar, "x --use-directory=0 -z  -f \"/x.tgz\" -o \"/d/\" ");
    EXPECT_EQ(tar.action, Action::Extract);
    EXPECT_EQ(tar.archive, "/x.tgz");
    EXPECT_EQ(tar.destination, "/d/");
    EXPECT_FALSE(tar.keepPaths);
    EXPECT_EQ(tar.compression, 'z');

    Command rar = Parse(Dialect::Rar, "-e  \"/x.rar\" \"/d/\" ");
    EXPECT_FALSE(rar.keepPaths);
    EXPECT_EQ(rar.overwrite, Overwrite::Replace);
    Command rarKeep = Parse(Dialect::Rar, "-x -u  \"/x.rar\" \"/d/\" ");
    EXPECT_TRUE(rarKeep.keepPaths);
    EXPECT_EQ(rarKeep.overwrite, Overwrite::Skip);

    Command bga = Parse(Dialect::Bga, "x -n -j  \"/x.gza\" \"/d/\" ");
    EXPECT_FALSE(bga.keepPaths);
    EXPECT_EQ(bga.overwrite, Overwrite::Skip);

    Command sz = Parse(Dialect::SevenZip, "e -aoa \"-o/d x/\"  \"/x.7z\" \"-x!skip.txt\" ");
    EXPECT_FALSE(sz.keepPaths);
    EXPECT_EQ(sz.destination, "/d x/");
    EXPECT_EQ(sz.archive, "/x.7z");
    EXPECT_EQ(sz.overwrite, Overwrite::Replace);
    EXPECT_EQ(sz.excludes, std::vector<std::string>{"skip.txt"});
}

TEST(CommandLineTest, FilesFolderAndOptionTokens)
{
    // Text options arrive as one quoted token (-jo followed by a folder): a switch.
    Command c =
        Parse(Dialect::Lha, "x -+ \"-jo/x y/\" -jse1 -jso1  \"/x.lzh\" \"/d/\" \"a.jpg\" \"sub/b.jpg\" \"-jxc.jpg\"");
    EXPECT_TRUE(c.keepPaths); // "x" keeps folders unless -x0
    EXPECT_EQ(c.overwrite, Overwrite::Skip); // no -c switch
    EXPECT_EQ(c.files, (std::vector<std::string>{"a.jpg", "sub/b.jpg"}));
    EXPECT_EQ(c.excludes, std::vector<std::string>{"c.jpg"});
    // Only the token right after the archive can be the folder.
    Command noDir = Parse(Dialect::Lha, "e \"/x.lzh\" \"a.jpg\" \"dir/\"");
    EXPECT_TRUE(noDir.destination.empty());
    EXPECT_EQ(noDir.files, (std::vector<std::string>{"a.jpg", "dir/"}));
    // ExtractMem lines have no command word.
    Command mem = Parse(Dialect::Lha, " -+ -jso1  \"/x.lzh\" \"a.jpg\" ", false);
    EXPECT_EQ(mem.archive, "/x.lzh");
    EXPECT_EQ(mem.files, std::vector<std::string>{"a.jpg"});
}

TEST(CommandLineTest, MalformedLinesAreRefused)
{
    Command c;
    std::string error;
    EXPECT_FALSE(ParseCommand(Dialect::Lha, "x \"/x.lzh", true, c, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ParseCommand(Dialect::Lha, "", true, c, error));
    EXPECT_FALSE(ParseCommand(Dialect::Lha, "zz \"/x.lzh\"", true, c, error));
    EXPECT_FALSE(ParseCommand(Dialect::Tar, "x -f", true, c, error));
    EXPECT_FALSE(ParseCommand(Dialect::Unzip, "-x -o", true, c, error)); // no archive
}

TEST(CommandLineTest, MasksMatchLikeTheArchivers)
{
    EXPECT_TRUE(MatchMask("*.jpg", "sub/dir/photo.JPG", false));
    EXPECT_TRUE(MatchMask("*", "a/b", false));
    EXPECT_TRUE(MatchMask("*.*", "noext", false));
    EXPECT_TRUE(MatchMask("p?oto.jpg", "photo.jpg", false));
    EXPECT_FALSE(MatchMask("sub/*.jpg", "other/photo.jpg", false));
    EXPECT_TRUE(MatchMask("sub\\*.jpg", "sub/photo.jpg", false));
    // ZIP names escaped by the handler: "-a[1]\b.jpg" arrives as "[-]a[[]1]/b.jpg".
    EXPECT_TRUE(MatchMask("[-]a[[]1]/b.jpg", "-a[1]/b.jpg", true));
    EXPECT_FALSE(MatchMask("[-]a[[]1]/b.jpg", "xa[1]/b.jpg", true));
    // Outside ZIP a bracket is an ordinary character.
    EXPECT_TRUE(MatchMask("a[1].jpg", "a[1].jpg", false));
}

TEST(CommandLineTest, SafeNamesDropEverythingThatLeavesTheFolder)
{
    EXPECT_EQ(SafeRelativeName("../../etc/passwd"), "etc/passwd");
    EXPECT_EQ(SafeRelativeName("/abs/x.txt"), "abs/x.txt");
    EXPECT_EQ(SafeRelativeName("C:\\win\\x.txt"), "win/x.txt");
    EXPECT_EQ(SafeRelativeName("a/./b/../c"), "a/c");
    EXPECT_EQ(SafeRelativeName("a/../../../b"), "b");
    EXPECT_EQ(SafeRelativeName(".."), "");
}

TEST(CommandLineTest, NamesInCp932BecomeUtf8)
{
    EXPECT_EQ(NameToUtf8("\x95\x5c\\x.txt"), "表\\x.txt");
    EXPECT_EQ(NameToUtf8("写真.jpg"), "写真.jpg");
    EXPECT_EQ(NameToUtf8(std::string("a\xff\xfe", 3)), "a__");
}

} // namespace
