#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QTemporaryDir>
#include <random>
#include <unistd.h>

using platform::ProfileFile;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QString Path(const QString& name = QStringLiteral("test.ini")) const { return dir.filePath(name); }

    void Write(const QByteArray& bytes, const QString& name = QStringLiteral("test.ini")) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray Read(const QString& name = QStringLiteral("test.ini")) const
    {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }

    QTemporaryDir dir;
};

TEST_F(ProfileFileTest, ReadsSectionsAndKeysIgnoringCase)
{
    Write("orphan=before any section\n"
          "; a comment\n"
          "[Window]\n"
          "  Left = 12  \n"
          "LastDir=/home/me/写真\n"
          "Empty=\n"
          "no equals sign here\n"
          "[window]\n"
          "Top=5\n"
          "Left=99\n"
          "[Other]\n"
          "Top=7\n");
    ProfileFile p;
    ASSERT_TRUE(p.Load(Path()));
    EXPECT_EQ(p.Value("WINDOW", "left"), QString("12"));
    EXPECT_EQ(p.Value("Window", "LASTDIR"), QString("/home/me/写真"));
    EXPECT_EQ(p.Value("Window", "Empty"), QString(""));
    // A repeated section continues the first one; the first occurrence of a key wins.
    EXPECT_EQ(p.Value("Window", "Top"), QString("5"));
    EXPECT_EQ(p.Value("Other", "Top"), QString("7"));
    EXPECT_FALSE(p.Value("Window", "Missing").has_value());
    EXPECT_FALSE(p.Value("Window", "no equals sign here").has_value());
    EXPECT_FALSE(p.Value("", "orphan").has_value());
    EXPECT_FALSE(p.Value("Window", "; a comment").has_value());
}

TEST_F(ProfileFileTest, MissingFileIsEmptyButNotAnError)
{
    ProfileFile p;
    EXPECT_TRUE(p.Load(Path("absent.ini")));
    EXPECT_FALSE(p.LoadFailed());
    EXPECT_FALSE(p.Value("A", "B").has_value());
}

TEST_F(ProfileFileTest, WritesInPlaceAndKeepsEverythingElse)
{
    const QByteArray original = "; settings\r\n"
                                "[Window]\r\n"
                                "left=1\r\n"
                                "Unknown=keep me\r\n"
                                "\r\n"
                                "; about tools\r\n"
                                "[Tool]\r\n"
                                "Show=0"; // last line without line end
    Write(original);
    ProfileFile p;
    ASSERT_TRUE(p.Load(Path()));
    EXPECT_TRUE(p.SetValue("WINDOW", "Left", "42")); // rewritten where it stands
    EXPECT_TRUE(p.SetValue("Window", "Top", "7")); // new key after the section's last key
    EXPECT_TRUE(p.SetValue("Tool", "Orient", "1")); // section at the end of the file
    EXPECT_TRUE(p.SetValue("Help", "Width", "500")); // new section at the end
    ASSERT_TRUE(p.Save(Path()));
    EXPECT_EQ(Read(), QByteArray("; settings\r\n"
                                 "[Window]\r\n"
                                 "Left=42\r\n"
                                 "Unknown=keep me\r\n"
                                 "Top=7\r\n"
                                 "\r\n"
                                 "; about tools\r\n"
                                 "[Tool]\r\n"
                                 "Show=0\r\n"
                                 "Orient=1\r\n"
                                 "[Help]\r\n"
                                 "Width=500\r\n"));
}

TEST_F(ProfileFileTest, NewFileIsUtf8WithoutMarkAndLfLineEnds)
{
    ProfileFile p;
    ASSERT_TRUE(p.Load(Path()));
    EXPECT_TRUE(p.SetValue("Window", "LastDir", "/srv/写真"));
    EXPECT_TRUE(p.SetValue("Option", "Folder1", "none"));
    ASSERT_TRUE(p.Save(Path()));
    EXPECT_EQ(Read(), QString("[Window]\nLastDir=/srv/写真\n[Option]\nFolder1=none\n").toUtf8());
}

