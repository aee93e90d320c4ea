// The Susie plug-in host with real plug-ins loaded with dlopen.
#include "SusieTestSupport.h"

#include "decode/FormatRegistry.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/SusieAbi.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "platform/ProgramLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstddef>

extern "C" size_t SusieAbiCheckRecordSize(void);
extern "C" size_t SusieAbiCheckTextOffset(void);
extern "C" size_t SusieAbiCheckDepthOffset(void);

namespace {

static_assert(sizeof(void*) != 8 || sizeof(SusiePictureInfo) == 32, "32 bytes on a 64-bit build");
static_assert(sizeof(void*) != 4 || sizeof(SusiePictureInfo) == 26, "26 bytes on a 32-bit build");

std::vector<std::pair<QString, QString>> RegisteredFor(TGraphicClass cls)
{
    std::vector<std::pair<QString, QString>> out;
    for (const TFormatEntry& e : TFormatRegistry::Instance().Entries())
        if (e.graphicClass == cls)
            out.emplace_back(e.extension, e.description);
    return out;
}

QStringList LoadedNames(const TSPIs& spis)
{
    QStringList names;
    for (int i = 0; i < spis.Count(); ++i)
        names << QFileInfo(spis.Items(i)->FileName()).fileName();
    return names;
}

} // namespace

TEST(SusieAbi, RecordLayoutAgreesBetweenCAndCxx)
{
    EXPECT_EQ(SusieAbiCheckRecordSize(), sizeof(SusiePictureInfo));
    EXPECT_EQ(SusieAbiCheckTextOffset(), offsetof(SusiePictureInfo, hInfo));
    EXPECT_EQ(SusieAbiCheckDepthOffset(), 20u);
    EXPECT_EQ(offsetof(SusiePictureInfo, xDensity), 16u);
    EXPECT_EQ(offsetof(SusiePictureInfo, hInfo), sizeof(void*) == 8 ? 24u : 22u);
}

class SPIsTest : public SusieFolderTest {};

TEST_F(SPIsTest, OnlyOneHostAtATime)
{
    EXPECT_EQ(TSPIs::ActiveSPIs(), nullptr);
    {
        TSPIs first;
        EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
        EXPECT_EQ(first.SearchOptions, TSPISearchOptions(spsSusieDir) | spsAppDir);
        EXPECT_TRUE(first.AutoSearch);
        EXPECT_TRUE(first.MacBinary);
        EXPECT_FALSE(first.GraphicPreview);
        try {
            TSPIs second;
            FAIL() << "a second host was created";
        } catch (const ESPIDupCreateSPIs& e) {
            EXPECT_EQ(e.message(), QStringLiteral("TSPIs は複数生成できません"));
        }
        EXPECT_EQ(TSPIs::ActiveSPIs(), &first);
    }
    EXPECT_EQ(TSPIs::ActiveSPIs(), nullptr);
    TSPIs again; // possible once the first is gone
    EXPECT_EQ(TSPIs::ActiveSPIs(), &again);
    EXPECT_EQ(TSPIs::DefaultGraphicClass(), &TSPIBitmap::ClassInfo);
}

TEST_F(SPIsTest, ConstructionReadsInfoAndChecksEntryPoints)
{
    const QString pnm = CopyIn(ProgramPlugin("pnm"), "pnm.spi");
    std::unique_ptr<TSPI> spi = TInSPI::Create(pnm);
    EXPECT_EQ(spi->FileName(), pnm);
    EXPECT_EQ(spi->APIVersion(), QByteArray("00IN"));
    EXPECT_EQ(spi->PluginInfo(), QByteArray("Orvanto PNM plug-in 1.0"));
    EXPECT_EQ(spi->Extensions(), QStringList{"*.pnm;*.pbm;*.pgm;*.ppm;*.pam"});
    EXPECT_EQ(spi->FormatNames(), QStringList{"Portable anymap"});
    EXPECT_TRUE(spi->IsInstanceOf(&TLoaderSPI::ClassInfo));
    EXPECT_FALSE(spi->HasEntry(TSPI::epGetPreview));

    // A call to an entry point the plug-in lacks.
    try {
        spi->GetPreview("x", 0, 0, nullptr, nullptr, nullptr, 0);
        FAIL();
    } catch (const ESPIInvalidAPI& e) {
        EXPECT_EQ(e.message(), QStringLiteral("GetPreviewは[%1]では使えないSusie Plugin APIです").arg(pnm));
    }

    // A class whose required entry points the library lacks.
    try {
        TAmSPI::Create(pnm);
        FAIL();
    } catch (const ESPIInvalidAPI& e) {
        EXPECT_EQ(e.message(), QStringLiteral("GetArchiveInfoは[%1]では使えないSusie Plugin APIです").arg(pnm));
    }
    const QString noPicture = CopyIn(FixturePlugin("nopicture"), "nopicture.spi");
    EXPECT_THROW(TInSPI::Create(noPicture), ESPIInvalidAPI);
    EXPECT_NO_THROW(TSPI::Create(noPicture)); // the probe needs GetPluginInfo only

    const QString text = PathOf("notes.spi");
    ASSERT_TRUE(WriteFile(text, "not a library\n"));
    try {
        TSPI::Create(text);
        FAIL();
    } catch (const ESPIFOpenErrorSPI& e) {
        EXPECT_EQ(e.message(), QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(text));
    }
}

