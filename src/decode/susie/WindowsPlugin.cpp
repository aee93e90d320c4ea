#include "WindowsPlugin.h"

#include "helper/HelperClient.h"
#include "helper/HelperProtocol.h"
#include "platform/Paths.h"
#include "platform/PipeProcess.h"
#include "platform/ProgramLocation.h"
#include "platform/WineRuntime.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

using namespace std::chrono_literals;

// The fields of a request or reply payload.
class HelperFields {
public:
    HelperFields() = default;
    explicit HelperFields(QByteArray payload) : m_bytes(std::move(payload)) {}

    void Int(uint32_t tag, int64_t value) { Bytes(tag, reinterpret_cast<const char*>(&value), 8); }
    void Bytes(uint32_t tag, const char* bytes, qsizetype size)
    {
        const OrvFieldHeader field{tag, static_cast<uint32_t>(size)};
        m_bytes.append(reinterpret_cast<const char*>(&field), sizeof field);
        m_bytes.append(bytes, size);
    }
    void Bytes(uint32_t tag, const QByteArray& bytes) { Bytes(tag, bytes.constData(), bytes.size()); }

    // The first field with the tag; false when there is none or the payload
    // breaks off.
    bool Find(uint32_t tag, QByteArray& value) const
    {
        qsizetype at = 0;
        while (m_bytes.size() - at >= ORV_FIELD_HEADER_SIZE) {
            OrvFieldHeader field;
            std::memcpy(&field, m_bytes.constData() + at, sizeof field);
            at += ORV_FIELD_HEADER_SIZE;
            if (field.size > m_bytes.size() - at)
                return false;
            if (field.tag == tag) {
                value = m_bytes.mid(at, field.size);
                return true;
            }
            at += field.size;
        }
        return false;
    }
    bool FindInt(uint32_t tag, int64_t& value) const
    {
        QByteArray bytes;
        if (!Find(tag, bytes) || bytes.size() != 8)
            return false;
        std::memcpy(&value, bytes.constData(), 8);
        return true;
    }

    const QByteArray& Payload() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

namespace {

// Making the prefix on first use takes Wine half a minute on a slow machine.
constexpr auto kStartLimit = 240s;
// A request whose helper sends nothing for this long counts as hung.
constexpr auto kSilenceLimit = std::chrono::seconds(ORV_HELPER_SILENCE_LIMIT_SECONDS);

// A host block holding a copy of bytes (zero-ended when asked).
SusieLocalHandle HostBlock(const QByteArray& bytes, bool zeroEnded)
{
    SusieLocalHandle handle = SusieLocalAlloc(static_cast<size_t>(bytes.size()) + (zeroEnded ? 1 : 0));
    if (!handle)
        return nullptr;
    char* p = static_cast<char*>(SusieLocalLock(handle));
    std::memcpy(p, bytes.constData(), static_cast<size_t>(bytes.size()));
    if (zeroEnded)
        p[bytes.size()] = '\0';
    SusieLocalUnlock(handle);
    return handle;
}

// Wine reads Linux file names in the character set of its locale, which is
// not UTF-8 where the Japanese locale is not installed. A name with bytes
// beyond ASCII is therefore handed over as an ASCII link to the file, made in
// the private work folder for the time of a call (or kept, for a DLL that
// stays loaded).
class AsciiName {
public:
    AsciiName(const QByteArray& path, bool keep) : m_path(path), m_keep(keep)
    {
        if (std::all_of(path.begin(), path.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; }))
            return;
        const std::optional<QString> work = platform::PrivateWorkFolder();
        if (!work || !QDir().mkpath(*work + QStringLiteral("/wine-names")))
            return;
        const QString target = QFileInfo(QFile::decodeName(path)).absoluteFilePath();
        QString extension = QFileInfo(target).suffix();
        const bool asciiExtension = std::all_of(extension.begin(), extension.end(),
                                                [](QChar c) { return c.unicode() < 0x80 && c.unicode() != '/'; });
        const QByteArray hash =
            QCryptographicHash::hash(QFile::encodeName(target), QCryptographicHash::Sha1).toHex().left(24);
        QString link = *work + QStringLiteral("/wine-names/") + QString::fromLatin1(hash);
        if (asciiExtension && !extension.isEmpty())
            link += QLatin1Char('.') + extension;
        if (QFileInfo(link).symLinkTarget() != target) {
            QFile::remove(link);
            if (!QFile::link(target, link))
                return;
        }
        m_link = link;
        m_path = QFile::encodeName(link);
    }
    ~AsciiName()
    {
        if (!m_keep && !m_link.isEmpty())
            QFile::remove(m_link);
    }
    const QByteArray& Path() const { return m_path; }

private:
    QByteArray m_path;
    QString m_link;
    bool m_keep;
};

} // namespace

