#pragma once
// The Susie plug-in host: TSPIs finds ".spi" files, loads them, types them by
// the API version they report, binds their entry points, keeps them in load
// order and registers the picture formats of import plug-ins in the format
// registry.
#include "decode/Graphic.h"
#include "decode/susie/SusieAbi.h"
#include "decode/susie/WindowsPlugin.h"
#include "platform/DynamicLibrary.h"

#include <QByteArray>
#include <QFlags>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

// Errors of the plug-in host. Each carries its message text.
#define ORVANTO_SPI_ERROR_CLASS(Name)                                                                                  \
    class Name : public std::runtime_error {                                                                           \
    public:                                                                                                            \
        explicit Name(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}       \
        const QString& message() const { return m_message; }                                                           \
                                                                                                                       \
    private:                                                                                                           \
        QString m_message;                                                                                             \
    }

// The file is not a plug-in (treated by the factory like a failed load).
ORVANTO_SPI_ERROR_CLASS(ESPIInvalidSPI);
// A required or called entry point is missing.
ORVANTO_SPI_ERROR_CLASS(ESPIInvalidAPI);
// The library cannot be loaded.
ORVANTO_SPI_ERROR_CLASS(ESPIFOpenErrorSPI);
// A second TSPIs was created.
ORVANTO_SPI_ERROR_CLASS(ESPIDupCreateSPIs);

#undef ORVANTO_SPI_ERROR_CLASS

class TSPI;

// A plug-in class reference: its name, its base class, and how to construct
// it from a file (none for the abstract TLoaderSPI).
struct TSPIClassInfo {
    const char* name;
    const TSPIClassInfo* parent;
    std::unique_ptr<TSPI> (*create)(const QString& path);
};
using TSPIClass = const TSPIClassInfo*;

// True when cls is ancestor or derives from it.
bool SPIClassInheritsFrom(TSPIClass cls, TSPIClass ancestor);

// One loaded plug-in library; also the class of a plug-in of unknown type.
class TSPI {
public:
    enum Entry : int {
        epGetPluginInfo,
        epConfigurationDlg,
        epIsSupported,
        epGetPictureInfo,
        epGetPicture,
        epGetPreview,
        epGetArchiveInfo,
        epGetFileInfo,
        epGetFile,
        epCount
    };
    static const char* EntryName(Entry entry);

    static const TSPIClassInfo ClassInfo;
    // Loads the library at path and binds it. Raises ESPIFOpenErrorSPI when
    // the library cannot be loaded, ESPIInvalidAPI when an entry point that
    // the class requires is missing.
    static std::unique_ptr<TSPI> Create(const QString& path);

    TSPI(const TSPI&) = delete;
    TSPI& operator=(const TSPI&) = delete;
    virtual ~TSPI();

    virtual TSPIClass ClassType() const { return &ClassInfo; }
    bool IsInstanceOf(TSPIClass cls) const { return SPIClassInheritsFrom(ClassType(), cls); }

    // True for a Windows DLL served by the Windows helper under Wine.
    bool IsWindowsPlugin() const { return m_windows != nullptr; }

    // Full path of the loaded module (or the path given, if it cannot be told).
    const QString& FileName() const { return m_fileName; }
    const QByteArray& APIVersion() const { return m_apiVersion; }
    const QByteArray& PluginInfo() const { return m_pluginInfo; }
    // One pattern text per entry ("*.jpg;*.jpeg") and its format name.
    const QStringList& Extensions() const { return m_extensions; }
    const QStringList& FormatNames() const { return m_formatNames; }

    bool HasEntry(Entry entry) const { return m_entries[entry] != nullptr; }
    // True when the plug-in runs in the plug-in helper process.
    bool IsRemote() const { return m_remote; }

    // Calls into the plug-in. Each raises ESPIInvalidAPI when the entry point
    // is missing; results are passed back unchanged.
    // GetPluginInfo hands the plug-in a zeroed 256-byte buffer with the length
    // 255; text receives the zero-ended text found in it.
    int32_t GetPluginInfo(int32_t infoNumber, QByteArray& text) const;
    int32_t IsSupported(const char* name, const void* head) const;
    int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info) const;
    int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                       SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data) const;
    int32_t GetPreview(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                       SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data) const;

    // Upper bound of entries read from GetPluginInfo, so that a plug-in that
    // answers every number cannot keep the host looping.
    static constexpr int MaxFormatEntries = 4096;

protected:
    TSPI() = default;

    // Verifies that the entry points the class requires are present;
    // raises ESPIInvalidAPI naming the first one missing.
    virtual void CheckAPI() const;
    void RequireEntry(Entry entry) const;
    [[noreturn]] void RaiseMissing(Entry entry) const;

    template <class T> static std::unique_ptr<TSPI> Construct(const QString& path)
    {
        std::unique_ptr<T> spi(new T);
        spi->Load(path);
        return spi;
    }

private:
    void Load(const QString& path);
    void BindWindowsEntries();
    // The same in the plug-in helper: the plug-in never runs in the program.
    void LoadRemote(const QString& path);

    platform::LibraryHandle m_library = nullptr;
    std::unique_ptr<WindowsPlugin> m_windows;
    bool m_remote = false;
    QString m_fileName;
    QByteArray m_apiVersion;
    QByteArray m_pluginInfo;
    QStringList m_extensions;
    QStringList m_formatNames;
    std::array<void*, epCount> m_entries{};
    // A plug-in is not written for calls from several threads at once:
    // its calls are made one at a time.
    mutable std::mutex m_callLock;
};

