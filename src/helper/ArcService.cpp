// Archiver library requests: each names the library file and the exported
// entry; libraries are loaded on first use and kept loaded.
#include "archive/ArchiverAbi.h"
#include "helper/HelperServices.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <string>

namespace helper {
namespace {

void* FindLibrary(const std::string& path, std::string& error)
{
    static std::map<std::string, void*> loaded;
    auto it = loaded.find(path);
    if (it != loaded.end())
        return it->second;
    dlerror();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* text = dlerror();
        error = text ? text : "cannot load the library";
        return nullptr;
    }
    loaded.emplace(path, library);
    return library;
}

bool SendStatus(HelperChannel& channel, const Message& request, int status, const std::string& text)
{
    MessageBuilder reply(ORV_MSG_REPLY, request.serial);
    reply.Int(ORV_F_STATUS, status);
    if (!text.empty())
        reply.Text(ORV_F_TEXT, text);
    return channel.Send(reply);
}

bool ServeLimits(HelperChannel& channel, const Message& request, void* library)
{
    using SetBudget = void (*)(uint64_t);
    auto bytes = reinterpret_cast<SetBudget>(dlsym(library, "OrvantoArchiverSetSizeBudget"));
    auto files = reinterpret_cast<SetBudget>(dlsym(library, "OrvantoArchiverSetFileBudget"));
    if (!bytes || !files)
        return SendStatus(channel, request, ORV_STATUS_NO_ENTRY, "OrvantoArchiverSetSizeBudget");
    bytes(static_cast<uint64_t>(request.IntOr(ORV_F_BYTES, 0)));
    files(static_cast<uint64_t>(request.IntOr(ORV_F_FILES, 0)));
    return SendStatus(channel, request, ORV_STATUS_OK, {});
}

} // namespace

