#include "WindowsPlugin.h"

#include "decode/susie/WinePluginProtocol.h"
#include "platform/PipeProcess.h"
#include "platform/ProgramLocation.h"
#include "platform/WineRuntime.h"

#include <QFile>
#include <QtDebug>

#include <chrono>
#include <cstring>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// Making the prefix on first use takes Wine half a minute on a slow machine.
constexpr auto kStartLimit = 240s;
// A request whose helper says nothing for this long counts as hung.
constexpr auto kAnswerLimit = 10s;

void PutU32(QByteArray& b, uint32_t v)
{
    char bytes[4];
    std::memcpy(bytes, &v, 4);
    b.append(bytes, 4);
}

void PutI64(QByteArray& b, int64_t v)
{
    char bytes[8];
    std::memcpy(bytes, &v, 8);
    b.append(bytes, 8);
}

template <class T>
bool Take(const QByteArray& b, qsizetype& at, T& value)
{
    if (at < 0 || b.size() - at < static_cast<qsizetype>(sizeof(T)))
        return false;
    std::memcpy(&value, b.constData() + at, sizeof(T));
    at += sizeof(T);
    return true;
}

// A host block holding a copy of bytes (at least one byte, zero-ended when
// asked).
SusieLocalHandle HostBlock(const char* bytes, uint32_t size, bool zeroEnded)
{
    SusieLocalHandle handle = SusieLocalAlloc(size + (zeroEnded ? 1 : 0));
    if (!handle)
        return nullptr;
    char* p = static_cast<char*>(SusieLocalLock(handle));
    std::memcpy(p, bytes, size);
    if (zeroEnded)
        p[size] = '\0';
    SusieLocalUnlock(handle);
    return handle;
}

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

    std::mutex& Mutex() { return m_mutex; }
    uint64_t Generation() const { return m_generation; }

    // True when the helper runs (started now if needed). When it cannot run
    // here, the reason is logged once.
    bool EnsureRunning()
    {
        if (m_process.IsStarted())
            return true;
        if (m_unusable)
            return false;
        const QString loader = platform::WineLoader(m_bits);
        const QString program = WindowsPluginHelperProgram(m_bits);
        const std::optional<QString> prefix = platform::WinePrefixFolder();
        QString reason;
        if (loader.isEmpty()) {
            reason = m_bits == 32
                ? QStringLiteral("32 ビットの Windows プラグイン (.spi) には wine32 が必要です。読み込みません。")
                : QStringLiteral("Wine (wine64) がないため、Windows プラグインを読み込みません。");
        } else if (!QFile::exists(program)) {
            reason = QStringLiteral("Windows プラグインの補助プログラム %1 がありません。").arg(program);
        } else if (!prefix) {
            reason = QStringLiteral("作業フォルダーがないため、Wine を使えません。");
        }
        if (!reason.isEmpty()) {
            if (!m_reasonLogged)
                qWarning().noquote() << reason;
            m_reasonLogged = true;
            return false;
        }
        // A helper that cannot be started once is not tried again: each try
        // could cost the whole start-up time limit.
        if (!m_process.Start(loader, {program}, platform::WineEnvironment(*prefix))) {
            m_unusable = true;
            return Fail(QStringLiteral("Wine を起動できません: %1").arg(loader));
        }
        WspFrameHeader header;
        uint32_t hello[3];
        if (!m_process.Read(&header, sizeof header, kStartLimit) || header.opcode != WSP_HELLO ||
            header.length != sizeof hello || !m_process.Read(hello, sizeof hello, kAnswerLimit) ||
            hello[0] != WSP_PROTOCOL_VERSION || hello[1] * 8 != static_cast<uint32_t>(m_bits)) {
            m_unusable = true;
            return Fail(QStringLiteral("Windows プラグインの補助プログラムが応答しません。"));
        }
        ++m_generation;
        return true;
    }

    // Sends a request and reads its reply, answering progress frames on the
    // way. On any failure the helper is ended.
    bool Call(uint32_t opcode, uint32_t plugin, const QByteArray& payload, QByteArray& reply,
              uint32_t& replyPlugin, SusieProgressCallback progress, intptr_t data, const QString& who)
    {
        const WspFrameHeader request{opcode, plugin, static_cast<uint32_t>(payload.size())};
        if (!m_process.Write(&request, sizeof request) || !m_process.Write(payload.constData(), payload.size()))
            return Fail(QStringLiteral("Windows プラグインの補助プログラムが終了しました (%1)").arg(who));
        for (;;) {
            WspFrameHeader header;
            if (!m_process.Read(&header, sizeof header, kAnswerLimit) || header.length > WSP_MAX_PAYLOAD)
                return Fail(QStringLiteral("Windows プラグイン %1 が応答しないため、補助プログラムを終了しました。").arg(who));
            QByteArray body(static_cast<qsizetype>(header.length), Qt::Uninitialized);
            if (header.length && !m_process.Read(body.data(), header.length, kAnswerLimit))
                return Fail(QStringLiteral("Windows プラグイン %1 の応答が途切れました。").arg(who));
            if (header.opcode == WSP_CRASHED) {
                qsizetype at = 0;
                uint32_t code = 0;
                Take(body, at, code);
                return Fail(QStringLiteral("Windows プラグイン %1 が異常終了しました (例外 0x%2)。")
                                .arg(who)
                                .arg(code, 8, 16, QLatin1Char('0')));
            }
            if (header.opcode == WSP_PROGRESS) {
                qsizetype at = 0;
                int32_t current = 0, total = 0;
                Take(body, at, current);
                Take(body, at, total);
                const int32_t stop = progress ? (progress(current, total, data) != 0 ? 1 : 0) : 0;
                const WspFrameHeader answer{WSP_PROGRESS, header.plugin, 4};
                if (!m_process.Write(&answer, sizeof answer) || !m_process.Write(&stop, 4))
                    return Fail(QStringLiteral("Windows プラグインの補助プログラムが終了しました (%1)").arg(who));
                continue;
            }
            if (header.opcode != opcode)
                return Fail(QStringLiteral("Windows プラグイン %1 の応答が不正です。").arg(who));
            reply = std::move(body);
            replyPlugin = header.plugin;
            return true;
        }
    }

    void Stop()
    {
        if (!m_process.IsStarted())
            return;
        const WspFrameHeader quit{WSP_QUIT, 0, 0};
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
    std::mutex m_mutex;
    platform::PipeProcess m_process;
    uint64_t m_generation = 0;
    bool m_reasonLogged = false;
    bool m_unusable = false;
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
    std::lock_guard<std::mutex> lock(helper.Mutex());
    helper.Stop();
}

