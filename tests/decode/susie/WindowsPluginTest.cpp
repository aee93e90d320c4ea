// Windows Susie plug-ins: told apart by content, loaded by the Windows
// helper under the real Wine, decoding through the same host and adapter as
// native plug-ins. The plug-ins are the tests' own, cross-built with
// MinGW-w64.
#include "SusieTestSupport.h"

#include "decode/FormatRegistry.h"
#include "decode/susie/PluginBinary.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/SlowPluginLoader.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "decode/susie/WindowsPlugin.h"
#include "decode/susie/WindowsPluginFacts.h"
#include "helper/HelperClient.h"
#include "platform/WineRuntime.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

namespace {

QString WindowsFixture(const QString& name)
{
    return QStringLiteral(WINDOWS_FIXTURE_DIR "/") + name;
}

// The tests' own format: "OWT1", width and height (16 bits each), RGB rows
// top first. magic "OWTX" is the crashing plug-in's.
QByteArray MakeOwt(const QImage& image, const char* magic = "OWT1")
{
    QByteArray bytes(magic, 4);
    char size[4];
    qToLittleEndian<quint16>(static_cast<quint16>(image.width()), size);
    qToLittleEndian<quint16>(static_cast<quint16>(image.height()), size + 2);
    bytes.append(size, 4);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            bytes.append(static_cast<char>(qRed(p)));
            bytes.append(static_cast<char>(qGreen(p)));
            bytes.append(static_cast<char>(qBlue(p)));
        }
    return bytes;
}

