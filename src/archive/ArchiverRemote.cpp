#include "ArchiverRemote.h"

#include "helper/HelperClient.h"

#include <QFileInfo>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace archiveremote {
namespace {

struct RemoteModule {
    QString path;
    std::map<QByteArray, std::unique_ptr<RemoteEntry>> entries;
};

// The registries outlive every binding (bindings are static objects of the
// handlers, freed at program end in no set order), so they are never freed.
std::mutex& RegistryLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

std::set<const void*>& Modules()
{
    static auto* modules = new std::set<const void*>;
    return *modules;
}

std::set<const void*>& Entries()
{
    static auto* entries = new std::set<const void*>;
    return *entries;
}

thread_local QString t_lastFailure;

helper::HelperClient& Client()
{
    return helper::HelperClient::Archivers();
}

// Fills and sends an ARC_CALL; outcome Replied with status OK gives the
// reply, anything else a failure code.
struct CallResult {
    bool ok = false;
    std::int32_t failureCode = ARC_ERROR_HELPER_FAILED;
    helper::Message reply;
};

CallResult Run(helper::MessageBuilder& request)
{
    CallResult result;
    const helper::CallOutcome outcome = Client().Call(request, result.reply);
    if (outcome != helper::CallOutcome::Replied) {
        t_lastFailure = helper::OutcomeText(outcome, Client().LastFailure());
        result.failureCode =
            outcome == helper::CallOutcome::Cancelled ? ARC_ERROR_USER_CANCEL : ARC_ERROR_HELPER_FAILED;
        return result;
    }
    t_lastFailure.clear();
    const std::int64_t status = result.reply.IntOr(ORV_F_STATUS, -1);
    if (status != ORV_STATUS_OK) {
        result.failureCode = status == ORV_STATUS_NO_MEMORY ? ARC_ERROR_ENOUGH_MEMORY : ARC_ERROR_NOT_SUPPORT;
        return result;
    }
    result.ok = true;
    return result;
}

helper::MessageBuilder Request(const QString& path, const QByteArray& entry, int form)
{
    helper::MessageBuilder request(ORV_MSG_ARC_CALL, 0);
    request.Text(ORV_F_PATH, path.toStdString()).Text(ORV_F_ENTRY, entry.toStdString()).Int(ORV_F_FORM, form);
    return request;
}

std::int32_t ResultOf(const CallResult& call)
{
    return call.ok ? static_cast<std::int32_t>(call.reply.IntOr(ORV_F_RESULT, ARC_ERROR_HELPER_FAILED))
                   : call.failureCode;
}

void CopyText(const std::string& text, char* output, std::uint32_t size)
{
    if (!output || size == 0)
        return;
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    // Cut at a character boundary.
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(output, text.data(), n);
    output[n] = '\0';
}

} // namespace

platform::LibraryHandle LoadModule(const QString& libraryName)
{
    const QString path = platform::FindLibraryFile(libraryName);
    const QFileInfo file(path);
    if (!path.contains(QLatin1Char('/')) || !file.isFile())
        return nullptr;
    auto* module = new RemoteModule;
    module->path = file.canonicalFilePath();
    std::lock_guard<std::mutex> guard(RegistryLock());
    Modules().insert(module);
    return module;
}

void FreeModule(platform::LibraryHandle module)
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    if (!Modules().erase(module))
        return;
    auto* remote = static_cast<RemoteModule*>(module);
    for (const auto& entry : remote->entries)
        Entries().erase(entry.second.get());
    delete remote;
}

bool IsModule(platform::LibraryHandle module)
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Modules().count(module) != 0;
}

QString ModuleFileName(platform::LibraryHandle module)
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    if (!Modules().count(module))
        return {};
    return static_cast<RemoteModule*>(module)->path;
}