TEST_F(SPIsTest, FactoryTypesByExactApiVersion)
{
    struct Case {
        const char* fixture;
        TSPIClass expected;
    };
    const Case cases[] = {
        {"archive", &TAmSPI::ClassInfo},
        {"export", &TXnSPI::ClassInfo},
        {"lower", &TSPI::ClassInfo}, // "00in" is not "00IN"
        {"testformat", &TInSPI::ClassInfo},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TSPI> spi = CreateSPI(CopyIn(FixturePlugin(c.fixture), QString(c.fixture) + ".spi"));
        ASSERT_TRUE(spi) << c.fixture;
        EXPECT_EQ(spi->ClassType(), c.expected) << c.fixture;
    }

    // Files that cannot be used give none, without an error.
    EXPECT_EQ(CreateSPI(CopyIn(FixturePlugin("noinfo"), "noinfo.spi")), nullptr);
    EXPECT_EQ(CreateSPI(CopyIn(FixturePlugin("nopicture"), "nopicture.spi")), nullptr);
    ASSERT_TRUE(WriteFile(PathOf("text.spi"), QByteArray(5000, 'x')));
    EXPECT_EQ(CreateSPI(PathOf("text.spi")), nullptr);
    EXPECT_EQ(CreateSPI(PathOf("missing.spi")), nullptr);

    // No entries when GetPluginInfo(2) fails; a plug-in answering every
    // number is cut off.
    std::unique_ptr<TSPI> noExt = CreateSPI(CopyIn(FixturePlugin("noext"), "noext.spi"));
    ASSERT_TRUE(noExt);
    EXPECT_TRUE(noExt->Extensions().isEmpty());
    std::unique_ptr<TSPI> endless = CreateSPI(CopyIn(FixturePlugin("endless"), "endless.spi"));
    ASSERT_TRUE(endless);
    EXPECT_EQ(endless->Extensions().size(), TSPI::MaxFormatEntries);
    EXPECT_EQ(endless->FormatNames().size(), TSPI::MaxFormatEntries);
}