// One running helper program for the Windows plug-ins of one kind.
class WineHelper {
public:
    explicit WineHelper(int bits) : m_bits(bits) {}
    ~WineHelper() { Stop(); }

    static WineHelper& ForBits(int bits)
    {
        static WineHelper helper32(32);
        static WineHelper helper64(64);
        return bits == 32 ? helper32 : helper64;
    }

    std::recursive_mutex& Mutex() { return m_mutex; }
    bool IsRunning() { return m_process.IsStarted() && !m_process.HasEnded(); }
    // True when the host asked the last request to stop (a plug-in may have
    // finished before the request reached it).
    bool AbortAsked() const { return m_abortAsked; }

    // True when the helper can run here: Wine, the helper program and the
    // prefix folder are there. Cheap, and never waits for a running call;
    // when it cannot run, the reason is logged once.
    bool Usable()
    {
        if (m_unusable)
            return false;
        const std::lock_guard<std::mutex> lock(m_checkMutex);
        if (m_checked)
            return !m_unusable;
        m_checked = true;
        QString reason;
        if (platform::WineLoader(m_bits).isEmpty()) {
            reason =
                m_bits == 32
                    ? QStringLiteral("32 ビットの Windows プラグイン (.spi) には wine32 が必要です。読み込みません。")
                    : QStringLiteral("Wine (wine64) がないため、Windows プラグインを読み込みません。");
        } else if (!QFile::exists(WindowsPluginHelperProgram(m_bits))) {
            reason = QStringLiteral("Windows プラグインの補助プログラム %1 がありません。")
                         .arg(WindowsPluginHelperProgram(m_bits));
        } else if (!platform::WinePrefixFolder()) {
            reason = QStringLiteral("作業フォルダーがないため、Wine を使えません。");
        }
        if (!reason.isEmpty()) {
            qWarning().noquote() << reason;
            m_unusable = true;
        }
        return !m_unusable;
    }