void* EntryAddress(platform::LibraryHandle module, const char* name)
{
    QString path;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        if (!Modules().count(module))
            return nullptr;
        auto* remote = static_cast<RemoteModule*>(module);
        auto it = remote->entries.find(QByteArray(name));
        if (it != remote->entries.end())
            return it->second.get();
        path = remote->path;
    }
    helper::MessageBuilder request = Request(path, QByteArray(name), ORV_ARC_FORM_PROBE);
    const CallResult call = Run(request);
    if (!call.ok)
        return nullptr;
    std::lock_guard<std::mutex> guard(RegistryLock());
    if (!Modules().count(module))
        return nullptr;
    auto* remote = static_cast<RemoteModule*>(module);
    auto& slot = remote->entries[QByteArray(name)];
    if (!slot) {
        slot = std::make_unique<RemoteEntry>(path, QByteArray(name));
        Entries().insert(slot.get());
    }
    return slot.get();
}

RemoteEntry* AsRemote(void* address)
{
    if (!address)
        return nullptr;
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Entries().count(address) ? static_cast<RemoteEntry*>(address) : nullptr;
}

std::int32_t RemoteEntry::Command(ArcWindow window, const char* line, char* output, std::uint32_t size) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_COMMAND);
    request.Int(ORV_F_WINDOW, static_cast<std::int64_t>(window))
        .Text(ORV_F_ARG, line ? line : "")
        .Int(ORV_F_SIZE, output ? size : 0);
    const CallResult call = Run(request);
    if (!call.ok) {
        CopyText(QStringLiteral("書庫を展開する補助プログラムが%1。").arg(t_lastFailure).toStdString(), output, size);
        return call.failureCode;
    }
    CopyText(call.reply.Text(ORV_F_OUTPUT), output, size);
    return ResultOf(call);
}

ArcHandle RemoteEntry::Open(ArcWindow window, const char* path, std::uint32_t mode) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_OPEN);
    request.Int(ORV_F_WINDOW, static_cast<std::int64_t>(window))
        .Text(ORV_F_ARG, path ? path : "")
        .Int(ORV_F_MODE, mode);
    const CallResult call = Run(request);
    return call.ok ? static_cast<ArcHandle>(call.reply.IntOr(ORV_F_RESULT, 0)) : 0;
}

std::int32_t RemoteEntry::Close(ArcHandle handle) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_CLOSE);
    request.Int(ORV_F_HANDLE, static_cast<std::int64_t>(handle));
    return ResultOf(Run(request));
}

std::int32_t RemoteEntry::FindFirst(ArcHandle handle, const char* wildcard, ArcIndividualInfo* info) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_FIND_FIRST);
    request.Int(ORV_F_HANDLE, static_cast<std::int64_t>(handle)).Text(ORV_F_ARG, wildcard ? wildcard : "");
    const CallResult call = Run(request);
    const std::int32_t result = ResultOf(call);
    if (result == 0) {
        const helper::Field* record = call.reply.Find(ORV_F_RECORD);
        if (!record || record->size != sizeof(ArcIndividualInfo))
            return ARC_ERROR_HELPER_FAILED;
        std::memcpy(info, record->data, sizeof *info);
    }
    return result;
}

std::int32_t RemoteEntry::FindNext(ArcHandle handle, ArcIndividualInfo* info) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_FIND_NEXT);
    request.Int(ORV_F_HANDLE, static_cast<std::int64_t>(handle));
    const CallResult call = Run(request);
    const std::int32_t result = ResultOf(call);
    if (result == 0) {
        const helper::Field* record = call.reply.Find(ORV_F_RECORD);
        if (!record || record->size != sizeof(ArcIndividualInfo))
            return ARC_ERROR_HELPER_FAILED;
        std::memcpy(info, record->data, sizeof *info);
    }
    return result;
}