TEST_F(SPIsTest, SearchLoadsEveryUsablePluginOnceAndSkipsTheRest)
{
    const QString pnm = CopyIn(ProgramPlugin("pnm"), "pnm.spi");
    CopyIn(ProgramPlugin("tga"), "tga.spi");
    CopyIn(FixturePlugin("archive"), "archive.spi");
    CopyIn(FixturePlugin("export"), "export.spi");
    CopyIn(FixturePlugin("lower"), "lower.spi");
    CopyIn(FixturePlugin("noinfo"), "noinfo.spi"); // no GetPluginInfo
    CopyIn(FixturePlugin("nopicture"), "nopicture.spi"); // "00IN" without GetPicture
    CopyIn(ProgramPlugin("pcx"), ".hidden.spi"); // hidden
    CopyIn(ProgramPlugin("pcx"), "pcx.txt"); // another extension
    ASSERT_TRUE(WriteFile(PathOf("notes.spi"), "text, not a library"));
    ASSERT_TRUE(QDir(Folder()).mkdir("folder.spi"));
    ASSERT_TRUE(QFile::link(pnm, PathOf("zlink.spi"))); // the same file under a second name

    TSPIs spis;
    std::vector<QString> searching;
    spis.OnSearching = [&](TSPIs&, const QString& name, bool&) { searching.push_back(QFileInfo(name).fileName()); };
    spis.Search(Folder() + "/*.spi");

    EXPECT_EQ(LoadedNames(spis), (QStringList{"archive.spi", "export.spi", "lower.spi", "pnm.spi", "tga.spi"}));
    EXPECT_EQ(spis.Items(0)->ClassType(), &TAmSPI::ClassInfo);
    EXPECT_EQ(spis.Items(2)->ClassType(), &TSPI::ClassInfo);
    // The link resolves to pnm.spi, which is loaded already; hidden files,
    // folders and other extensions are not offered at all.
    const std::vector<QString> offered = {"archive.spi",   "export.spi", "lower.spi", "noinfo.spi",
                                          "nopicture.spi", "notes.spi",  "pnm.spi",   "tga.spi"};
    EXPECT_EQ(searching, offered);

    // Only import plug-ins register formats, each entry from its last
    // pattern to its first.
    const auto registered = RegisteredFor(&TSPIBitmap::ClassInfo);
    const std::vector<std::pair<QString, QString>> expected = {
        {"pam", "Portable anymap"}, {"ppm", "Portable anymap"}, {"pgm", "Portable anymap"},
        {"pbm", "Portable anymap"}, {"pnm", "Portable anymap"}, {"vst", "Truevision TGA"},
        {"icb", "Truevision TGA"},  {"vda", "Truevision TGA"},  {"tga", "Truevision TGA"}};
    EXPECT_EQ(registered, expected);

    // A second search of the same folder loads nothing; nor does a path
    // naming the same folder differently.
    searching.clear();
    spis.Search(Folder() + "/*.spi");
    spis.Search(Folder() + "/./*.SPI");
    EXPECT_EQ(spis.Count(), 5);
    EXPECT_EQ(RegisteredFor(&TSPIBitmap::ClassInfo).size(), expected.size());
    EXPECT_EQ(searching.size(), 6u); // noinfo, nopicture, notes: twice each
    EXPECT_EQ(spis.IndexOf(pnm), 3);
    EXPECT_EQ(spis.IndexOf(pnm.toUpper()), -1);
}

TEST_F(SPIsTest, EventsDecideAndFailuresLoseOnlyThatPlugin)
{
    const QString pcx = CopyIn(ProgramPlugin("pcx"), "a-pcx.spi");
    const QString pnm = CopyIn(ProgramPlugin("pnm"), "b-pnm.spi");
    const QString tga = CopyIn(ProgramPlugin("tga"), "c-tga.spi");
    const QString test = CopyIn(FixturePlugin("testformat"), "d-test.spi");

    TSPIs spis;
    spis.OnSearching = [&](TSPIs&, const QString& name, bool& accept) { accept = name != tga; };
    bool pcxWasLoaded = false;
    spis.OnSearch = [&](TSPIs&, TSPI& spi, bool& accept) {
        if (spi.FileName() == pcx) {
            pcxWasLoaded = IsMapped(pcx);
            accept = false;
        }
        if (spi.FileName() == test)
            throw std::runtime_error("handler failure");
    };
    int registerCalls = 0;
    spis.OnPictureRegister = [&](TSPIs&, TInSPI& spi, const QString& ext, const QString&, TGraphicClass&) {
        ++registerCalls;
        if (spi.FileName() == pnm && ext == "pgm")
            throw std::runtime_error("registration failure");
    };
    EXPECT_NO_THROW(spis.Search(Folder() + "/*.spi"));

    EXPECT_EQ(spis.Count(), 0);
    EXPECT_TRUE(pcxWasLoaded); // refused after loading ...
    EXPECT_FALSE(IsMapped(pcx)); // ... and released at once
    EXPECT_FALSE(IsMapped(tga)); // refused before loading
    EXPECT_FALSE(IsMapped(pnm)); // released after its registration failed
    EXPECT_FALSE(IsMapped(test)); // released after the handler failed
    EXPECT_EQ(registerCalls, 3); // pam, ppm, then pgm failed
    // The formats registered before the failure stay, as the registry only grows.
    EXPECT_EQ(RegisteredFor(&TSPIBitmap::ClassInfo).size(), 2u);

    // Insert registers; a failing registration leaves the list as it was.
    spis.OnPictureRegister = nullptr;
    TFormatRegistry::Instance().ResetForTesting();
    spis.Add(CreateSPI(test));
    spis.Insert(0, CreateSPI(pcx));
    EXPECT_EQ(LoadedNames(spis), (QStringList{"a-pcx.spi", "d-test.spi"}));
    EXPECT_EQ(RegisteredFor(&TSPIBitmap::ClassInfo),
              (std::vector<std::pair<QString, QString>>{{"tsp", "Test picture"}, {"pcx", "ZSoft PCX"}}));
    spis.OnPictureRegister = [](TSPIs&, TInSPI&, const QString&, const QString&, TGraphicClass&) {
        throw std::runtime_error("no");
    };
    EXPECT_THROW(spis.Insert(1, CreateSPI(pnm)), std::runtime_error);
    EXPECT_EQ(spis.Count(), 2);
    EXPECT_FALSE(IsMapped(pnm));

    EXPECT_THROW(spis.Items(2), std::out_of_range);
    EXPECT_THROW(spis.Delete(-1), std::out_of_range);
    spis.Delete(0);
    EXPECT_FALSE(IsMapped(pcx));
    EXPECT_EQ(LoadedNames(spis), QStringList{"d-test.spi"});
    spis.Clear();
    EXPECT_EQ(spis.Count(), 0);
    EXPECT_FALSE(IsMapped(test));
}

