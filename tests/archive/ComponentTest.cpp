// The archive component: choosing the handler, Extract, the output buffer
// and the progress window.
#include "QStringPrinter.h"
#include "StubSupport.h"
#include "archive/ArchiveFile.h"
#include "archive/ArchiverErrors.h"
#include "archive/Lha32.h"
#include "archive/Rar32.h"
#include "archive/Zip32.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Q(const char* s)
{
    return QString::fromUtf8(s);
}

QString ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EArchiver& e) {
        return e.Message();
    }
    return QString();
}

class Component : public ::testing::Test {
protected:
    void SetUp() override { platform::AddLibrarySearchFolder(QStringLiteral(ARC_STUB_DIR)); }

    // What the viewer does with an archive.
    static void ViewerOptions(TArchiveFile& af)
    {
        af.Options().x = 0;
        af.Options().c = 1;
        af.Options().jse = 1;
        af.Options().jso = 1;
    }
};

TEST_F(Component, NoProgressWindowWithoutOnProgress)
{
    // Runs before any test that assigns OnProgress.
    TArchiveFile af;
    af.SetFileName(Q("/a/b.lzh"));
    ViewerOptions(af);
    af.Extract(0, nullptr, Q("/dest"), TFileList{TWideTextArray{nullptr}});
    EXPECT_EQ(af.ProgressWindow(), 0u);
    EXPECT_EQ(TArchiveFile::ArcExtractMessage(), 0u);
    EXPECT_FALSE(arcmsg::IsWindowMessageRegistered(Q("wm_arcextract")));
}

TEST_F(Component, FreshComponent)
{
    QObject owner;
    auto* af = new TArchiveFile(&owner); // freed with its owner
    EXPECT_EQ(af->ArchiverType(), atAutoDetect);
    EXPECT_TRUE(IsUnset(af->FileName()));
    EXPECT_EQ(af->Archiver(), nullptr);
    EXPECT_EQ(af->OutputSize(), 0);
    EXPECT_EQ(af->Options().c, -1);
    EXPECT_EQ(ErrorOf([&] { af->Extract(0, nullptr, Q("/d"), TFileList{}); }), Q("書庫の形式を判別できません。"));
}

TEST_F(Component, FileNameChoosesTheHandler)
{
    TArchiveFile af;
    af.SetFileName(Q("/x/notes.txt")); // unknown: nothing changes but the name
    EXPECT_EQ(af.ArchiverType(), atAutoDetect);
    EXPECT_EQ(af.FileName(), Q("/x/notes.txt"));
    EXPECT_EQ(ErrorOf([&] { af.Extract(0, nullptr, Q("/d"), TFileList{}); }), Q("書庫の形式を判別できません。"));

    af.SetFileName(Q("/x/a.ZIP"));
    EXPECT_EQ(af.ArchiverType(), atZip);
    ASSERT_NE(dynamic_cast<TZip32*>(af.Archiver()), nullptr);

    // A .gca name raises and keeps the old name and handler.
    EXPECT_EQ(ErrorOf([&] { af.SetFileName(Q("/x/a.gca")); }), Q("書庫の形式を特定できませんでした。"));
    EXPECT_EQ(af.FileName(), Q("/x/a.ZIP"));
    EXPECT_EQ(af.ArchiverType(), atZip);

    // An unknown name keeps the ZIP handler and stores the new name.
    TArchiver* zip = af.Archiver();
    af.SetFileName(Q("/x/readme.txt"));
    EXPECT_EQ(af.Archiver(), zip);
    EXPECT_EQ(af.ArchiverType(), atZip);
    EXPECT_EQ(af.FileName(), Q("/x/readme.txt"));

    af.SetFileName(Q("/x/a.tar.gz"));
    EXPECT_EQ(af.ArchiverType(), atTgz);
}

TEST_F(Component, ArchiverTypeSetterRules)
{
    TArchiveFile af;
    af.SetArchiverType(atLha);
    TArchiver* first = af.Archiver();
    ASSERT_NE(dynamic_cast<TLha32*>(first), nullptr);
    af.SetArchiverType(atLha); // a new object even for the same type
    EXPECT_NE(af.Archiver(), first);
    EXPECT_NE(dynamic_cast<TLha32*>(af.Archiver()), nullptr);

    TArchiver* current = af.Archiver();
    af.SetArchiverType(atNone);
    EXPECT_EQ(af.ArchiverType(), atLha);
    EXPECT_EQ(af.Archiver(), current);
    af.SetArchiverType(atAutoDetect);
    EXPECT_EQ(af.ArchiverType(), atAutoDetect);
    EXPECT_EQ(af.Archiver(), current);

    for (TArchiverType t : {atYz1, atGCA, atBel}) {
        EXPECT_EQ(ErrorOf([&] { af.SetArchiverType(t); }), Q("書庫の形式を特定できませんでした。"));
        EXPECT_EQ(af.ArchiverType(), atAutoDetect);
        EXPECT_EQ(af.Archiver(), current);
    }
    af.SetReading(true);
    af.SetArchiverType(atBel);
    EXPECT_EQ(af.ArchiverType(), atBel);
    af.SetReading(false);
    af.SetDesigning(true);
    af.SetArchiverType(atRar); // only stored
    EXPECT_EQ(af.ArchiverType(), atRar);
    EXPECT_EQ(af.Archiver(), current);
    af.SetDesigning(false);

    for (TArchiverType t : {atLha, atZip, atCab, atArj, atTar, atTgz, atBZ2, atRar, atBga, at7z}) {
        af.SetArchiverType(t);
        EXPECT_EQ(af.ArchiverType(), t);
        EXPECT_NE(af.Archiver(), nullptr);
    }
}

