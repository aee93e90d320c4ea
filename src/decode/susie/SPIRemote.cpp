#include "SPIRemote.h"

#include "helper/HelperClient.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <map>
#include <mutex>

namespace spiremote {
namespace {

// Data in memory of at least this size goes through shared memory.
constexpr intptr_t kShmThreshold = 64 * 1024;

std::mutex& FailedLock()
{
    static auto* lock = new std::mutex; // never freed: used until the very end
    return *lock;
}

QStringList& FailedDuringSearch()
{
    static auto* names = new QStringList;
    return *names;
}

QString PluginName(const QString& path)
{
    return QFileInfo(path).fileName();
}

// Names the plug-in once per session.
void ReportFailure(const QString& path, helper::CallOutcome outcome)
{
    if (outcome == helper::CallOutcome::Cancelled)
        return;
    const QString detail = helper::HelperClient::Plugins().LastFailure();
    helper::FaultNotices::Report(QStringLiteral("spi:") + path,
                                 QStringLiteral("Susie プラグイン %1 が%2。このプラグインで読む画像は表示できません。")
                                     .arg(PluginName(path), helper::OutcomeText(outcome, detail)));
}

helper::CallOutcome Call(helper::MessageBuilder& request, helper::Message& reply,
                         const helper::HelperClient::ProgressHook& progress = {})
{
    return helper::HelperClient::Plugins().Call(request, reply, progress);
}

// A file name the helper can open whatever its current folder.
std::string AbsoluteName(const char* name)
{
    const QString text = QString::fromUtf8(name);
    if (text.isEmpty() || text.startsWith(QLatin1Char('/')))
        return name;
    return QDir::current().absoluteFilePath(text).toStdString();
}

// Adds the data a request names. descriptor receives a memfd to close
// after the call (or -1).
void AddInput(helper::MessageBuilder& request, const char* buf, intptr_t len, std::uint32_t flag, int& descriptor)
{
    descriptor = -1;
    if ((flag & SUSIE_INPUT_MASK) == SUSIE_INPUT_FILE) {
        request.Int(ORV_F_INPUT_KIND, ORV_INPUT_FILE).Text(ORV_F_NAME, AbsoluteName(buf)).Int(ORV_F_OFFSET, len);
        return;
    }
    request.Int(ORV_F_INPUT_KIND, ORV_INPUT_MEMORY);
    if (len < 0)
        len = 0;
    if (len >= kShmThreshold && helper::HelperClient::Plugins().AcceptsDescriptors()) {
        descriptor = helper::SharedCopy(buf, static_cast<std::size_t>(len));
        if (descriptor >= 0) {
            request.Shm(ORV_F_DATA_SHM, descriptor, static_cast<std::uint64_t>(len));
            return;
        }
    }
    request.Bytes(ORV_F_DATA, buf, static_cast<std::size_t>(len));
}

// A local memory block holding a copy of a block of the reply; nullptr when
// the reply has none.
std::mutex& MappedLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

std::map<const void*, platform::SharedMapping>& MappedBlocks()
{
    static auto* blocks = new std::map<const void*, platform::SharedMapping>;
    return *blocks;
}

SusieLocalHandle TakeBlock(const helper::Message& reply, std::uint32_t inlineTag, std::uint32_t shmTag)
{
    if (const helper::Field* field = reply.Find(inlineTag)) {
        SusieLocalHandle block = SusieLocalAlloc(field->size);
        if (block && field->size)
            std::memcpy(SusieLocalLock(block), field->data, field->size);
        return block;
    }
    platform::SharedMapping mapping;
    if (!reply.MapShm(shmTag, mapping, true) || !mapping.Data())
        return nullptr;
    void* block = mapping.Data();
    std::lock_guard<std::mutex> guard(MappedLock());
    MappedBlocks().emplace(block, std::move(mapping));
    return block;
}

std::int32_t ResultOf(const helper::Message& reply, std::int32_t fallback)
{
    if (reply.IntOr(ORV_F_STATUS, -1) != ORV_STATUS_OK)
        return fallback;
    return static_cast<std::int32_t>(reply.IntOr(ORV_F_RESULT, fallback));
}

} // namespace

LoadStatus Load(const QString& path, PluginFacts& facts, QString& why)
{
    helper::MessageBuilder request(ORV_MSG_SPI_LOAD, 0);
    request.Text(ORV_F_PATH, path.toStdString());
    helper::Message reply;
    const helper::CallOutcome outcome = Call(request, reply);
    if (outcome != helper::CallOutcome::Replied) {
        why = helper::OutcomeText(outcome, helper::HelperClient::Plugins().LastFailure());
        if (outcome != helper::CallOutcome::Unavailable) {
            std::lock_guard<std::mutex> guard(FailedLock());
            FailedDuringSearch() << path;
        }
        return outcome == helper::CallOutcome::Unavailable ? LoadStatus::NotLoadable : LoadStatus::Failed;
    }
    if (reply.IntOr(ORV_F_STATUS, -1) != ORV_STATUS_OK) {
        why = QString::fromStdString(reply.Text(ORV_F_TEXT));
        return LoadStatus::NotLoadable;
    }
    facts = PluginFacts{};
    facts.entryMask = static_cast<std::uint32_t>(reply.IntOr(ORV_F_ENTRY_MASK, 0));
    if (reply.Find(ORV_F_API_VERSION)) {
        facts.hasApiVersion = true;
        facts.apiVersion = QByteArray::fromStdString(reply.Text(ORV_F_API_VERSION));
    }
    if (reply.Find(ORV_F_PLUGIN_INFO)) {
        facts.hasPluginInfo = true;
        facts.pluginInfo = QByteArray::fromStdString(reply.Text(ORV_F_PLUGIN_INFO));
    }
    const auto patterns = reply.FindAll(ORV_F_PATTERN);
    const auto names = reply.FindAll(ORV_F_FORMAT_NAME);
    for (std::size_t i = 0; i < patterns.size() && i < names.size(); ++i) {
        facts.patterns << QByteArray(patterns[i]->data, patterns[i]->size);
        facts.formatNames << QByteArray(names[i]->data, names[i]->size);
    }
    return LoadStatus::Loaded;
}

std::int32_t GetPluginInfo(const QString& path, std::int32_t infoNumber, QByteArray& text)
{
    helper::MessageBuilder request(ORV_MSG_SPI_PLUGIN_INFO, 0);
    request.Text(ORV_F_PATH, path.toStdString()).Int(ORV_F_NUMBER, infoNumber);
    helper::Message reply;
    const helper::CallOutcome outcome = Call(request, reply);
    text.clear();
    if (outcome != helper::CallOutcome::Replied) {
        ReportFailure(path, outcome);
        return 0;
    }
    text = QByteArray::fromStdString(reply.Text(ORV_F_TEXT)).left(SUSIE_INFO_BUFFER_LENGTH);
    return ResultOf(reply, 0);
}

std::int32_t IsSupported(const QString& path, const char* name, const void* head)
{
    helper::MessageBuilder request(ORV_MSG_SPI_IS_SUPPORTED, 0);
    request.Text(ORV_F_PATH, path.toStdString())
        .Text(ORV_F_NAME, name ? name : "")
        .Bytes(ORV_F_DATA, head, SUSIE_HEAD_SIZE);
    helper::Message reply;
    const helper::CallOutcome outcome = Call(request, reply);
    if (outcome != helper::CallOutcome::Replied) {
        ReportFailure(path, outcome);
        return 0;
    }
    return ResultOf(reply, 0);
}

std::int32_t GetPictureInfo(const QString& path, const char* buf, intptr_t len, std::uint32_t flag,
                            SusiePictureInfo* info)
{
    helper::MessageBuilder request(ORV_MSG_SPI_GET_PICTURE_INFO, 0);
    request.Text(ORV_F_PATH, path.toStdString());
    int descriptor = -1;
    AddInput(request, buf, len, flag, descriptor);
    helper::Message reply;
    const helper::CallOutcome outcome = Call(request, reply);
    platform::CloseDescriptor(descriptor);
    if (outcome != helper::CallOutcome::Replied) {
        ReportFailure(path, outcome);
        return outcome == helper::CallOutcome::Cancelled ? SUSIE_ABORTED : SUSIE_INTERNAL_ERROR;
    }
    const std::int32_t result = ResultOf(reply, SUSIE_INTERNAL_ERROR);
    if (result != 0 || !info)
        return result;
    const helper::Field* record = reply.Find(ORV_F_PICTURE_INFO);
    if (!record || record->size != ORV_PICTURE_INFO_SIZE)
        return SUSIE_INTERNAL_ERROR;
    OrvPictureInfo fields;
    std::memcpy(&fields, record->data, sizeof fields);
    *info = SusiePictureInfo{};
    info->left = fields.left;
    info->top = fields.top;
    info->width = fields.width;
    info->height = fields.height;
    info->xDensity = fields.xDensity;
    info->yDensity = fields.yDensity;
    info->colorDepth = fields.colorDepth;
    info->hInfo = TakeBlock(reply, ORV_F_TEXT_INFO, 0);
    return 0;
}

std::int32_t GetPicture(const QString& path, bool preview, const char* buf, intptr_t len, std::uint32_t flag,
                        SusieLocalHandle* bitmapInfo, SusieLocalHandle* bitmapBits, SusieProgressCallback progress,
                        intptr_t data)
{
    helper::MessageBuilder request(preview ? ORV_MSG_SPI_GET_PREVIEW : ORV_MSG_SPI_GET_PICTURE, 0);
    request.Text(ORV_F_PATH, path.toStdString());
    int descriptor = -1;
    AddInput(request, buf, len, flag, descriptor);
    helper::Message reply;
    helper::HelperClient::ProgressHook hook;
    bool abortAsked = false;
    if (progress) {
        hook = [progress, data, &abortAsked](std::int64_t current, std::int64_t total) {
            if (progress(static_cast<std::int32_t>(current), static_cast<std::int32_t>(total), data) != 0)
                abortAsked = true;
            return abortAsked;
        };
    }
    const helper::CallOutcome outcome = Call(request, reply, hook);
    platform::CloseDescriptor(descriptor);
    if (outcome != helper::CallOutcome::Replied) {
        ReportFailure(path, outcome);
        return outcome == helper::CallOutcome::Cancelled ? SUSIE_ABORTED : SUSIE_INTERNAL_ERROR;
    }
    const std::int32_t result = ResultOf(reply, SUSIE_INTERNAL_ERROR);
    if (result != 0)
        return result;
    // Asked to stop, the plug-in would have stopped in the program: a
    // plug-in that finished before the request reached it is stopped here.
    if (abortAsked)
        return SUSIE_ABORTED;
    SusieLocalHandle infoBlock = TakeBlock(reply, ORV_F_BITMAP_INFO, ORV_F_BITMAP_INFO_SHM);
    SusieLocalHandle bitsBlock = TakeBlock(reply, ORV_F_BITMAP_BITS, ORV_F_BITMAP_BITS_SHM);
    if (!infoBlock || !bitsBlock) {
        FreeBlock(infoBlock);
        FreeBlock(bitsBlock);
        return SUSIE_MEMORY_ERROR;
    }
    if (bitmapInfo)
        *bitmapInfo = infoBlock;
    else
        FreeBlock(infoBlock);
    if (bitmapBits)
        *bitmapBits = bitsBlock;
    else
        FreeBlock(bitsBlock);
    return 0;
}

void FreeBlock(SusieLocalHandle block)
{
    if (!block)
        return;
    {
        std::lock_guard<std::mutex> guard(MappedLock());
        auto it = MappedBlocks().find(block);
        if (it != MappedBlocks().end()) {
            MappedBlocks().erase(it);
            return;
        }
    }
    SusieLocalFree(block);
}

size_t BlockSize(SusieLocalHandle block)
{
    if (!block)
        return 0;
    {
        std::lock_guard<std::mutex> guard(MappedLock());
        auto it = MappedBlocks().find(block);
        if (it != MappedBlocks().end())
            return it->second.Size();
    }
    return SusieLocalSize(block);
}

QStringList TakeFailedDuringSearch()
{
    std::lock_guard<std::mutex> guard(FailedLock());
    QStringList names;
    names.swap(FailedDuringSearch());
    return names;
}

} // namespace spiremote