WindowsPlugin::~WindowsPlugin() = default;

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
    std::lock_guard<std::mutex> lock(helper.Mutex());
    if (!helper.EnsureRunning() || !plugin->OpenInHelper())
        return nullptr;
    return plugin;
}

bool WindowsPlugin::OpenInHelper()
{
    QByteArray reply;
    uint32_t number = 0;
    if (!m_helper.Call(WSP_OPEN, 0, QFile::encodeName(m_path), reply, number, nullptr, 0, m_path))
        return false;
    qsizetype at = 0;
    int32_t status = -1;
    uint32_t exported = 0;
    if (!Take(reply, at, status) || !Take(reply, at, exported) || status != WSP_OPEN_OK || number == 0)
        return false;
    m_number = number;
    m_exported = exported;
    m_generation = m_helper.Generation();
    return true;
}

bool WindowsPlugin::Request(uint32_t opcode, const QByteArray& payload, QByteArray& reply,
                            SusieProgressCallback progress, intptr_t data)
{
    std::lock_guard<std::mutex> lock(m_helper.Mutex());
    if (!m_helper.EnsureRunning())
        return false;
    if (m_generation != m_helper.Generation() && !OpenInHelper())
        return false;
    uint32_t number = 0;
    return m_helper.Call(opcode, m_number, payload, reply, number, progress, data, m_path);
}

int32_t WindowsPlugin::GetPluginInfo(int32_t infoNumber, QByteArray& text)
{
    QByteArray payload;
    PutU32(payload, static_cast<uint32_t>(infoNumber));
    QByteArray reply;
    int32_t result = 0;
    qsizetype at = 0;
    if (!Request(WSP_PLUGIN_INFO, payload, reply) || !Take(reply, at, result)) {
        text.clear();
        return 0;
    }
    // The host's buffer is 256 bytes; a longer (converted) text is cut at a
    // character boundary.
    text = reply.mid(at);
    if (text.size() > SUSIE_INFO_BUFFER_LENGTH) {
        qsizetype cut = SUSIE_INFO_BUFFER_LENGTH;
        while (cut > 0 && (static_cast<uint8_t>(text.at(cut)) & 0xC0) == 0x80)
            --cut;
        text.truncate(cut);
    }
    return result;
}