TEST_F(ProfileFileTest, ValuesSurviveQuotingAndBlanks)
{
    const QStringList values = {"  leading and trailing  ", "\"quoted\"", "'single'", "\"half", "a=b=c", "   ",
                                "　全角スペース　"};
    ProfileFile p;
    ASSERT_TRUE(p.Load(Path()));
    for (int i = 0; i < values.size(); ++i)
        ASSERT_TRUE(p.SetValue("S", QString("K%1").arg(i), values[i]));
    ASSERT_TRUE(p.Save(Path()));
    ProfileFile q;
    ASSERT_TRUE(q.Load(Path()));
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(q.Value("S", QString("K%1").arg(i)), values[i]) << i;

    // Files written elsewhere: quotes around a value are dropped on reading.
    Write("[S]\nA=\"C:\\Program Files\\x.exe\"\nB='x'\nC=\"unbalanced'\n");
    ASSERT_TRUE(q.Load(Path()));
    EXPECT_EQ(q.Value("S", "A"), QString("C:\\Program Files\\x.exe"));
    EXPECT_EQ(q.Value("S", "B"), QString("x"));
    EXPECT_EQ(q.Value("S", "C"), QString("\"unbalanced'"));
}

TEST_F(ProfileFileTest, RefusesNamesAndValuesThatCannotBeStored)
{
    ProfileFile p;
    ASSERT_TRUE(p.Load(Path()));
    EXPECT_FALSE(p.SetValue("S", "K", "two\nlines"));
    EXPECT_FALSE(p.SetValue("S", "K", QString("nul") + QChar(0)));
    EXPECT_FALSE(p.SetValue("S", "", "v"));
    EXPECT_FALSE(p.SetValue("S", "a=b", "v"));
    EXPECT_FALSE(p.SetValue("S]", "K", "v"));
    EXPECT_FALSE(p.SetValue("S", ";K", "v"));
    EXPECT_EQ(p.Serialize(), QByteArray());
}

TEST_F(ProfileFileTest, HonoursByteOrderMarks)
{
    const QString text = "[Window]\r\nLastDir=C:\\写真\\旅行\r\n";
    const QByteArray utf8 = text.toUtf8();
    QByteArray le("\xFF\xFE", 2), be("\xFE\xFF", 2);
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        le.append(lo).append(hi);
        be.append(hi).append(lo);
    }
    const QList<QByteArray> files = {QByteArray("\xEF\xBB\xBF") + utf8, le, be};
    for (const QByteArray& bytes : files) {
        Write(bytes);
        ProfileFile p;
        ASSERT_TRUE(p.Load(Path()));
        EXPECT_EQ(p.Value("window", "lastdir"), QString("C:\\写真\\旅行"));
        // Rewritten as UTF-8 without a mark.
        ASSERT_TRUE(p.SetValue("Window", "Top", "3"));
        ASSERT_TRUE(p.Save(Path()));
        EXPECT_EQ(Read(), QByteArray(utf8 + "Top=3\r\n"));
    }
}

TEST_F(ProfileFileTest, DamagedContentIsSkippedAndKept)
{
    std::mt19937 rng(1234);
    QByteArray junk;
    for (int i = 0; i < 64 * 1024; ++i)
        junk.append(char(rng() & 0xFF));
    QByteArray bytes = junk
                       + "\n"
                         "[Window]\n"
                         "Left=5\n"
                         "Bad\xFF\xFEValue=1\n"
                         "Top=1\xC3\x28\n" // invalid UTF-8 in the value
                       + QByteArray("Nul=a\0b\n", 8)
                       + "[Dam\xFF"
                         "aged]\n"
                         "Width=77\n" // belongs to the damaged section
                         "[Window]\n"
                         "Height=9\n";
    Write(bytes);
    ProfileFile p;
    ASSERT_TRUE(p.Load(Path()));
    EXPECT_EQ(p.Value("Window", "Left"), QString("5"));
    EXPECT_EQ(p.Value("Window", "Height"), QString("9"));
    EXPECT_FALSE(p.Value("Window", "Top").has_value());
    EXPECT_FALSE(p.Value("Window", "Nul").has_value());
    EXPECT_FALSE(p.Value("Window", "Width").has_value());

    // Saving changes only what was set: the junk survives byte for byte.
    ASSERT_TRUE(p.SetValue("Window", "Left", "6"));
    ASSERT_TRUE(p.Save(Path()));
    QByteArray expected = bytes;
    expected.replace("Left=5\n", "Left=6\n");
    EXPECT_EQ(Read(), expected);
}