// Collects the program's warnings while alive.
class LogCapture {
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::Handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static const QStringList& Lines() { return s_lines; }
    static int Count(const QString& part)
    {
        int n = 0;
        for (const QString& line : s_lines)
            n += line.contains(part) ? 1 : 0;
        return n;
    }

private:
    static void Handle(QtMsgType, const QMessageLogContext&, const QString& text) { s_lines << text; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

// A DLL head: MZ, e_lfanew, PE signature, machine, characteristics and the
// optional header's magic.
QByteArray PeHead(quint16 machine, quint16 characteristics, quint16 magic, quint32 peOffset = 0x80)
{
    QByteArray head(static_cast<qsizetype>(peOffset) + 26, '\0');
    head[0] = 'M';
    head[1] = 'Z';
    qToLittleEndian<quint32>(peOffset, head.data() + 0x3C);
    std::memcpy(head.data() + peOffset, "PE\0\0", 4);
    qToLittleEndian<quint16>(machine, head.data() + peOffset + 4);
    qToLittleEndian<quint16>(characteristics, head.data() + peOffset + 22);
    qToLittleEndian<quint16>(magic, head.data() + peOffset + 24);
    return head;
}

} // namespace

TEST(PluginBinaryTest, KindIsToldByContentNotByName)
{
    EXPECT_EQ(PluginBinaryKindOfHead(PeHead(0x014C, 0x2102, 0x10B)), PluginBinaryKind::Windows32);
    EXPECT_EQ(PluginBinaryKindOfHead(PeHead(0x8664, 0x2022, 0x20B)), PluginBinaryKind::Windows64);
    EXPECT_EQ(PluginBinaryKindOfHead(PeHead(0xAA64, 0x2022, 0x20B)), PluginBinaryKind::WindowsOther);
    // A program, not a DLL; a machine that contradicts its header; a header
    // cut short; a PE offset pointing far away; no signature.
    EXPECT_EQ(PluginBinaryKindOfHead(PeHead(0x8664, 0x0022, 0x20B)), PluginBinaryKind::Unknown);
    EXPECT_EQ(PluginBinaryKindOfHead(PeHead(0x014C, 0x2102, 0x20B)), PluginBinaryKind::WindowsOther);
    EXPECT_EQ(PluginBinaryKindOfHead(PeHead(0x8664, 0x2022, 0x20B).left(0x80 + 10)), PluginBinaryKind::Unknown);
    QByteArray far = PeHead(0x8664, 0x2022, 0x20B);
    qToLittleEndian<quint32>(0x7FFFFFF0u, far.data() + 0x3C);
    EXPECT_EQ(PluginBinaryKindOfHead(far), PluginBinaryKind::Unknown);
    QByteArray unsigned_ = PeHead(0x8664, 0x2022, 0x20B);
    unsigned_[0x80] = 'N';
    EXPECT_EQ(PluginBinaryKindOfHead(unsigned_), PluginBinaryKind::Unknown);
    EXPECT_EQ(PluginBinaryKindOfHead("MZ"), PluginBinaryKind::Unknown);
    EXPECT_EQ(PluginBinaryKindOfHead(QByteArray()), PluginBinaryKind::Unknown);

    // The real files: the native plug-ins are ELF whatever their name, the
    // cross-built ones are DLLs of their machine.
    EXPECT_EQ(PluginBinaryKindOfFile(FixturePlugin("testformat")), PluginBinaryKind::Elf);
    EXPECT_EQ(PluginBinaryKindOfFile(QStringLiteral("/nonexistent/x.spi")), PluginBinaryKind::Unknown);
    if (!QFile::exists(WindowsFixture("owt.sph")))
        GTEST_SKIP() << "no MinGW-w64 compilers: Windows test plug-ins not built";
    EXPECT_EQ(PluginBinaryKindOfFile(WindowsFixture("owt.sph")), PluginBinaryKind::Windows64);
    EXPECT_EQ(PluginBinaryKindOfFile(WindowsFixture("owt.spi")), PluginBinaryKind::Windows32);
    // The helper program is a Windows program, not a DLL.
    EXPECT_EQ(PluginBinaryKindOfFile(ORVANTO_BIN_DIR "/orvanto-spihost64.exe"), PluginBinaryKind::Unknown);
}

class WindowsPluginTest : public SusieFolderTest {
protected:
    void SetUp() override
    {
        SusieFolderTest::SetUp();
        if (qEnvironmentVariableIsSet("ORVANTO_WINE64"))
            GTEST_SKIP() << "Wine hidden from the program in this run";
        if (platform::WineLoader(64).isEmpty())
            GTEST_SKIP() << "wine64 is not installed";
        if (!QFile::exists(WindowsFixture("owt.sph")))
            GTEST_SKIP() << "no MinGW-w64 compilers: Windows test plug-ins not built";
        SetWindowsPluginHelperFolderForTesting(ORVANTO_BIN_DIR);
        m_spis = std::make_unique<TSPIs>();
        ConfigureViewerSPIs(*m_spis);
    }
    void TearDown() override
    {
        m_spis.reset();
        SusieFolderTest::TearDown();
    }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = PathOf(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    std::unique_ptr<TSPIs> m_spis;
};

TEST_F(WindowsPluginTest, SixtyFourBitPluginIsFoundAndDescribedInUtf8)
{
    // Named like a native plug-in, found among them by content.
    CopyIn(WindowsFixture("owt.sph"), "owt64.sph");
    CopyIn(WindowsFixture("owt.sph"), "renamed.spi");
    CopyIn(FixturePlugin("testformat"), "native.spi");
    SearchViewerPlugins(*m_spis, Folder());
    ASSERT_EQ(m_spis->Count(), 3);
    int windows = 0;
    for (int i = 0; i < m_spis->Count(); ++i) {
        TSPI* spi = m_spis->Items(i);
        if (!spi->IsWindowsPlugin())
            continue;
        ++windows;
        EXPECT_TRUE(spi->IsInstanceOf(&TInSPI::ClassInfo));
        EXPECT_EQ(spi->APIVersion(), QByteArray("00IN"));
        EXPECT_EQ(spi->PluginInfo(), QByteArray("OWT test plug-in for Windows"));
        EXPECT_EQ(spi->Extensions(), QStringList{"*.owt"});
        EXPECT_EQ(spi->FormatNames(), QStringList{QStringLiteral("テスト画像")}); // from CP932
        EXPECT_TRUE(spi->HasEntry(TSPI::epGetPreview));
        EXPECT_FALSE(spi->HasEntry(TSPI::epConfigurationDlg));
        EXPECT_FALSE(spi->HasEntry(TSPI::epGetArchiveInfo));
        QByteArray text;
        EXPECT_EQ(spi->GetPluginInfo(4, text), 0);
        EXPECT_TRUE(text.isEmpty());
    }
    EXPECT_EQ(windows, 2);
}

TEST_F(WindowsPluginTest, PicturesDecodeFromFilesAndMemoryWithRecordAndText)
{
    std::unique_ptr<TSPI> spi = CreateSPI(CopyIn(WindowsFixture("owt.sph"), "owt.sph"));
    ASSERT_NE(spi, nullptr);
    const QImage picture = Sample(7, 5);
    const QByteArray owt = MakeOwt(picture);
    // A name the plug-ins' code page cannot hold, and the data after an
    // offset.
    const QString path = Write(QStringLiteral("画像 ß ✓.owt"), QByteArray(16, 'x') + owt);
    const QByteArray name = QFile::encodeName(path);

    QByteArray head(SUSIE_HEAD_SIZE, '\0');
    std::memcpy(head.data(), owt.constData(), 8);
    EXPECT_NE(spi->IsSupported(name.constData(), head.constData()), 0);
    EXPECT_EQ(spi->IsSupported("", QByteArray(SUSIE_HEAD_SIZE, 'z').constData()), 0);

    SusiePictureInfo info{};
    ASSERT_EQ(spi->GetPictureInfo(name.constData(), 16, SUSIE_INPUT_FILE, &info), 0);
    EXPECT_EQ(info.width, 7);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.colorDepth, 24);
    EXPECT_EQ(info.xDensity, 72);
    ASSERT_NE(info.hInfo, nullptr);
    EXPECT_STREQ(static_cast<const char*>(SusieLocalLock(info.hInfo)), "コメント");
    SusieLocalFree(info.hInfo);
    EXPECT_EQ(spi->GetPictureInfo(name.constData(), 0, SUSIE_INPUT_FILE, &info), SUSIE_UNKNOWN_FORMAT);