bool ServeArchiver(HelperChannel& channel, const Message& request)
{
    std::string error;
    void* library = FindLibrary(request.Text(ORV_F_PATH), error);
    if (!library)
        return SendStatus(channel, request, ORV_STATUS_LOAD_FAILED, error);
    if (request.type == ORV_MSG_ARC_SET_LIMITS)
        return ServeLimits(channel, request, library);

    const std::string entryName = request.Text(ORV_F_ENTRY);
    void* entry = dlsym(library, entryName.c_str());
    if (!entry)
        return SendStatus(channel, request, ORV_STATUS_NO_ENTRY, entryName);

    const auto window = static_cast<ArcWindow>(request.IntOr(ORV_F_WINDOW, 0));
    const auto handle = static_cast<ArcHandle>(request.IntOr(ORV_F_HANDLE, 0));
    const std::string arg = request.Text(ORV_F_ARG);
    const auto mode = request.IntOr(ORV_F_MODE, 0);
    const std::int64_t size = request.IntOr(ORV_F_SIZE, 0);
    if (size < 0 || size > std::int64_t(ORV_MAX_FRAME_PAYLOAD))
        return SendStatus(channel, request, ORV_STATUS_BAD_REQUEST, "buffer size out of range");

    MessageBuilder reply(ORV_MSG_REPLY, request.serial);
    reply.Int(ORV_F_STATUS, ORV_STATUS_OK);
    std::vector<int> fds;
    switch (request.IntOr(ORV_F_FORM, 0)) {
    case ORV_ARC_FORM_COMMAND: {
        std::unique_ptr<char[]> output(size ? new (std::nothrow) char[size_t(size)]() : nullptr);
        if (size && !output)
            return SendStatus(channel, request, ORV_STATUS_NO_MEMORY, {});
        const int32_t result =
            reinterpret_cast<ArcCommandProc>(entry)(window, arg.c_str(), output.get(), static_cast<uint32_t>(size));
        reply.Int(ORV_F_RESULT, result);
        if (output) {
            output[size_t(size) - 1] = '\0';
            reply.Text(ORV_F_OUTPUT, output.get());
        }
        break;
    }
    case ORV_ARC_FORM_OPEN:
        reply.Int(ORV_F_RESULT, static_cast<std::int64_t>(reinterpret_cast<ArcOpenArchiveProc>(entry)(
                                    window, arg.c_str(), static_cast<uint32_t>(mode))));
        break;
    case ORV_ARC_FORM_CLOSE:
        reply.Int(ORV_F_RESULT, reinterpret_cast<ArcCloseArchiveProc>(entry)(handle));
        break;
    case ORV_ARC_FORM_FIND_FIRST:
    case ORV_ARC_FORM_FIND_NEXT: {
        ArcIndividualInfo info{};
        const int32_t result = request.IntOr(ORV_F_FORM, 0) == ORV_ARC_FORM_FIND_FIRST
                                   ? reinterpret_cast<ArcFindFirstProc>(entry)(handle, arg.c_str(), &info)
                                   : reinterpret_cast<ArcFindNextProc>(entry)(handle, &info);
        reply.Int(ORV_F_RESULT, result);
        if (result == 0)
            reply.Bytes(ORV_F_RECORD, &info, sizeof info);
        break;
    }
    case ORV_ARC_FORM_EXTRACT_MEM: {
        std::unique_ptr<uint8_t[]> buffer(size ? new (std::nothrow) uint8_t[size_t(size)] : nullptr);
        if (size && !buffer)
            return SendStatus(channel, request, ORV_STATUS_NO_MEMORY, {});
        uint32_t written = 0;
        const int32_t result = reinterpret_cast<ArcExtractMemProc>(entry)(
            window, arg.c_str(), buffer.get(), static_cast<uint32_t>(size), nullptr, nullptr, &written);
        if (written > size)
            written = static_cast<uint32_t>(size);
        reply.Int(ORV_F_RESULT, result).Int(ORV_F_WRITTEN, written);
        AddBlock(channel, reply, ORV_F_OUTPUT, ORV_F_OUTPUT_SHM, buffer.get(), written, fds);
        break;
    }
    case ORV_ARC_FORM_CHECK:
        reply.Int(ORV_F_RESULT, reinterpret_cast<ArcCheckArchiveProc>(entry)(arg.c_str(), int32_t(mode)));
        break;
    case ORV_ARC_FORM_ARCHIVE_TYPE:
        reply.Int(ORV_F_RESULT, reinterpret_cast<ArcGetArchiveTypeProc>(entry)(arg.c_str()));
        break;
    case ORV_ARC_FORM_SET_OWNER:
        reply.Int(ORV_F_RESULT, reinterpret_cast<ArcSetOwnerWindowExProc>(entry)(window, nullptr));
        break;
    case ORV_ARC_FORM_KILL_OWNER:
        reply.Int(ORV_F_RESULT, reinterpret_cast<ArcKillOwnerWindowExProc>(entry)(window));
        break;
    case ORV_ARC_FORM_GET_TIME: {
        ArcFileTime time{};
        const ArcBool result = reinterpret_cast<ArcGetTimeExProc>(entry)(handle, &time);
        reply.Int(ORV_F_RESULT, result)
            .Int(ORV_F_VALUE, static_cast<std::int64_t>((uint64_t(time.high) << 32) | time.low));
        break;
    }
    case ORV_ARC_FORM_GET_SIZE: {
        uint64_t value = 0;
        const ArcBool result = reinterpret_cast<ArcGetSizeExProc>(entry)(handle, &value);
        reply.Int(ORV_F_RESULT, result).Int(ORV_F_VALUE, static_cast<std::int64_t>(value));
        break;
    }
    case ORV_ARC_FORM_PROBE:
        reply.Int(ORV_F_RESULT, 1);
        break;
    default:
        return SendStatus(channel, request, ORV_STATUS_BAD_REQUEST, "unknown calling form");
    }
    const bool sent = channel.Send(reply);
    for (int fd : fds)
        platform::CloseDescriptor(fd);
    return sent;
}

} // namespace helper