int32_t WindowsPlugin::IsSupported(const char* name, const void* head)
{
    const QByteArray nameBytes(name ? name : "");
    QByteArray payload;
    PutU32(payload, static_cast<uint32_t>(nameBytes.size()));
    payload.append(nameBytes);
    payload.append(static_cast<const char*>(head), WSP_HEAD_SIZE);
    QByteArray reply;
    int32_t result = 0;
    qsizetype at = 0;
    if (!Request(WSP_IS_SUPPORTED, payload, reply) || !Take(reply, at, result))
        return 0;
    return result;
}

namespace {

// The input of the picture calls: a file name and offset, or the data.
bool PutPictureInput(QByteArray& payload, const char* buf, intptr_t len, uint32_t flag)
{
    PutU32(payload, flag);
    PutI64(payload, len);
    if ((flag & SUSIE_INPUT_MASK) == SUSIE_INPUT_MEMORY) {
        if (len < 0 || static_cast<uint64_t>(len) > WSP_MAX_PAYLOAD - 64)
            return false;
        PutU32(payload, static_cast<uint32_t>(len));
        payload.append(buf, static_cast<qsizetype>(len));
    } else {
        const QByteArray name(buf ? buf : "");
        PutU32(payload, static_cast<uint32_t>(name.size()));
        payload.append(name);
    }
    return true;
}

} // namespace

int32_t WindowsPlugin::GetPictureInfo(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info)
{
    QByteArray payload;
    if (!info || !PutPictureInput(payload, buf, len, flag))
        return SUSIE_INTERNAL_ERROR;
    QByteArray reply;
    if (!Request(WSP_PICTURE_INFO, payload, reply))
        return SUSIE_INTERNAL_ERROR;
    qsizetype at = 0;
    int32_t result = 0;
    SusiePictureInfo record{};
    uint32_t textSize = 0;
    if (!Take(reply, at, result))
        return SUSIE_INTERNAL_ERROR;
    if (result != 0)
        return result;
    if (!Take(reply, at, record.left) || !Take(reply, at, record.top) || !Take(reply, at, record.width) ||
        !Take(reply, at, record.height) || !Take(reply, at, record.xDensity) ||
        !Take(reply, at, record.yDensity) || !Take(reply, at, record.colorDepth) || !Take(reply, at, textSize) ||
        reply.size() - at != static_cast<qsizetype>(textSize))
        return SUSIE_INTERNAL_ERROR;
    record.hInfo = textSize ? HostBlock(reply.constData() + at, textSize, true) : nullptr;
    *info = record;
    return 0;
}

int32_t WindowsPlugin::GetPicture(bool preview, const char* buf, intptr_t len, uint32_t flag,
                                  SusieLocalHandle* bitmapInfo, SusieLocalHandle* bitmapBits,
                                  SusieProgressCallback progress, intptr_t data)
{
    QByteArray payload;
    if (!bitmapInfo || !bitmapBits || !PutPictureInput(payload, buf, len, flag))
        return SUSIE_INTERNAL_ERROR;
    PutU32(payload, progress ? 1u : 0u);
    QByteArray reply;
    if (!Request(preview ? WSP_PREVIEW : WSP_PICTURE, payload, reply, progress, data))
        return SUSIE_INTERNAL_ERROR;
    qsizetype at = 0;
    int32_t result = 0;
    uint32_t infoSize = 0, bitsSize = 0;
    if (!Take(reply, at, result))
        return SUSIE_INTERNAL_ERROR;
    if (result != 0)
        return result;
    if (!Take(reply, at, infoSize) || !Take(reply, at, bitsSize) ||
        reply.size() - at != static_cast<qsizetype>(infoSize) + static_cast<qsizetype>(bitsSize))
        return SUSIE_INTERNAL_ERROR;
    SusieLocalHandle infoBlock = infoSize ? HostBlock(reply.constData() + at, infoSize, false) : nullptr;
    SusieLocalHandle bitsBlock = bitsSize ? HostBlock(reply.constData() + at + infoSize, bitsSize, false) : nullptr;
    if ((infoSize && !infoBlock) || (bitsSize && !bitsBlock)) {
        SusieLocalFree(infoBlock);
        SusieLocalFree(bitsBlock);
        return SUSIE_NO_MEMORY;
    }
    *bitmapInfo = infoBlock;
    *bitmapBits = bitsBlock;
    return 0;
}