    // Through the adapter, the way the viewer loads: file and stream.
    TSPIGraphic graphic;
    const QString plain = Write("plain.owt", owt);
    m_spis->Add(std::move(spi));
    graphic.LoadFromFile(plain);
    EXPECT_TRUE(SamePixels(graphic.ToImage(), picture));
    EXPECT_EQ(graphic.TextInfo(), QByteArray("コメント"));
    graphic.LoadFromStream(owt);
    EXPECT_TRUE(SamePixels(graphic.ToImage(), picture));
    // Data that is too short is refused, not read past its end.
    EXPECT_THROW(graphic.LoadFromStream(owt.left(20)), EGraphicError);
}

TEST_F(WindowsPluginTest, ProgressReachesTheHostAndAbortStopsThePlugin)
{
    std::unique_ptr<TSPI> spi = CreateSPI(CopyIn(WindowsFixture("owt.sph"), "owt.sph"));
    ASSERT_NE(spi, nullptr);
    const QByteArray owt = MakeOwt(Sample(64, 400));
    const QByteArray name = QFile::encodeName(Write("rows.owt", owt));

    struct Seen {
        int calls = 0;
        int stopAfter = -1;
        int32_t lastCurrent = 0;
        int32_t total = 0;
    } seen;
    auto progress = [](int32_t current, int32_t total, intptr_t data) -> int32_t {
        auto* s = reinterpret_cast<Seen*>(data);
        ++s->calls;
        s->lastCurrent = current;
        s->total = total;
        return s->stopAfter >= 0 && s->calls > s->stopAfter ? 1 : 0;
    };
    SusieLocalHandle bmi = nullptr, bits = nullptr;
    ASSERT_EQ(spi->GetPicture(name.constData(), 0, SUSIE_INPUT_FILE, &bmi, &bits, progress,
                              reinterpret_cast<intptr_t>(&seen)),
              0);
    EXPECT_EQ(seen.calls, 400); // every report of the plug-in, one by one
    EXPECT_EQ(seen.lastCurrent, 400);
    EXPECT_EQ(seen.total, 400);
    ASSERT_NE(bmi, nullptr);
    ASSERT_NE(bits, nullptr);
    EXPECT_GE(SusieLocalSize(bmi), 40u);
    EXPECT_GE(SusieLocalSize(bits), 64u * 3u * 400u);
    SusieLocalFree(bmi);
    SusieLocalFree(bits);

    // The first report asks to stop a slow decode (5 ms a row): the plug-in
    // gives up long before its last row (aborted), hands out no blocks, and
    // the helper serves the next call.
    const QByteArray slowName = QFile::encodeName(Write("slow.owt", MakeOwt(Sample(3, 400), "OWTS")));
    seen = Seen{};
    seen.stopAfter = 0;
    bmi = bits = nullptr;
    EXPECT_EQ(spi->GetPicture(slowName.constData(), 0, SUSIE_INPUT_FILE, &bmi, &bits, progress,
                              reinterpret_cast<intptr_t>(&seen)),
              SUSIE_ABORTED);
    EXPECT_EQ(bmi, nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(seen.calls, 1); // nothing is reported after the stop
    EXPECT_LT(seen.lastCurrent, 100);
    ASSERT_EQ(spi->GetPreview(name.constData(), 0, SUSIE_INPUT_FILE, &bmi, &bits, nullptr, 0), 0);
    SusieLocalFree(bmi);
    SusieLocalFree(bits);
}

TEST_F(WindowsPluginTest, CrashingPluginEndsOnlyItsHelperCall)
{
    CopyIn(WindowsFixture("crash.sph"), "crash.sph");
    CopyIn(WindowsFixture("owt.sph"), "owt.sph");
    SearchViewerPlugins(*m_spis, Folder());
    ASSERT_EQ(m_spis->Count(), 2);
    const QImage picture = Sample(3, 2);
    const QString bad = Write("bad.owx", MakeOwt(picture, "OWTX"));
    const QString good = Write("good.owt", MakeOwt(picture));

    LogCapture log;
    helper::FaultNotices::ResetForTesting();
    TSPIGraphic graphic;
    EXPECT_THROW(graphic.LoadFromFile(bad), EGraphicError);
    EXPECT_GE(LogCapture::Count(QStringLiteral("crash.sph")), 1) << LogCapture::Lines().join('\n').toStdString();
    // The program's one message per plug-in and session names it.
    EXPECT_EQ(helper::FaultNotices::ReportedKeys(),
              QStringList{QStringLiteral("spi:") + QFileInfo(PathOf("crash.sph")).canonicalFilePath()});
    // The helper is started again and the other plug-in decodes.
    graphic.LoadFromFile(good);
    EXPECT_TRUE(SamePixels(graphic.ToImage(), picture));
    EXPECT_THROW(graphic.LoadFromFile(bad), EGraphicError);
    graphic.LoadFromFile(good);
    EXPECT_TRUE(SamePixels(graphic.ToImage(), picture));
    EXPECT_EQ(helper::FaultNotices::ReportedKeys().size(), 1);
}

TEST_F(WindowsPluginTest, ThirtyTwoBitPluginsNeedWine32)
{
    const QString path = CopyIn(WindowsFixture("owt.spi"), "owt.spi");
    LogCapture log;
    std::unique_ptr<TSPI> spi = CreateSPI(path);
    if (platform::WineLoader(32).isEmpty()) {
        // Skipped, and said once however many 32-bit plug-ins there are.
        EXPECT_EQ(spi, nullptr);
        EXPECT_EQ(CreateSPI(CopyIn(WindowsFixture("crash.spi"), "crash.spi")), nullptr);
        EXPECT_EQ(LogCapture::Count(QStringLiteral("wine32")), 1) << LogCapture::Lines().join('\n').toStdString();
        GTEST_SKIP() << "wine32 (i386) is not installed: only its absence was tested";
    }
    ASSERT_NE(spi, nullptr);
    EXPECT_EQ(spi->FormatNames(), QStringList{QStringLiteral("テスト画像")});
    m_spis->Add(std::move(spi));
    const QImage picture = Sample(9, 4);
    TSPIGraphic graphic;
    graphic.LoadFromFile(Write("p.owt", MakeOwt(picture)));
    EXPECT_TRUE(SamePixels(graphic.ToImage(), picture));
}

// Run with ORVANTO_WINE64 and ORVANTO_WINE32 set empty (ctest
// susie_windows_without_wine): Windows plug-ins are skipped with one line
// in the log; native plug-ins load as before.
TEST(WithoutWine, WindowsPluginsAreSkippedAndSaidOnce)
{
    if (!qEnvironmentVariableIsSet("ORVANTO_WINE64") || !qEnvironmentVariableIsEmpty("ORVANTO_WINE64"))
        GTEST_SKIP() << "runs only with Wine hidden (ctest susie_windows_without_wine)";
    if (!QFile::exists(WindowsFixture("owt.sph")))
        GTEST_SKIP() << "no MinGW-w64 compilers: Windows test plug-ins not built";
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(WindowsFixture("owt.sph"), dir.filePath("a.sph")));
    ASSERT_TRUE(QFile::copy(WindowsFixture("crash.sph"), dir.filePath("b.sph")));
    ASSERT_TRUE(QFile::copy(FixturePlugin("testformat"), dir.filePath("native.spi")));
    LogCapture log;
    TSPIs spis;
    ConfigureViewerSPIs(spis);
    SearchViewerPlugins(spis, dir.path());
    ASSERT_EQ(spis.Count(), 1);
    EXPECT_FALSE(spis.Items(0)->IsWindowsPlugin());
    EXPECT_EQ(LogCapture::Lines().size(), 1) << LogCapture::Lines().join('\n').toStdString();
    EXPECT_EQ(LogCapture::Count(QStringLiteral("Wine")), 1);
}

// Starting Wine takes seconds (half a minute while it makes its prefix), so
// the search leaves a Windows plug-in it knows nothing of to a loader of its
// own thread; what the plug-in told is kept, and the next search offers it
// at once, Wine starting only with its first real call.
TEST_F(WindowsPluginTest, UndescribedPluginsLoadApartAndDescribedOnesNeedNoWineToBeOffered)
{
    const QString dll = CopyIn(WindowsFixture("owt.sph"), "owt.sph");
    const QString canonical = QFileInfo(dll).canonicalFilePath();
    QStringList slow;
    m_spis->OnSlowPlugin = [&slow](const QString& path) { slow << path; };
    SearchViewerPlugins(*m_spis, Folder());
    EXPECT_EQ(m_spis->Count(), 0);
    ASSERT_EQ(slow, QStringList{canonical});

    std::promise<SlowPluginLoader::LoadedPlugins> done;
    {
        SlowPluginLoader loader(slow,
                                [&done](SlowPluginLoader::LoadedPlugins loaded) { done.set_value(std::move(loaded)); });
    }
    SlowPluginLoader::LoadedPlugins loaded = done.get_future().get();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_TRUE(loaded[0]->IsInstanceOf(&TInSPI::ClassInfo));
    EXPECT_TRUE(m_spis->AddFound(std::move(loaded[0])));
    EXPECT_EQ(m_spis->Count(), 1);

    // Searched again with the helper ended: offered with its formats and
    // entry points as before, without Wine.
    m_spis->Clear();
    StopWindowsPluginHelper(64);
    slow.clear();
    SearchViewerPlugins(*m_spis, Folder());
    EXPECT_TRUE(slow.isEmpty());
    ASSERT_EQ(m_spis->Count(), 1);
    TSPI* spi = m_spis->Items(0);
    EXPECT_FALSE(WindowsPluginHelperRunning(64));
    EXPECT_TRUE(spi->IsInstanceOf(&TInSPI::ClassInfo));
    EXPECT_EQ(spi->PluginInfo(), QByteArray("OWT test plug-in for Windows"));
    EXPECT_EQ(spi->Extensions(), QStringList{"*.owt"});
    EXPECT_EQ(spi->FormatNames(), QStringList{QStringLiteral("テスト画像")});
    EXPECT_TRUE(spi->HasEntry(TSPI::epGetPreview));
    EXPECT_FALSE(spi->HasEntry(TSPI::epConfigurationDlg));
    // The first picture starts the helper.
    const QImage picture = Sample(5, 3);
    TSPIGraphic graphic;
    graphic.LoadFromFile(Write("p.owt", MakeOwt(picture)));
    EXPECT_TRUE(SamePixels(graphic.ToImage(), picture));
    EXPECT_TRUE(WindowsPluginHelperRunning(64));

    // A plug-in file that changed is asked again.
    m_spis->Clear();
    {
        QFile file(dll);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write(QByteArray(16, '\0'));
    }
    slow.clear();
    SearchViewerPlugins(*m_spis, Folder());
    EXPECT_EQ(slow, QStringList{canonical});
    m_spis->OnSlowPlugin = nullptr;
}

// A plug-in that crashes while telling its formats in the background is left
// out, named once, and asked again by the next search.
TEST_F(WindowsPluginTest, PluginCrashingWhileTellingItsFormatsIsLeftOutAndNamed)
{
    if (!QFile::exists(WindowsFixture("crashinfo.sph")))
        GTEST_SKIP() << "crashing test plug-in not built";
    const QString bad = QFileInfo(CopyIn(WindowsFixture("crashinfo.sph"), "crashinfo.sph")).canonicalFilePath();
    const QString good = QFileInfo(CopyIn(WindowsFixture("owt.sph"), "owt.sph")).canonicalFilePath();
    QStringList slow;
    m_spis->OnSlowPlugin = [&slow](const QString& path) { slow << path; };
    SearchViewerPlugins(*m_spis, Folder());
    ASSERT_EQ(slow, (QStringList{bad, good}));

    LogCapture log;
    helper::FaultNotices::ResetForTesting();
    std::promise<SlowPluginLoader::LoadedPlugins> done;
    {
        SlowPluginLoader loader(slow,
                                [&done](SlowPluginLoader::LoadedPlugins loaded) { done.set_value(std::move(loaded)); });
    }
    SlowPluginLoader::LoadedPlugins loaded = done.get_future().get();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0]->FileName(), good);
    EXPECT_EQ(helper::FaultNotices::ReportedKeys(), QStringList{QStringLiteral("spi:") + bad});
    for (auto& spi : loaded)
        m_spis->AddFound(std::move(spi));

    slow.clear();
    m_spis->Clear();
    SearchViewerPlugins(*m_spis, Folder());
    EXPECT_EQ(slow, QStringList{bad}); // nothing of it was kept
    EXPECT_EQ(m_spis->Count(), 1);
    m_spis->OnSlowPlugin = nullptr;
}