TEST_F(SPIsTest, GetLoadersPutsDeclaringPluginsFirstNewestForemost)
{
    CopyIn(FixturePlugin("archive"), "a.spi");
    CopyIn(ProgramPlugin("pnm"), "b.spi");
    CopyIn(FixturePlugin("testformat"), "c.spi");
    CopyIn(FixturePlugin("testformat"), "d.spi");
    TSPIs spis;
    spis.Search(Folder() + "/*.spi");
    ASSERT_EQ(LoadedNames(spis), (QStringList{"a.spi", "b.spi", "c.spi", "d.spi"}));

    auto names = [&](const std::vector<TSPIClass>& classes, const QString& ext) {
        std::vector<TSPI*> list;
        spis.GetLoaders(classes, list, ext);
        QStringList out;
        for (TSPI* spi : list)
            out << QFileInfo(spi->FileName()).fileName();
        return out;
    };
    EXPECT_EQ(names({&TInSPI::ClassInfo}, ".TSP"), (QStringList{"d.spi", "c.spi", "b.spi"}));
    EXPECT_EQ(names({&TInSPI::ClassInfo}, ".ppm"), (QStringList{"b.spi", "c.spi", "d.spi"}));
    EXPECT_EQ(names({&TInSPI::ClassInfo}, ""), (QStringList{"b.spi", "c.spi", "d.spi"}));
    EXPECT_EQ(names({&TInSPI::ClassInfo}, "tsp"), (QStringList{"b.spi", "c.spi", "d.spi"})); // no dot
    EXPECT_EQ(names({&TLoaderSPI::ClassInfo}, ".lzh"), (QStringList{"a.spi", "b.spi", "c.spi", "d.spi"}));
    EXPECT_EQ(names({&TAmSPI::ClassInfo}, ".ppm"), QStringList{"a.spi"});
}

TEST_F(SPIsTest, MaskWithoutFolderSearchesTheOptionFolders)
{
    CopyIn(ProgramPlugin("pnm"), "pnm.spi");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Folder()));
    {
        TSPIs spis;
        spis.SearchOptions = {};
        spis.Search("*.spi");
        EXPECT_EQ(spis.Count(), 0);
        spis.SearchOptions = spsCurrentDir;
        spis.Search("*.spi");
        EXPECT_EQ(LoadedNames(spis), QStringList{"pnm.spi"});
    }
    QDir::setCurrent(previous);
}