// A plug-in that can test data with IsSupported; never created itself.
class TLoaderSPI : public TSPI {
public:
    static const TSPIClassInfo ClassInfo;
    TSPIClass ClassType() const override { return &ClassInfo; }

protected:
    TLoaderSPI() = default;
    void CheckAPI() const override;
};

// Import (picture) plug-in, API version "00IN".
class TInSPI : public TLoaderSPI {
public:
    static const TSPIClassInfo ClassInfo;
    static std::unique_ptr<TSPI> Create(const QString& path) { return Construct<TInSPI>(path); }
    TSPIClass ClassType() const override { return &ClassInfo; }

protected:
    TInSPI() = default;
    void CheckAPI() const override;
    friend class TSPI;
};

// Archive plug-in, API version "00AM". Bound, never used by the viewer.
class TAmSPI : public TLoaderSPI {
public:
    static const TSPIClassInfo ClassInfo;
    static std::unique_ptr<TSPI> Create(const QString& path) { return Construct<TAmSPI>(path); }
    TSPIClass ClassType() const override { return &ClassInfo; }

protected:
    TAmSPI() = default;
    void CheckAPI() const override;
    friend class TSPI;
};

// Export plug-in, API version "00XN".
class TXnSPI : public TSPI {
public:
    static const TSPIClassInfo ClassInfo;
    static std::unique_ptr<TSPI> Create(const QString& path) { return Construct<TXnSPI>(path); }
    TSPIClass ClassType() const override { return &ClassInfo; }

protected:
    TXnSPI() = default;
    friend class TSPI;
};

// The plug-in class for an API version text, compared exactly.
TSPIClass SPIClassForAPIVersion(const QByteArray& apiVersion);

// The plug-in factory: probes the file as a TSPI, chooses the class by its
// API version and constructs that class from the same file. A file that
// cannot be loaded, is not a plug-in, or lacks an entry point that its class
// requires gives none.
std::unique_ptr<TSPI> CreateSPI(const QString& path);

enum TSPISearchOption : unsigned {
    spsSusieDir = 0x01,
    spsAppDir = 0x02,
    spsCurrentDir = 0x04,
    spsSystemDir = 0x08,
    spsWindowsDir = 0x10,
};
Q_DECLARE_FLAGS(TSPISearchOptions, TSPISearchOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TSPISearchOptions)

class TSPIs {
public:
    using SearchingEvent = std::function<void(TSPIs& sender, const QString& fileName, bool& accept)>;
    using SearchEvent = std::function<void(TSPIs& sender, TSPI& spi, bool& accept)>;
    using PictureRegisterEvent = std::function<void(TSPIs& sender, TInSPI& spi, const QString& extension,
                                                    const QString& description, TGraphicClass& graphicClass)>;

    // Raises ESPIDupCreateSPIs ("TSPIs は複数生成できません") when another
    // instance exists; otherwise becomes ActiveSPIs.
    TSPIs();
    ~TSPIs();
    TSPIs(const TSPIs&) = delete;
    TSPIs& operator=(const TSPIs&) = delete;

    // The one instance, or none.
    static TSPIs* ActiveSPIs();
    // The graphic class offered in OnPictureRegister (TSPIBitmap unless set).
    static TGraphicClass DefaultGraphicClass();
    static void SetDefaultGraphicClass(TGraphicClass graphicClass);

    // Called once the owner has set the properties up: searches "*.spi"
    // when AutoSearch is set.
    void Loaded();

    // Loads the plug-ins that match mask. A mask with a folder part searches
    // that folder; a bare pattern searches the folders of SearchOptions.
    void Search(const QString& mask);

    int Count() const { return static_cast<int>(m_list.size()); }
    TSPI* Items(int index) const;
    // Index of the plug-in loaded from exactly this path, or -1.
    int IndexOf(const QString& fileName) const;
    void Add(std::unique_ptr<TSPI> spi) { Insert(Count(), std::move(spi)); }
    // Puts the plug-in into the list and registers its formats; when the
    // registration fails the plug-in is removed again, released, and the
    // error passes on.
    void Insert(int index, std::unique_ptr<TSPI> spi);
    void Delete(int index);
    void Clear();

    // Appends the loaded plug-ins of the given classes: those that declare
    // the extension (".jpg", with the dot) at the front, the one loaded last
    // foremost, the others at the end in load order.
    void GetLoaders(const std::vector<TSPIClass>& classes, std::vector<TSPI*>& list, const QString& extension) const;

    TSPISearchOptions SearchOptions = TSPISearchOptions(spsSusieDir) | spsAppDir;
    bool AutoSearch = true;
    bool MacBinary = true;
    bool GraphicPreview = false;

    SearchingEvent OnSearching;
    SearchEvent OnSearch;
    PictureRegisterEvent OnPictureRegister;

    // A Windows plug-in not described before: loading it starts Wine, which
    // takes seconds (half a minute while Wine makes its prefix). When set,
    // the search hands such a file here instead of loading it; the owner
    // loads it away from the window thread (CreateSPI) and hands it back to
    // AddFound.
    std::function<void(const QString& path)> OnSlowPlugin;
    // Adds a plug-in loaded apart from the search, the way the search adds
    // one (OnSearch may refuse it). False when it was not added.
    bool AddFound(std::unique_ptr<TSPI> spi);

private:
    void SearchFolder(const QString& folder, const QString& pattern);
    // Names the plug-ins that failed in the helper during the search, in
    // one message.
    void ReportSearchFailures();
    void RegisterFormats(TInSPI& spi);
    QStringList OptionFolders() const;

    std::vector<std::unique_ptr<TSPI>> m_list;
};

// True when one of the ";"-separated patterns of the plug-in's entries has
// the extension (with its dot), compared without regard to case.
bool SPIDeclaresExtension(const TSPI& spi, const QString& extension);