TEST_F(ProfileFileTest, HugeSingleLineAndFilesWithoutSections)
{
    QByteArray huge(50 * 1024 * 1024, 'x');
    Write(huge);
    ProfileFile p;
    ASSERT_TRUE(p.Load(Path()));
    EXPECT_FALSE(p.Value("x", "x").has_value());
    ASSERT_TRUE(p.SetValue("Window", "Left", "1"));
    ASSERT_TRUE(p.Save(Path()));
    const QByteArray saved = Read();
    EXPECT_EQ(saved.size(), huge.size() + qsizetype(strlen("\n[Window]\nLeft=1\n")));
    EXPECT_TRUE(saved.startsWith(huge));
    EXPECT_TRUE(saved.endsWith("\n[Window]\nLeft=1\n"));

    Write("Left=3\nTop=4\n");
    ASSERT_TRUE(p.Load(Path()));
    EXPECT_FALSE(p.Value("Window", "Left").has_value());
    EXPECT_FALSE(p.Value("", "Left").has_value());
}

TEST_F(ProfileFileTest, SaveLeavesNoTemporaryFileAndKeepsPermissions)
{
    Write("[A]\nB=1\n");
    ASSERT_TRUE(
        QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    ASSERT_TRUE(platform::WritePrivateProfileString("A", "B", "2", Path()));
    ASSERT_TRUE(platform::WritePrivateProfileString("A", "C", "3", Path()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"test.ini"});
    EXPECT_EQ(Read(), QByteArray("[A]\nB=2\nC=3\n"));
    const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                          | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                          | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFile::permissions(Path()) & mode,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    EXPECT_EQ(platform::GetPrivateProfileString("a", "c", "def", Path()), QString("3"));
    EXPECT_EQ(platform::GetPrivateProfileString("a", "d", "def", Path()), QString("def"));
    EXPECT_EQ(platform::GetPrivateProfileString("a", "b", "def", Path("absent.ini")), QString("def"));
}

TEST_F(ProfileFileTest, FailedSaveLeavesTheOriginalIntact)
{
    // A folder where the file should be: nothing can be read or written.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    ProfileFile p;
    EXPECT_FALSE(p.Load(Path("folder.ini")));
    EXPECT_TRUE(p.LoadFailed());
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "B", "1", Path("folder.ini")));
    EXPECT_EQ(platform::GetPrivateProfileString("A", "B", "def", Path("folder.ini")), QString("def"));
    EXPECT_TRUE(QFileInfo(Path("folder.ini")).isDir());

    // A missing folder.
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "B", "1", Path("no/such/dir.ini")));

    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    // A read-only folder: the save fails and the old file stays as it was.
    Write("[A]\nB=old\n");
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "B", "new", Path()));
    ASSERT_TRUE(
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    EXPECT_EQ(Read(), QByteArray("[A]\nB=old\n"));

    // An unreadable file is not replaced.
    ASSERT_TRUE(QFile::setPermissions(Path(), QFileDevice::WriteOwner));
    EXPECT_FALSE(platform::WritePrivateProfileString("A", "B", "new", Path()));
    ASSERT_TRUE(QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(Read(), QByteArray("[A]\nB=old\n"));
}

} // namespace