TEST_F(SPIsTest, ViewerPolicyKeepsImportPluginsAndSixExtensions)
{
    CopyIn(FixturePlugin("archive"), "archive.spi");
    CopyIn(FixturePlugin("export"), "export.spi");
    CopyIn(FixturePlugin("lower"), "lower.spi");
    CopyIn(FixturePlugin("jpegentries"), "jpeg.spi");
    CopyIn(ProgramPlugin("pnm"), "pnm.spi");
    const QString archive = PathOf("archive.spi");

    TSPIs spis;
    ConfigureViewerSPIs(spis);
    EXPECT_FALSE(spis.AutoSearch);
    EXPECT_FALSE(spis.GraphicPreview);
    EXPECT_TRUE(spis.MacBinary);
    const auto policy = spis.OnPictureRegister;
    std::vector<QString> offered;
    spis.OnPictureRegister = [&](TSPIs& s, TInSPI& spi, const QString& ext, const QString& d, TGraphicClass& c) {
        offered.push_back(ext);
        policy(s, spi, ext, d, c);
    };
    SearchViewerPlugins(spis, Folder());

    EXPECT_EQ(LoadedNames(spis), (QStringList{"jpeg.spi", "pnm.spi"}));
    EXPECT_FALSE(IsMapped(QFileInfo(archive).canonicalFilePath()));
    // *.jpe;*.jpg registers neither, *.jpg;*.jpe registers jpe only,
    // *.jpg;*.jpeg neither (jpeg is offered first); the empty piece of
    // "*.abc;" is not offered.
    const std::vector<QString> expectedOffers = {"jpg",    "jpe", "jpe", "jpg", "jpeg", "jpg", "PNG",
                                                 "tar.gz", "abc", "pam", "ppm", "pgm",  "pbm", "pnm"};
    EXPECT_EQ(offered, expectedOffers);
    const std::vector<std::pair<QString, QString>> expected = {
        {"jpe", "JPEG B"},          {"png", "Mixed"},
        {"tar.gz", "Mixed"},        {"abc", "Trailing separator"},
        {"pam", "Portable anymap"}, {"ppm", "Portable anymap"},
        {"pgm", "Portable anymap"}, {"pbm", "Portable anymap"},
        {"pnm", "Portable anymap"}};
    EXPECT_EQ(RegisteredFor(&TSPIBitmap::ClassInfo), expected);
    EXPECT_EQ(TFormatRegistry::Instance().Find("PNG"), &TSPIBitmap::ClassInfo);
    EXPECT_EQ(TFormatRegistry::Instance().Find("jpg"), nullptr);

    for (const char* kept : {"jpg", "JPEG", "gif", "Bmp", "wmf", "ico"}) {
        TGraphicClass cls = &TSPIBitmap::ClassInfo;
        SPIs1PictureRegisterPolicy(kept, cls);
        EXPECT_EQ(cls, nullptr) << kept;
    }
    for (const char* given : {"png", "emf", "jpe", "tga"}) {
        TGraphicClass cls = &TSPIBitmap::ClassInfo;
        SPIs1PictureRegisterPolicy(given, cls);
        EXPECT_EQ(cls, &TSPIBitmap::ClassInfo) << given;
    }
}

TEST_F(SPIsTest, StartUpSearchOfTheProgramPluginFolder)
{
    EXPECT_EQ(ViewerPluginMask(""), platform::ProgramLibraryDir() + "/plugins/*.spi");
    EXPECT_EQ(ViewerPluginMask("  "), platform::ProgramLibraryDir() + "/plugins/*.spi");
    EXPECT_EQ(ViewerPluginMask("/opt/spi"), "/opt/spi/*.spi");
    EXPECT_EQ(ViewerPluginMask("/opt/spi/"), "/opt/spi/*.spi");

    TSPIs spis;
    ConfigureViewerSPIs(spis);
    SearchViewerPlugins(spis, ORVANTO_BIN_DIR "/plugins");
    EXPECT_EQ(LoadedNames(spis), (QStringList{"avif.spi", "heif.spi", "jxl.spi", "pcx.spi", "pnm.spi", "tga.spi",
                                              "tiff.spi", "webp.spi"}));
    const QString filter = TFormatRegistry::Instance().GraphicFilter();
    EXPECT_TRUE(filter.startsWith("すべて (*.webp;*.tif;*.tiff;*.tga;*.vda;*.icb;*.vst;*.pnm;*.pbm;*.pgm;*.ppm;*.pam;"
                                  "*.pcx;*.jxl;*.heic;*.heif;*.hif;*.avif)|"))
        << filter.toStdString();
    UnregisterSPIBitmap();
    EXPECT_TRUE(RegisteredFor(&TSPIBitmap::ClassInfo).empty());
}