TEST_F(Component, ExtractUsesItsOwnOptionsOrTheGivenOnes)
{
    TArchiveFile af;
    af.SetFileName(Q("/p/写真.lzh"));
    ViewerOptions(af);
    EXPECT_EQ(af.Extract(0, nullptr, Q("/work/picture/写真_lzh"), TFileList{TWideTextArray{nullptr}}), 0);
    EXPECT_EQ(af.CommandLine(), Q("x -+ -c1 -x0 -jse1 -jso1  \"/p/写真.lzh\" \"/work/picture/写真_lzh/\" "));
    EXPECT_EQ(stub::LastCommand(TLha32::Binding()->Module()), af.CommandLine());

    TArchiverOptions other;
    other.jse = 0;
    other.jso = 0;
    af.Extract(0, &other, Q("/d/"), TFileList{Q("one.jpg")});
    EXPECT_EQ(af.CommandLine(), Q("x -+ -jse0 -jso0  \"/p/写真.lzh\" \"/d/\" \"one.jpg\" "));

    // The library's return code comes back unchanged.
    stub::SetResult(TLha32::Binding()->Module(), 0x8019);
    EXPECT_EQ(af.Extract(0, nullptr, Q("/d"), TFileList{}), 0x8019);
    stub::SetResult(TLha32::Binding()->Module(), 0);

    // A failing builder still leaves the command line of the handler.
    TArchiverOptions broken;
    EXPECT_THROW(af.Extract(0, &broken, Q("/d"), TFileList{}), EAssertionFailed);
}

TEST_F(Component, OutputBuffer)
{
    TArchiveFile af;
    af.SetOutputSize(10);
    EXPECT_EQ(af.OutputSize(), 10);
    EXPECT_TRUE(af.Output().isEmpty());
    af.SetFileName(Q("/a.rar"));
    ViewerOptions(af);
    af.Extract(0, nullptr, Q("/d"), TFileList{});
    EXPECT_EQ(af.OutputSize(), 10);
    EXPECT_EQ(af.Output(), Q("OUT:-e  \""));
    af.SetOutputSize(0);
    EXPECT_EQ(af.OutputSize(), 0);
    af.Extract(0, nullptr, Q("/d"), TFileList{});
    EXPECT_EQ(af.Output(), QString());
}

TEST_F(Component, ProgressWindowAndMessage)
{
    TArchiveFile af;
    af.SetFileName(Q("/a/b.lzh"));
    ViewerOptions(af);
    int calls = 0;
    std::int32_t lastState = -1;
    void* lastRecord = nullptr;
    bool abortNext = false;
    af.OnProgress = [&](TArchiveFile* sender, std::int32_t state, void* lpEis, bool& abort) {
        EXPECT_EQ(sender, &af);
        ++calls;
        lastState = state;
        lastRecord = lpEis;
        abort = abortNext;
    };
    af.Extract(0, nullptr, Q("/dest"), TFileList{});
    const arcmsg::TWindowHandle window = af.ProgressWindow();
    ASSERT_NE(window, 0u);
    const unsigned msg = TArchiveFile::ArcExtractMessage();
    EXPECT_EQ(msg, arcmsg::RegisterWindowMessage(Q("wm_arcextract")));
    // The handler had the window as its owner while extracting.
    EXPECT_EQ(af.CommandLine(), Q("x -+ -c1 -n1 -x0 -jse1 -jso1  \"/a/b.lzh\" \"/dest/\" "));
    platform::LibraryHandle module = TLha32::Binding()->Module();
    EXPECT_EQ(stub::LastEntry(module), Q("UnlhaKillOwnerWindowEx"));
    EXPECT_EQ(stub::LastWindow(module), window);
    EXPECT_FALSE(af.Archiver()->HasOwnerWindow());

    int record = 0;
    EXPECT_EQ(arcmsg::SendMessage(window, msg, 2, reinterpret_cast<arcmsg::LPARAM>(&record)), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(lastState, 2);
    EXPECT_EQ(lastRecord, &record);
    abortNext = true;
    EXPECT_EQ(arcmsg::SendMessage(window, msg, 0, 0), 1);
    EXPECT_EQ(arcmsg::SendMessage(window, msg + 1, 0, 0), 0); // other messages: default
    EXPECT_EQ(calls, 2);

    // One window per component, one message per process.
    af.Extract(0, nullptr, Q("/dest"), TFileList{});
    EXPECT_EQ(af.ProgressWindow(), window);
    TArchiveFile second;
    second.SetFileName(Q("/a/c.lzh"));
    ViewerOptions(second);
    second.OnProgress = af.OnProgress;
    second.Extract(0, nullptr, Q("/dest"), TFileList{});
    EXPECT_NE(second.ProgressWindow(), window);
    EXPECT_EQ(TArchiveFile::ArcExtractMessage(), msg);

    const int windows = arcmsg::WindowCount();
    {
        TArchiveFile third;
        third.SetFileName(Q("/a/d.lzh"));
        ViewerOptions(third);
        third.OnProgress = af.OnProgress;
        third.Extract(0, nullptr, Q("/dest"), TFileList{});
        EXPECT_EQ(arcmsg::WindowCount(), windows + 1);
    }
    EXPECT_EQ(arcmsg::WindowCount(), windows);
}

} // namespace