// What a plug-in told is kept for that very file: a changed file is asked
// again, and the records of files that are gone are dropped.
TEST(WindowsPluginFactsTest, KeptPerFileStateAndDroppedWhenTheFileIsGone)
{
    QTemporaryDir runtime;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QTemporaryDir plugins;
    const auto writeFile = [](const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode) {
        QFile file(path);
        return file.open(mode) && file.write(bytes) == bytes.size();
    };
    const QString a = plugins.filePath("a.sph");
    const QString b = plugins.filePath("b.sph");
    ASSERT_TRUE(writeFile(a, "MZ first", QIODevice::WriteOnly));
    ASSERT_TRUE(writeFile(b, "MZ second", QIODevice::WriteOnly));
    const WindowsPluginFacts told{
        0x1Du, "00IN", "info", {"*.owt;*.ow2", "*.ow3"}, {QStringLiteral("テスト画像"), "three"}};

    EXPECT_FALSE(RememberedWindowsPluginFacts(a));
    ASSERT_TRUE(RememberWindowsPluginFacts(a, told));
    const std::optional<WindowsPluginFacts> kept = RememberedWindowsPluginFacts(a);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->entryMask, told.entryMask);
    EXPECT_EQ(kept->apiVersion, told.apiVersion);
    EXPECT_EQ(kept->pluginInfo, told.pluginInfo);
    EXPECT_EQ(kept->patterns, told.patterns);
    EXPECT_EQ(kept->formatNames, told.formatNames);
    EXPECT_FALSE(RememberedWindowsPluginFacts(b)); // per file

    ASSERT_TRUE(writeFile(a, "more", QIODevice::Append));
    EXPECT_FALSE(RememberedWindowsPluginFacts(a)); // changed since

    ASSERT_TRUE(RememberWindowsPluginFacts(a, told));
    ASSERT_TRUE(QFile::remove(a));
    ASSERT_TRUE(RememberWindowsPluginFacts(b, told));
    const QDir records(runtime.path() + "/orvanto/windows-plugins");
    EXPECT_EQ(records.entryList({"*.facts"}, QDir::Files).size(), 1);
    EXPECT_TRUE(RememberedWindowsPluginFacts(b));

    if (savedRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

// A decode that finds no decoder while plug-ins are on their way waits for
// them and is told whether another try is worth it.
TEST(DecoderArrivalsTest, NoDecoderWaitsForPluginsOnTheirWay)
{
    const DecoderArrivals::Mark idle = DecoderArrivals::Now();
    EXPECT_FALSE(DecoderArrivals::AwaitSince(idle, {}));

    DecoderArrivals::Expect();
    const DecoderArrivals::Mark before = DecoderArrivals::Now();
    std::atomic<bool> returned{false};
    bool worthAnotherTry = false;
    std::thread decoder([&] {
        worthAnotherTry = DecoderArrivals::AwaitSince(before, {});
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned.load()); // still waiting
    DecoderArrivals::Arrived();
    decoder.join();
    EXPECT_TRUE(worthAnotherTry);
    // Decodes begun after the arrival do not wait, nor try again.
    EXPECT_FALSE(DecoderArrivals::AwaitSince(DecoderArrivals::Now(), {}));

    // One that is no longer wanted stops waiting.
    DecoderArrivals::Expect();
    std::atomic<bool> stop{false};
    std::thread unwanted(
        [&] { EXPECT_FALSE(DecoderArrivals::AwaitSince(DecoderArrivals::Now(), [&] { return stop.load(); })); });
    stop = true;
    unwanted.join();
    DecoderArrivals::Arrived();
}