    // True when the helper runs (started now if needed; that is slow, so it
    // happens on the decoding threads or in the background, never on the
    // window thread).
    bool EnsureRunning()
    {
        if (m_process.IsStarted())
            return true;
        if (!Usable())
            return false;
        const QString loader = platform::WineLoader(m_bits);
        const QString program = WindowsPluginHelperProgram(m_bits);
        const std::optional<QString> prefix = platform::WinePrefixFolder();
        if (!prefix)
            return false;
        // A helper that cannot be started once is not tried again: each try
        // could cost the whole start-up time limit.
        const auto startedAt = std::chrono::steady_clock::now();
        if (m_abandoned || !m_process.Start(loader, {program}, platform::WineEnvironment(*prefix))) {
            m_unusable = true;
            return Fail(QStringLiteral("Wine を起動できません: %1").arg(loader));
        }
        if (m_abandoned) // abandoned while starting, before Abandon could see the process
            m_process.Interrupt();
        HelperFields hello;
        hello.Int(ORV_F_PROTOCOL, ORV_HELPER_PROTOCOL_VERSION);
        hello.Int(ORV_F_CAPS, 0);
        HelperFields reply;
        int64_t status = -1, kind = 0;
        const int64_t wanted = m_bits == 32 ? ORV_KIND_WINDOWS_32 : ORV_KIND_WINDOWS_64;
        if (!Exchange(ORV_MSG_HELLO, hello, reply, nullptr, 0, kStartLimit, QString())
            || !reply.FindInt(ORV_F_STATUS, status) || status != ORV_STATUS_OK || !reply.FindInt(ORV_F_KIND, kind)
            || kind != wanted) {
            m_unusable = true;
            return Fail(QStringLiteral("Windows プラグインの補助プログラムが応答しません。"));
        }
        qInfo().noquote() << QStringLiteral(
                                 "Windows プラグインの補助プログラム (%1 ビット) が %2 ミリ秒で起動しました。")
                                 .arg(m_bits)
                                 .arg(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - startedAt)
                                          .count());
        return true;
    }

    // Sends a request and reads its reply, passing progress frames to the
    // callback and asking the helper to stop when the callback says so. On
    // any failure the helper is ended and the reason logged.
    bool Exchange(uint32_t type, const HelperFields& request, HelperFields& reply, SusieProgressCallback progress,
                  intptr_t data, std::chrono::milliseconds firstLimit, const QString& who)
    {
        const uint32_t serial = ++m_serial;
        const QByteArray& payload = request.Payload();
        const OrvFrameHeader header{ORV_HELPER_MAGIC, type, serial, static_cast<uint32_t>(payload.size())};
        if (!m_process.Write(&header, sizeof header) || !m_process.Write(payload.constData(), payload.size()))
            return Fail(QStringLiteral("Windows プラグインの補助プログラムが終了しました (%1)。").arg(who));
        bool aborted = false;
        std::chrono::milliseconds limit = firstLimit;
        for (;;) {
            OrvFrameHeader frame;
            if (!m_process.Read(&frame, sizeof frame, limit)) {
                const bool crashed = m_process.HasEnded();
                Fail(crashed ? QStringLiteral("Windows プラグイン %1 が異常終了しました。").arg(who)
                             : QStringLiteral("Windows プラグイン %1 が応答しないため、補助プログラムを終了しました。")
                                   .arg(who));
                // The program names the plug-in once per session.
                if (!who.isEmpty())
                    helper::FaultNotices::Report(
                        QStringLiteral("spi:") + who,
                        QStringLiteral("Susie プラグイン %1 が%2。このプラグインで読む画像は表示できません。")
                            .arg(QFileInfo(who).fileName(), crashed ? QStringLiteral("異常終了しました")
                                                                    : QStringLiteral("応答しなくなりました")));
                return false;
            }
            limit = kSilenceLimit;
            if (frame.magic != ORV_HELPER_MAGIC || frame.length > ORV_MAX_FRAME_PAYLOAD || frame.serial != serial)
                return Fail(QStringLiteral("Windows プラグイン %1 の応答が不正です。").arg(who));
            QByteArray body(static_cast<qsizetype>(frame.length), Qt::Uninitialized);
            if (frame.length && !m_process.Read(body.data(), frame.length, kSilenceLimit))
                return Fail(QStringLiteral("Windows プラグイン %1 の応答が途切れました。").arg(who));
            if (frame.type == ORV_MSG_PROGRESS) {
                const HelperFields fields(body);
                int64_t current = 0, total = 0;
                // A frame without the numbers is a bare sign of life.
                const bool report = fields.FindInt(ORV_F_CURRENT, current) && fields.FindInt(ORV_F_TOTAL, total);
                if (report && progress && !aborted
                    && progress(static_cast<int32_t>(current), static_cast<int32_t>(total), data) != 0) {
                    aborted = true;
                    const OrvFrameHeader abort{ORV_HELPER_MAGIC, ORV_MSG_ABORT, serial, 0};
                    if (!m_process.Write(&abort, sizeof abort))
                        return Fail(QStringLiteral("Windows プラグインの補助プログラムが終了しました (%1)。").arg(who));
                }
                continue;
            }
            if (frame.type != ORV_MSG_REPLY)
                return Fail(QStringLiteral("Windows プラグイン %1 の応答が不正です。").arg(who));
            reply = HelperFields(std::move(body));
            m_abortAsked = aborted;
            return true;
        }
    }

    // One Susie request: false when no reply came or the helper could not
    // carry it out (its status is logged).
    bool Call(uint32_t type, const HelperFields& request, HelperFields& reply, SusieProgressCallback progress,
              intptr_t data, const QString& who)
    {
        // A progress handler that asks a Windows plug-in again while its
        // helper is busy would mix two conversations on one channel.
        if (m_busy) {
            qWarning().noquote() << QStringLiteral("Windows プラグイン %1 の処理中に再度呼び出されました。").arg(who);
            return false;
        }
        struct BusyWhile {
            bool& busy;
            ~BusyWhile() { busy = false; }
        } busyWhile{m_busy};
        m_busy = true;
        if (!EnsureRunning() || !Exchange(type, request, reply, progress, data, kSilenceLimit, who))
            return false;
        int64_t status = -1;
        if (!reply.FindInt(ORV_F_STATUS, status))
            return false;
        if (status != ORV_STATUS_OK) {
            QByteArray text;
            reply.Find(ORV_F_TEXT, text);
            qWarning().noquote() << QStringLiteral("Windows プラグイン %1: %2").arg(who, QString::fromUtf8(text));
            return false;
        }
        return true;
    }

    // For the end of the program: ends the helper from any thread, also
    // while another thread waits for its start or a reply (that call fails
    // at once), and starts none again.
    void Abandon()
    {
        m_abandoned = true;
        m_process.Interrupt();
    }

    void Stop()
    {
        if (!m_process.IsStarted())
            return;
        const OrvFrameHeader quit{ORV_HELPER_MAGIC, ORV_MSG_QUIT, ++m_serial, 0};
        m_process.Write(&quit, sizeof quit);
        m_process.Stop(1000ms);
    }