std::int32_t RemoteEntry::ExtractMem(ArcWindow window, const char* line, std::uint8_t* buffer, std::uint32_t size,
                                     std::uint32_t* written) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_EXTRACT_MEM);
    request.Int(ORV_F_WINDOW, static_cast<std::int64_t>(window))
        .Text(ORV_F_ARG, line ? line : "")
        .Int(ORV_F_SIZE, buffer ? size : 0);
    const CallResult call = Run(request);
    if (written)
        *written = 0;
    if (!call.ok)
        return call.failureCode;
    std::uint64_t count = 0;
    if (const helper::Field* bytes = call.reply.Find(ORV_F_OUTPUT)) {
        count = std::min<std::uint64_t>(bytes->size, size);
        if (count)
            std::memcpy(buffer, bytes->data, count);
    } else {
        platform::SharedMapping mapping;
        if (call.reply.MapShm(ORV_F_OUTPUT_SHM, mapping)) {
            count = std::min<std::uint64_t>(mapping.Size(), size);
            if (count)
                std::memcpy(buffer, mapping.Data(), count);
        }
    }
    if (written)
        *written = static_cast<std::uint32_t>(count);
    return ResultOf(call);
}

ArcBool RemoteEntry::Check(const char* path, std::int32_t mode) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_CHECK);
    request.Text(ORV_F_ARG, path ? path : "").Int(ORV_F_MODE, mode);
    const CallResult call = Run(request);
    return call.ok ? static_cast<ArcBool>(call.reply.IntOr(ORV_F_RESULT, 0)) : 0;
}

std::int32_t RemoteEntry::ArchiveType(const char* path) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_ARCHIVE_TYPE);
    request.Text(ORV_F_ARG, path ? path : "");
    const CallResult call = Run(request);
    return call.ok ? static_cast<std::int32_t>(call.reply.IntOr(ORV_F_RESULT, 0)) : 0;
}

ArcBool RemoteEntry::SetOwner(ArcWindow window) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_SET_OWNER);
    request.Int(ORV_F_WINDOW, static_cast<std::int64_t>(window));
    const CallResult call = Run(request);
    return call.ok ? static_cast<ArcBool>(call.reply.IntOr(ORV_F_RESULT, 0)) : 0;
}

ArcBool RemoteEntry::KillOwner(ArcWindow window) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_KILL_OWNER);
    request.Int(ORV_F_WINDOW, static_cast<std::int64_t>(window));
    const CallResult call = Run(request);
    return call.ok ? static_cast<ArcBool>(call.reply.IntOr(ORV_F_RESULT, 0)) : 0;
}

ArcBool RemoteEntry::GetTime(ArcHandle handle, ArcFileTime* time) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_GET_TIME);
    request.Int(ORV_F_HANDLE, static_cast<std::int64_t>(handle));
    const CallResult call = Run(request);
    if (!call.ok)
        return 0;
    const auto value = static_cast<std::uint64_t>(call.reply.IntOr(ORV_F_VALUE, 0));
    time->low = static_cast<std::uint32_t>(value);
    time->high = static_cast<std::uint32_t>(value >> 32);
    return static_cast<ArcBool>(call.reply.IntOr(ORV_F_RESULT, 0));
}

ArcBool RemoteEntry::GetSize(ArcHandle handle, std::uint64_t* size) const
{
    helper::MessageBuilder request = Request(m_path, m_entry, ORV_ARC_FORM_GET_SIZE);
    request.Int(ORV_F_HANDLE, static_cast<std::int64_t>(handle));
    const CallResult call = Run(request);
    if (!call.ok)
        return 0;
    *size = static_cast<std::uint64_t>(call.reply.IntOr(ORV_F_VALUE, 0));
    return static_cast<ArcBool>(call.reply.IntOr(ORV_F_RESULT, 0));
}

bool SetExtractionLimits(const QString& libraryPath, std::uint64_t bytes, std::uint64_t files)
{
    helper::MessageBuilder request(ORV_MSG_ARC_SET_LIMITS, 0);
    request.Text(ORV_F_PATH, libraryPath.toStdString())
        .Int(ORV_F_BYTES, static_cast<std::int64_t>(bytes))
        .Int(ORV_F_FILES, static_cast<std::int64_t>(files));
    return Run(request).ok;
}

QString LastHelperFailure()
{
    return t_lastFailure;
}

} // namespace archiveremote
