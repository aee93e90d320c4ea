#include "SPIs.h"

#include "SPIBmp.h"
#include "SPIRemote.h"
#include "WindowsPlugin.h"
#include "WindowsPluginFacts.h"
#include "helper/HelperClient.h"
#include "decode/FormatRegistry.h"
#include "platform/FileExtension.h"
#include "platform/ProgramLocation.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

TSPIs* g_activeSPIs = nullptr;

TGraphicClass& DefaultClassSlot()
{
    static TGraphicClass graphicClass = &TSPIBitmap::ClassInfo;
    return graphicClass;
}

const char* const kEntryNames[TSPI::epCount] = {
    "GetPluginInfo", "ConfigurationDlg", "IsSupported", "GetPictureInfo", "GetPicture",
    "GetPreview",    "GetArchiveInfo",   "GetFileInfo", "GetFile",
};

} // namespace

bool SPIClassInheritsFrom(TSPIClass cls, TSPIClass ancestor)
{
    for (; cls; cls = cls->parent) {
        if (cls == ancestor)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// TSPI

const TSPIClassInfo TSPI::ClassInfo = {"TSPI", nullptr, &TSPI::Create};
const TSPIClassInfo TLoaderSPI::ClassInfo = {"TLoaderSPI", &TSPI::ClassInfo, nullptr};
const TSPIClassInfo TInSPI::ClassInfo = {"TInSPI", &TLoaderSPI::ClassInfo, &TInSPI::Create};
const TSPIClassInfo TAmSPI::ClassInfo = {"TAmSPI", &TLoaderSPI::ClassInfo, &TAmSPI::Create};
const TSPIClassInfo TXnSPI::ClassInfo = {"TXnSPI", &TSPI::ClassInfo, &TXnSPI::Create};

const char* TSPI::EntryName(Entry entry)
{
    return entry >= 0 && entry < epCount ? kEntryNames[entry] : "";
}

std::unique_ptr<TSPI> TSPI::Create(const QString& path)
{
    return Construct<TSPI>(path);
}

TSPI::~TSPI()
{
    if (m_library)
        platform::FreeLibrary(m_library);
}

void TSPI::Load(const QString& path)
{
    // A Windows DLL is told by its content and served by the Windows helper;
    // its entry points are only marked present, every call goes through it.
    // What it told about itself before is taken as it was, so that Wine
    // (slow to start) starts only with the first real call.
    const PluginBinaryKind kind = PluginBinaryKindOfFile(path);
    if (IsWindowsBinary(kind)) {
        const QFileInfo info(path);
        m_fileName = info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
        if (const std::optional<WindowsPluginFacts> facts = RememberedWindowsPluginFacts(m_fileName)) {
            m_windows = WindowsPlugin::Prepare(path, kind, facts->entryMask);
            if (!m_windows)
                throw ESPIFOpenErrorSPI(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(path));
            BindWindowsEntries();
            CheckAPI();
            m_apiVersion = facts->apiVersion;
            m_pluginInfo = facts->pluginInfo;
            m_extensions = facts->patterns.mid(0, MaxFormatEntries);
            m_formatNames = facts->formatNames.mid(0, MaxFormatEntries);
            return;
        }
        m_windows = WindowsPlugin::Open(path, kind);
        if (!m_windows)
            throw ESPIFOpenErrorSPI(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(path));
        BindWindowsEntries();
    } else if (helper::IsolationEnabled()) {
        LoadRemote(path);
        return;
    } else {
        m_library = platform::LoadLibrary(path);
        if (!m_library)
            throw ESPIFOpenErrorSPI(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(path));

        m_fileName = platform::GetModuleFileName(m_library);
        if (m_fileName.isEmpty())
            m_fileName = path;

        for (int i = 0; i < epCount; ++i)
            m_entries[i] = platform::GetProcAddress(m_library, kEntryNames[i]);
    }

    CheckAPI();

    QByteArray text;
    if (GetPluginInfo(0, text) > 0)
        m_apiVersion = text;
    if (GetPluginInfo(1, text) > 0)
        m_pluginInfo = text;

    QByteArray pattern;
    QByteArray formatName;
    for (int n = 2; m_extensions.size() < MaxFormatEntries; n += 2) {
        if (GetPluginInfo(n, pattern) <= 0 || GetPluginInfo(n + 1, formatName) <= 0)
            break;
        m_extensions.append(QString::fromUtf8(pattern));
        m_formatNames.append(QString::fromUtf8(formatName));
    }
    // A Windows plug-in that crashed or hung while telling its formats is
    // left out (its helper has named it); the facts are kept only when every
    // answer was the plug-in's own.
    if (m_windows && m_windows->CallFailed())
        throw ESPIFOpenErrorSPI(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(path));
    if (m_windows && !m_apiVersion.isEmpty())
        RememberWindowsPluginFacts(m_fileName, WindowsPluginFacts{m_windows->ExportedEntries(), m_apiVersion,
                                                                  m_pluginInfo, m_extensions, m_formatNames});
}

void TSPI::BindWindowsEntries()
{
    static char remoteEntry;
    for (int i = 0; i < epCount; ++i)
        m_entries[i] = (m_windows->ExportedEntries() >> i & 1u) ? &remoteEntry : nullptr;
}

void TSPI::LoadRemote(const QString& path)
{
    const QFileInfo file(path);
    m_fileName = file.canonicalFilePath();
    if (m_fileName.isEmpty())
        m_fileName = file.absoluteFilePath();
    spiremote::PluginFacts facts;
    QString why;
    if (!file.isFile() || spiremote::Load(m_fileName, facts, why) != spiremote::LoadStatus::Loaded)
        throw ESPIFOpenErrorSPI(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(path));
    m_remote = true;
    // The slots only tell which entry points exist; calls go to the helper.
    static char present;
    for (int i = 0; i < epCount; ++i)
        m_entries[i] = (facts.entryMask & (1u << i)) ? &present : nullptr;
    CheckAPI();
    if (facts.hasApiVersion)
        m_apiVersion = facts.apiVersion;
    if (facts.hasPluginInfo)
        m_pluginInfo = facts.pluginInfo;
    for (qsizetype i = 0; i < facts.patterns.size() && m_extensions.size() < MaxFormatEntries; ++i) {
        m_extensions.append(QString::fromUtf8(facts.patterns.at(i)));
        m_formatNames.append(QString::fromUtf8(facts.formatNames.at(i)));
    }
}

void TSPI::CheckAPI() const
{
    RequireEntry(epGetPluginInfo);
}

void TSPI::RequireEntry(Entry entry) const
{
    if (!m_entries[entry])
        RaiseMissing(entry);
}

void TSPI::RaiseMissing(Entry entry) const
{
    throw ESPIInvalidAPI(QStringLiteral("%1は[%2]では使えないSusie Plugin APIです")
                             .arg(QString::fromLatin1(EntryName(entry)), m_fileName));
}

int32_t TSPI::GetPluginInfo(int32_t infoNumber, QByteArray& text) const
{
    RequireEntry(epGetPluginInfo);
    const std::lock_guard<std::mutex> serialized(m_callLock);
    if (m_windows)
        return m_windows->GetPluginInfo(infoNumber, text);
    if (m_remote)
        return spiremote::GetPluginInfo(m_fileName, infoNumber, text);
    char buffer[SUSIE_INFO_BUFFER_SIZE];
    std::memset(buffer, 0, sizeof buffer);
    const auto proc = reinterpret_cast<SusieGetPluginInfoProc>(m_entries[epGetPluginInfo]);
    const int32_t result = proc(infoNumber, buffer, SUSIE_INFO_BUFFER_LENGTH);
    // The last byte is never offered to the plug-in, so the text always ends.
    buffer[SUSIE_INFO_BUFFER_SIZE - 1] = '\0';
    text = QByteArray(buffer, static_cast<qsizetype>(std::strlen(buffer)));
    return result;
}

int32_t TSPI::IsSupported(const char* name, const void* head) const
{
    RequireEntry(epIsSupported);
    const std::lock_guard<std::mutex> serialized(m_callLock);
    if (m_windows)
        return m_windows->IsSupported(name, head);
    if (m_remote)
        return spiremote::IsSupported(m_fileName, name, head);
    return reinterpret_cast<SusieIsSupportedProc>(m_entries[epIsSupported])(name, head);
}

int32_t TSPI::GetPictureInfo(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info) const
{
    RequireEntry(epGetPictureInfo);
    const std::lock_guard<std::mutex> serialized(m_callLock);
    if (m_windows)
        return m_windows->GetPictureInfo(buf, len, flag, info);
    if (m_remote)
        return spiremote::GetPictureInfo(m_fileName, buf, len, flag, info);
    return reinterpret_cast<SusieGetPictureInfoProc>(m_entries[epGetPictureInfo])(buf, len, flag, info);
}

int32_t TSPI::GetPicture(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                         SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data) const
{
    RequireEntry(epGetPicture);
    const std::lock_guard<std::mutex> serialized(m_callLock);
    if (m_windows)
        return m_windows->GetPicture(false, buf, len, flag, bitmapInfo, bitmapBits, progress, data);
    if (m_remote)
        return spiremote::GetPicture(m_fileName, false, buf, len, flag, bitmapInfo, bitmapBits, progress, data);
    return reinterpret_cast<SusieGetPictureProc>(m_entries[epGetPicture])(buf, len, flag, bitmapInfo, bitmapBits,
                                                                          progress, data);
}

int32_t TSPI::GetPreview(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                         SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data) const
{
    RequireEntry(epGetPreview);
    const std::lock_guard<std::mutex> serialized(m_callLock);
    if (m_windows)
        return m_windows->GetPicture(true, buf, len, flag, bitmapInfo, bitmapBits, progress, data);
    if (m_remote)
        return spiremote::GetPicture(m_fileName, true, buf, len, flag, bitmapInfo, bitmapBits, progress, data);
    return reinterpret_cast<SusieGetPreviewProc>(m_entries[epGetPreview])(buf, len, flag, bitmapInfo, bitmapBits,
                                                                          progress, data);
}

void TLoaderSPI::CheckAPI() const
{
    TSPI::CheckAPI();
    RequireEntry(epIsSupported);
}

void TInSPI::CheckAPI() const
{
    TLoaderSPI::CheckAPI();
    RequireEntry(epGetPictureInfo);
    RequireEntry(epGetPicture);
}

void TAmSPI::CheckAPI() const
{
    TLoaderSPI::CheckAPI();
    RequireEntry(epGetArchiveInfo);
    RequireEntry(epGetFileInfo);
    RequireEntry(epGetFile);
}

TSPIClass SPIClassForAPIVersion(const QByteArray& apiVersion)
{
    if (apiVersion == SUSIE_API_IMPORT)
        return &TInSPI::ClassInfo;
    if (apiVersion == SUSIE_API_ARCHIVE)
        return &TAmSPI::ClassInfo;
    if (apiVersion == SUSIE_API_EXPORT)
        return &TXnSPI::ClassInfo;
    return &TSPI::ClassInfo;
}

std::unique_ptr<TSPI> CreateSPI(const QString& path)
{
    try {
        // The probe stays loaded until the chosen class has loaded the same
        // library, so the library is not unloaded and loaded again between.
        std::unique_ptr<TSPI> probe = TSPI::Create(path);
        const TSPIClass chosen = SPIClassForAPIVersion(probe->APIVersion());
        return chosen->create(path);
    } catch (const ESPIFOpenErrorSPI&) {
        return nullptr;
    } catch (const ESPIInvalidSPI&) {
        return nullptr;
    } catch (const ESPIInvalidAPI&) {
        // A library without the entry points its type needs cannot be used;
        // it is skipped like a file that cannot be loaded.
        return nullptr;
    }
}

bool SPIDeclaresExtension(const TSPI& spi, const QString& extension)
{
    if (extension.isEmpty())
        return false;
    for (const QString& entry : spi.Extensions()) {
        const QStringList patterns = entry.split(QLatin1Char(';'));
        for (const QString& pattern : patterns) {
            const QString ext = platform::FileExtension(pattern.trimmed());
            if (!ext.isEmpty() && ext.compare(extension, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// TSPIs

TSPIs::TSPIs()
{
    if (g_activeSPIs)
        throw ESPIDupCreateSPIs(QStringLiteral("TSPIs は複数生成できません"));
    g_activeSPIs = this;
}

TSPIs::~TSPIs()
{
    if (g_activeSPIs == this)
        g_activeSPIs = nullptr;
    Clear();
}

TSPIs* TSPIs::ActiveSPIs()
{
    return g_activeSPIs;
}

TGraphicClass TSPIs::DefaultGraphicClass()
{
    return DefaultClassSlot();
}

void TSPIs::SetDefaultGraphicClass(TGraphicClass graphicClass)
{
    DefaultClassSlot() = graphicClass;
}

void TSPIs::Loaded()
{
    if (AutoSearch) {
        Search(QStringLiteral("*.spi"));
        Search(QStringLiteral("*.sph"));
    }
}

TSPI* TSPIs::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("TSPIs::Items: index out of range");
    return m_list[static_cast<size_t>(index)].get();
}

int TSPIs::IndexOf(const QString& fileName) const
{
    // Linux file names are case-sensitive: a plug-in is the same only under
    // exactly the same path.
    for (int i = 0; i < Count(); ++i) {
        if (m_list[static_cast<size_t>(i)]->FileName() == fileName)
            return i;
    }
    return -1;
}

void TSPIs::Insert(int index, std::unique_ptr<TSPI> spi)
{
    if (!spi)
        throw std::invalid_argument("TSPIs::Insert: no plug-in");
    if (index < 0 || index > Count())
        throw std::out_of_range("TSPIs::Insert: index out of range");
    TSPI* raw = spi.get();
    m_list.insert(m_list.begin() + index, std::move(spi));
    if (!raw->IsInstanceOf(&TInSPI::ClassInfo))
        return;
    try {
        RegisterFormats(static_cast<TInSPI&>(*raw));
    } catch (...) {
        auto it = std::find_if(m_list.begin(), m_list.end(),
                               [raw](const std::unique_ptr<TSPI>& p) { return p.get() == raw; });
        if (it != m_list.end())
            m_list.erase(it);
        throw;
    }
}

void TSPIs::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("TSPIs::Delete: index out of range");
    std::unique_ptr<TSPI> spi = std::move(m_list[static_cast<size_t>(index)]);
    m_list.erase(m_list.begin() + index);
    spi.reset();
}

void TSPIs::Clear()
{
    while (!m_list.empty())
        Delete(0);
}

void TSPIs::RegisterFormats(TInSPI& spi)
{
    const QStringList& patterns = spi.Extensions();
    const QStringList& names = spi.FormatNames();
    for (int i = 0; i < patterns.size(); ++i) {
        const QString description = i < names.size() ? names.at(i) : QString();
        // Offered once per entry: a class cleared for one extension stays
        // cleared for the extensions handled after it in the same entry.
        TGraphicClass graphicClass = DefaultGraphicClass();
        QString rest = patterns.at(i);
        while (!rest.isEmpty()) {
            QString piece;
            const int semicolon = rest.lastIndexOf(QLatin1Char(';'));
            if (semicolon >= 0) {
                piece = rest.mid(semicolon + 1);
                rest = rest.left(semicolon);
            } else {
                piece = rest;
                rest.clear();
            }
            piece = piece.trimmed();
            const int dot = piece.indexOf(QLatin1Char('.'));
            const QString extension = (dot >= 0 ? piece.mid(dot + 1) : piece).trimmed();
            // An empty piece ("*.abc;" or ";;") names no extension; the empty
            // extension belongs to files without one and stays with them.
            if (extension.isEmpty())
                continue;
            if (OnPictureRegister)
                OnPictureRegister(*this, spi, extension, description, graphicClass);
            if (graphicClass)
                TFormatRegistry::Instance().Register(extension, description, graphicClass);
        }
    }
}

void TSPIs::GetLoaders(const std::vector<TSPIClass>& classes, std::vector<TSPI*>& list, const QString& extension) const
{
    for (const auto& spi : m_list) {
        const bool wanted =
            std::any_of(classes.begin(), classes.end(), [&](TSPIClass cls) { return spi->IsInstanceOf(cls); });
        if (!wanted)
            continue;
        if (SPIDeclaresExtension(*spi, extension))
            list.insert(list.begin(), spi.get());
        else
            list.push_back(spi.get());
    }
}

QStringList TSPIs::OptionFolders() const
{
    QStringList folders;
    // spsSusieDir: Susie's plug-in folder comes from the Windows registry,
    // which has no counterpart here; it names no folder.
    if (SearchOptions.testFlag(spsAppDir)) {
        const QString programDir = platform::ProgramDir();
        const QString libraryDir = platform::ProgramLibraryDir();
        if (!programDir.isEmpty()) {
            folders << programDir;
            if (libraryDir != programDir)
                folders << libraryDir;
            folders << libraryDir + QStringLiteral("/plugins");
        }
    }
    if (SearchOptions.testFlag(spsCurrentDir))
        folders << QDir::currentPath();
    // spsSystemDir and spsWindowsDir: there is no Windows (system) folder.
    return folders;
}

void TSPIs::Search(const QString& mask)
{
    const int slash = mask.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash >= 0 ? mask.left(slash + 1) : QString();
    const QString name = slash >= 0 ? mask.mid(slash + 1) : mask;
    spiremote::TakeFailedDuringSearch(); // failures of earlier searches were named already
    if (!folder.isEmpty()) {
        SearchFolder(folder, name);
    } else {
        for (const QString& dir : OptionFolders())
            SearchFolder(dir, mask);
    }
    ReportSearchFailures();
}

void TSPIs::ReportSearchFailures()
{
    QStringList names;
    for (const QString& path : spiremote::TakeFailedDuringSearch()) {
        const QString name = QFileInfo(path).fileName();
        if (!names.contains(name))
            names << name;
    }
    if (names.isEmpty())
        return;
    names.sort();
    helper::FaultNotices::Report(
        QStringLiteral("spi-search:") + names.join(QLatin1Char('\n')),
        QStringLiteral("次の Susie プラグインは情報を返す途中で異常終了したか応答しなくなったため、使用しません。\n%1")
            .arg(names.join(QLatin1Char('\n'))));
}

void TSPIs::SearchFolder(const QString& folder, const QString& pattern)
{
    QString dirText = folder;
    if (!dirText.isEmpty() && !dirText.endsWith(QLatin1Char('/')))
        dirText += QLatin1Char('/');
    if (pattern.isEmpty())
        return;

    // Regular files (and links to them) only; names beginning with "." are
    // hidden and not found. Taken in name order, so that the load order, and
    // with it which plug-in wins an extension, does not depend on the order
    // in which the file system happens to store the folder.
    const QDir dir(dirText.isEmpty() ? QStringLiteral(".") : dirText);
    const QStringList names = dir.entryList(QStringList{pattern}, QDir::Files | QDir::Readable, QDir::Name);

    QStringList kept;
    for (const QString& fileName : names) {
        const QFileInfo info(dir.filePath(fileName));
        QString path = info.canonicalFilePath();
        if (path.isEmpty())
            path = info.absoluteFilePath();
        if (IndexOf(path) < 0 && !kept.contains(path))
            kept << path;
    }

    for (const QString& path : kept) {
        bool accept = true;
        if (OnSearching)
            OnSearching(*this, path, accept);
        if (!accept)
            continue;
        if (IndexOf(path) >= 0)
            continue;
        if (OnSlowPlugin) {
            const PluginBinaryKind kind = PluginBinaryKindOfFile(path);
            if ((kind == PluginBinaryKind::Windows32 || kind == PluginBinaryKind::Windows64)
                && !RememberedWindowsPluginFacts(path)) {
                OnSlowPlugin(path);
                continue;
            }
        }
        if (std::unique_ptr<TSPI> spi = CreateSPI(path))
            AddFound(std::move(spi));
    }
}

bool TSPIs::AddFound(std::unique_ptr<TSPI> spi)
{
    if (!spi || IndexOf(spi->FileName()) >= 0)
        return false;
    try {
        bool accept = true;
        if (OnSearch)
            OnSearch(*this, *spi, accept);
        if (!accept)
            return false;
        Add(std::move(spi)); // on a failure Add releases the plug-in itself
        return true;
    } catch (...) {
        // A failing handler or registration loses this plug-in only.
        return false;
    }
}