private:
    bool Fail(const QString& message)
    {
        qWarning().noquote() << message;
        m_process.Stop(0ms);
        return false;
    }

    const int m_bits;
    std::recursive_mutex m_mutex;
    bool m_busy = false;
    bool m_abortAsked = false;
    platform::PipeProcess m_process;
    uint32_t m_serial = 0;
    std::mutex m_checkMutex;
    bool m_checked = false;
    std::atomic<bool> m_unusable{false};
    std::atomic<bool> m_abandoned{false};
};

namespace {

QString& HelperFolderForTesting()
{
    static QString folder;
    return folder;
}

} // namespace

QString WindowsPluginHelperProgram(int bits)
{
    const QString folder = HelperFolderForTesting().isEmpty() ? platform::ProgramDir() : HelperFolderForTesting();
    return folder + QStringLiteral("/orvanto-spihost%1.exe").arg(bits);
}

void SetWindowsPluginHelperFolderForTesting(const QString& folder)
{
    HelperFolderForTesting() = folder;
}

void StopWindowsPluginHelper(int bits)
{
    WineHelper& helper = WineHelper::ForBits(bits);
    std::lock_guard<std::recursive_mutex> lock(helper.Mutex());
    helper.Stop();
}

bool WindowsPluginHelperRunning(int bits)
{
    WineHelper& helper = WineHelper::ForBits(bits);
    std::lock_guard<std::recursive_mutex> lock(helper.Mutex());
    return helper.IsRunning();
}

void AbandonWindowsPluginHelpers()
{
    WineHelper::ForBits(32).Abandon();
    WineHelper::ForBits(64).Abandon();
}

WindowsPlugin::~WindowsPlugin() = default;

std::unique_ptr<WindowsPlugin> WindowsPlugin::Prepare(const QString& path, PluginBinaryKind kind, uint32_t exported)
{
    if (kind != PluginBinaryKind::Windows32 && kind != PluginBinaryKind::Windows64)
        return nullptr;
    WineHelper& helper = WineHelper::ForBits(kind == PluginBinaryKind::Windows32 ? 32 : 64);
    if (!helper.Usable())
        return nullptr;
    std::unique_ptr<WindowsPlugin> plugin(new WindowsPlugin(helper, path));
    plugin->m_exported = exported;
    return plugin;
}

std::unique_ptr<WindowsPlugin> WindowsPlugin::Open(const QString& path, PluginBinaryKind kind)
{
    if (kind == PluginBinaryKind::WindowsOther) {
        qWarning().noquote() << QStringLiteral("%1 はこの環境で使えない種類の Windows プラグインです。").arg(path);
        return nullptr;
    }
    if (kind != PluginBinaryKind::Windows32 && kind != PluginBinaryKind::Windows64)
        return nullptr;
    WineHelper& helper = WineHelper::ForBits(kind == PluginBinaryKind::Windows32 ? 32 : 64);
    std::unique_ptr<WindowsPlugin> plugin(new WindowsPlugin(helper, path));
    HelperFields reply;
    int64_t mask = 0;
    if (!plugin->Request(ORV_MSG_SPI_LOAD, HelperFields(), reply) || !reply.FindInt(ORV_F_ENTRY_MASK, mask))
        return nullptr;
    plugin->m_exported = static_cast<uint32_t>(mask);
    return plugin;
}

bool WindowsPlugin::Request(uint32_t type, const HelperFields& fields, HelperFields& reply,
                            SusieProgressCallback progress, intptr_t data, bool* abortAsked)
{
    HelperFields request;
    const AsciiName dll(QFile::encodeName(m_path), true);
    request.Bytes(ORV_F_PATH, dll.Path());
    QByteArray payload = request.Payload() + fields.Payload();
    std::lock_guard<std::recursive_mutex> lock(m_helper.Mutex());
    const bool answered = m_helper.Call(type, HelperFields(payload), reply, progress, data, m_path);
    if (abortAsked)
        *abortAsked = answered && m_helper.AbortAsked();
    if (!answered)
        m_callFailed = true;
    return answered;
}

int32_t WindowsPlugin::GetPluginInfo(int32_t infoNumber, QByteArray& text)
{
    HelperFields request;
    request.Int(ORV_F_NUMBER, infoNumber);
    HelperFields reply;
    int64_t result = 0;
    text.clear();
    if (!Request(ORV_MSG_SPI_PLUGIN_INFO, request, reply) || !reply.FindInt(ORV_F_RESULT, result))
        return 0;
    reply.Find(ORV_F_TEXT, text);
    // The host's buffer is 256 bytes; a longer (converted) text is cut at a
    // character boundary.
    if (text.size() > SUSIE_INFO_BUFFER_LENGTH) {
        qsizetype cut = SUSIE_INFO_BUFFER_LENGTH;
        while (cut > 0 && (static_cast<uint8_t>(text.at(cut)) & 0xC0) == 0x80)
            --cut;
        text.truncate(cut);
    }
    return static_cast<int32_t>(result);
}

int32_t WindowsPlugin::IsSupported(const char* name, const void* head)
{
    HelperFields request;
    const AsciiName file(QByteArray(name ? name : ""), false);
    request.Bytes(ORV_F_NAME, file.Path());
    request.Bytes(ORV_F_DATA, static_cast<const char*>(head), SUSIE_HEAD_SIZE);
    HelperFields reply;
    int64_t result = 0;
    if (!Request(ORV_MSG_SPI_IS_SUPPORTED, request, reply) || !reply.FindInt(ORV_F_RESULT, result))
        return 0;
    return static_cast<int32_t>(result);
}

namespace {

// The input of the picture calls: a file name and offset, or the data.
// fileName is what the helper is given for file input.
bool PutPictureInput(HelperFields& request, const char* buf, intptr_t len, uint32_t flag, const QByteArray& fileName)
{
    const uint32_t kind = flag & SUSIE_INPUT_MASK;
    request.Int(ORV_F_INPUT_KIND, kind);
    if (kind == SUSIE_INPUT_MEMORY) {
        if (len < 0 || static_cast<uint64_t>(len) > ORV_MAX_FRAME_PAYLOAD - 4096)
            return false;
        request.Bytes(ORV_F_DATA, buf, static_cast<qsizetype>(len));
    } else if (kind == SUSIE_INPUT_FILE) {
        request.Bytes(ORV_F_NAME, fileName);
        request.Int(ORV_F_OFFSET, len);
    } else {
        return false;
    }
    return true;
}

QByteArray InputFileName(const char* buf, uint32_t flag)
{
    return (flag & SUSIE_INPUT_MASK) == SUSIE_INPUT_FILE && buf ? QByteArray(buf) : QByteArray();
}

} // namespace

int32_t WindowsPlugin::GetPictureInfo(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info)
{
    HelperFields request;
    const AsciiName file(InputFileName(buf, flag), false);
    if (!info || !PutPictureInput(request, buf, len, flag, file.Path()))
        return SUSIE_INTERNAL_ERROR;
    HelperFields reply;
    int64_t result = 0;
    if (!Request(ORV_MSG_SPI_GET_PICTURE_INFO, request, reply) || !reply.FindInt(ORV_F_RESULT, result))
        return SUSIE_INTERNAL_ERROR;
    if (result != 0)
        return static_cast<int32_t>(result);
    QByteArray recordBytes;
    if (!reply.Find(ORV_F_PICTURE_INFO, recordBytes) || recordBytes.size() != ORV_PICTURE_INFO_SIZE)
        return SUSIE_INTERNAL_ERROR;
    OrvPictureInfo record;
    std::memcpy(&record, recordBytes.constData(), sizeof record);
    SusiePictureInfo out{};
    out.left = record.left;
    out.top = record.top;
    out.width = record.width;
    out.height = record.height;
    out.xDensity = record.xDensity;
    out.yDensity = record.yDensity;
    out.colorDepth = record.colorDepth;
    QByteArray text;
    if (reply.Find(ORV_F_TEXT_INFO, text) && !text.isEmpty())
        out.hInfo = HostBlock(text, true);
    *info = out;
    return 0;
}

int32_t WindowsPlugin::GetPicture(bool preview, const char* buf, intptr_t len, uint32_t flag,
                                  SusieLocalHandle* bitmapInfo, SusieLocalHandle* bitmapBits,
                                  SusieProgressCallback progress, intptr_t data)
{
    HelperFields request;
    const AsciiName file(InputFileName(buf, flag), false);
    if (!bitmapInfo || !bitmapBits || !PutPictureInput(request, buf, len, flag, file.Path()))
        return SUSIE_INTERNAL_ERROR;
    HelperFields reply;
    int64_t result = 0;
    bool abortAsked = false;
    if (!Request(preview ? ORV_MSG_SPI_GET_PREVIEW : ORV_MSG_SPI_GET_PICTURE, request, reply, progress, data,
                 &abortAsked)
        || !reply.FindInt(ORV_F_RESULT, result))
        return SUSIE_INTERNAL_ERROR;
    if (result != 0)
        return static_cast<int32_t>(result);
    // Asked to stop: aborted, even when the plug-in finished first.
    if (abortAsked)
        return SUSIE_ABORTED;
    QByteArray infoBytes, bitsBytes;
    const bool hasInfo = reply.Find(ORV_F_BITMAP_INFO, infoBytes);
    const bool hasBits = reply.Find(ORV_F_BITMAP_BITS, bitsBytes);
    SusieLocalHandle infoBlock = hasInfo ? HostBlock(infoBytes, false) : nullptr;
    SusieLocalHandle bitsBlock = hasBits ? HostBlock(bitsBytes, false) : nullptr;
    if ((hasInfo && !infoBlock) || (hasBits && !bitsBlock)) {
        SusieLocalFree(infoBlock);
        SusieLocalFree(bitsBlock);
        return SUSIE_NO_MEMORY;
    }
    *bitmapInfo = infoBlock;
    *bitmapBits = bitsBlock;
    return 0;
}
