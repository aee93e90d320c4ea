// Susie plug-in requests: each names the plug-in file, which is loaded on
// first use and kept loaded for the life of the helper.
#include "decode/susie/SusieAbi.h"
#include "helper/HelperServices.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <string>

namespace helper {
namespace {

const char* const kEntryNames[] = {
    "GetPluginInfo", "ConfigurationDlg", "IsSupported", "GetPictureInfo", "GetPicture",
    "GetPreview",    "GetArchiveInfo",   "GetFileInfo", "GetFile",
};
constexpr int kEntryCount = 9;

struct Plugin {
    void* library = nullptr;
    std::array<void*, kEntryCount> entries{};
};

HelperChannel* g_channel = nullptr;

int32_t ProgressCallback(int32_t current, int32_t total, intptr_t)
{
    return g_channel && g_channel->ReportProgress(current, total) ? 1 : 0;
}

// The plug-in of a path, loaded on first use; nullptr with a reason.
Plugin* FindPlugin(const std::string& path, std::string& error)
{
    static std::map<std::string, Plugin> loaded;
    auto it = loaded.find(path);
    if (it != loaded.end())
        return &it->second;
    dlerror();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* text = dlerror();
        error = text ? text : "cannot load the plug-in";
        return nullptr;
    }
    Plugin plugin;
    plugin.library = library;
    for (int i = 0; i < kEntryCount; ++i)
        plugin.entries[i] = dlsym(library, kEntryNames[i]);
    return &loaded.emplace(path, plugin).first->second;
}

// GetPluginInfo into a zeroed 256-byte buffer offered as 255 bytes.
int32_t PluginInfo(const Plugin& plugin, int32_t number, std::string& text)
{
    char buffer[SUSIE_INFO_BUFFER_SIZE];
    std::memset(buffer, 0, sizeof buffer);
    const auto proc = reinterpret_cast<SusieGetPluginInfoProc>(plugin.entries[ORV_SPI_ENTRY_GET_PLUGIN_INFO]);
    const int32_t result = proc(number, buffer, SUSIE_INFO_BUFFER_LENGTH);
    buffer[SUSIE_INFO_BUFFER_SIZE - 1] = '\0';
    text.assign(buffer, std::strlen(buffer));
    return result;
}

bool SendStatus(HelperChannel& channel, const Message& request, int status, const std::string& text)
{
    MessageBuilder reply(ORV_MSG_REPLY, request.serial);
    reply.Int(ORV_F_STATUS, status);
    if (!text.empty())
        reply.Text(ORV_F_TEXT, text);
    return channel.Send(reply);
}

bool ServeLoad(HelperChannel& channel, const Message& request, Plugin& plugin)
{
    MessageBuilder reply(ORV_MSG_REPLY, request.serial);
    reply.Int(ORV_F_STATUS, ORV_STATUS_OK);
    std::int64_t mask = 0;
    for (int i = 0; i < kEntryCount; ++i) {
        if (plugin.entries[i])
            mask |= std::int64_t(1) << i;
    }
    reply.Int(ORV_F_ENTRY_MASK, mask);
    if (plugin.entries[ORV_SPI_ENTRY_GET_PLUGIN_INFO]) {
        std::string text;
        if (PluginInfo(plugin, 0, text) > 0)
            reply.Text(ORV_F_API_VERSION, text);
        if (PluginInfo(plugin, 1, text) > 0)
            reply.Text(ORV_F_PLUGIN_INFO, text);
        std::string pattern;
        std::string name;
        for (int n = 2, count = 0; count < ORV_SPI_MAX_FORMAT_ENTRIES; n += 2, ++count) {
            if (PluginInfo(plugin, n, pattern) <= 0 || PluginInfo(plugin, n + 1, name) <= 0)
                break;
            reply.Text(ORV_F_PATTERN, pattern).Text(ORV_F_FORMAT_NAME, name);
        }
    }
    return channel.Send(reply);
}

// The data a request names: a file name and offset, or bytes in memory.
struct Input {
    std::uint32_t flag = SUSIE_INPUT_FILE;
    std::string name;
    const char* buf = nullptr;
    intptr_t len = 0;
    platform::SharedMapping mapping;
};

bool ReadInput(const Message& request, Input& input)
{
    input.flag =
        request.IntOr(ORV_F_INPUT_KIND, ORV_INPUT_FILE) == ORV_INPUT_MEMORY ? SUSIE_INPUT_MEMORY : SUSIE_INPUT_FILE;
    if (input.flag == SUSIE_INPUT_FILE) {
        input.name = request.Text(ORV_F_NAME);
        input.buf = input.name.c_str();
        input.len = static_cast<intptr_t>(request.IntOr(ORV_F_OFFSET, 0));
        return true;
    }
    if (const Field* data = request.Find(ORV_F_DATA)) {
        input.buf = data->data;
        input.len = data->size;
        return true;
    }
    if (!request.MapShm(ORV_F_DATA_SHM, input.mapping))
        return false;
    input.buf = static_cast<const char*>(input.mapping.Data());
    input.len = static_cast<intptr_t>(input.mapping.Size());
    return true;
}

bool ServePictureInfo(HelperChannel& channel, const Message& request, const Plugin& plugin, Input& input)
{
    SusiePictureInfo info{};
    const auto proc = reinterpret_cast<SusieGetPictureInfoProc>(plugin.entries[ORV_SPI_ENTRY_GET_PICTURE_INFO]);
    const int32_t result = proc(input.buf, input.len, input.flag, &info);
    MessageBuilder reply(ORV_MSG_REPLY, request.serial);
    reply.Int(ORV_F_STATUS, ORV_STATUS_OK).Int(ORV_F_RESULT, result);
    if (result == 0) {
        const OrvPictureInfo record{info.left,     info.top,      info.width,     info.height,
                                    info.xDensity, info.yDensity, info.colorDepth};
        reply.Bytes(ORV_F_PICTURE_INFO, &record, sizeof record);
        if (info.hInfo)
            reply.Bytes(ORV_F_TEXT_INFO, SusieLocalLock(info.hInfo), SusieLocalSize(info.hInfo));
    }
    if (info.hInfo)
        SusieLocalFree(info.hInfo);
    return channel.Send(reply);
}

bool ServePicture(HelperChannel& channel, const Message& request, const Plugin& plugin, Input& input, int entry)
{
    SusieLocalHandle infoBlock = nullptr;
    SusieLocalHandle bitsBlock = nullptr;
    const auto proc = reinterpret_cast<SusieGetPictureProc>(plugin.entries[entry]);
    const int32_t result = proc(input.buf, input.len, input.flag, &infoBlock, &bitsBlock, &ProgressCallback, 0);
    MessageBuilder reply(ORV_MSG_REPLY, request.serial);
    reply.Int(ORV_F_STATUS, ORV_STATUS_OK).Int(ORV_F_RESULT, result);
    std::vector<int> fds;
    if (result == 0 && infoBlock && bitsBlock) {
        AddBlock(channel, reply, ORV_F_BITMAP_INFO, ORV_F_BITMAP_INFO_SHM, SusieLocalLock(infoBlock),
                 SusieLocalSize(infoBlock), fds);
        AddBlock(channel, reply, ORV_F_BITMAP_BITS, ORV_F_BITMAP_BITS_SHM, SusieLocalLock(bitsBlock),
                 SusieLocalSize(bitsBlock), fds);
    }
    if (infoBlock)
        SusieLocalFree(infoBlock);
    if (bitsBlock)
        SusieLocalFree(bitsBlock);
    const bool sent = channel.Send(reply);
    for (int fd : fds)
        platform::CloseDescriptor(fd);
    return sent;
}

} // namespace

bool ServeSpi(HelperChannel& channel, const Message& request)
{
    g_channel = &channel;
    std::string error;
    Plugin* plugin = FindPlugin(request.Text(ORV_F_PATH), error);
    if (!plugin)
        return SendStatus(channel, request, ORV_STATUS_LOAD_FAILED, error);

    int needed = ORV_SPI_ENTRY_GET_PLUGIN_INFO;
    switch (request.type) {
    case ORV_MSG_SPI_LOAD:
        return ServeLoad(channel, request, *plugin);
    case ORV_MSG_SPI_PLUGIN_INFO:
        needed = ORV_SPI_ENTRY_GET_PLUGIN_INFO;
        break;
    case ORV_MSG_SPI_IS_SUPPORTED:
        needed = ORV_SPI_ENTRY_IS_SUPPORTED;
        break;
    case ORV_MSG_SPI_GET_PICTURE_INFO:
        needed = ORV_SPI_ENTRY_GET_PICTURE_INFO;
        break;
    case ORV_MSG_SPI_GET_PICTURE:
        needed = ORV_SPI_ENTRY_GET_PICTURE;
        break;
    default:
        needed = ORV_SPI_ENTRY_GET_PREVIEW;
        break;
    }
    if (!plugin->entries[needed])
        return SendStatus(channel, request, ORV_STATUS_NO_ENTRY, kEntryNames[needed]);

    if (request.type == ORV_MSG_SPI_PLUGIN_INFO) {
        std::string text;
        const int32_t result = PluginInfo(*plugin, static_cast<int32_t>(request.IntOr(ORV_F_NUMBER, 0)), text);
        MessageBuilder reply(ORV_MSG_REPLY, request.serial);
        reply.Int(ORV_F_STATUS, ORV_STATUS_OK).Int(ORV_F_RESULT, result).Text(ORV_F_TEXT, text);
        return channel.Send(reply);
    }
    if (request.type == ORV_MSG_SPI_IS_SUPPORTED) {
        const Field* head = request.Find(ORV_F_DATA);
        std::vector<char> padded(std::max<std::size_t>(SUSIE_HEAD_SIZE, head ? head->size : 0) + 1, 0);
        if (head && head->size)
            std::memcpy(padded.data(), head->data, head->size);
        const std::string name = request.Text(ORV_F_NAME);
        const auto proc = reinterpret_cast<SusieIsSupportedProc>(plugin->entries[needed]);
        const int32_t result = proc(name.c_str(), padded.data());
        MessageBuilder reply(ORV_MSG_REPLY, request.serial);
        reply.Int(ORV_F_STATUS, ORV_STATUS_OK).Int(ORV_F_RESULT, result);
        return channel.Send(reply);
    }
    Input input;
    if (!ReadInput(request, input))
        return SendStatus(channel, request, ORV_STATUS_BAD_REQUEST, "the data cannot be read");
    if (request.type == ORV_MSG_SPI_GET_PICTURE_INFO)
        return ServePictureInfo(channel, request, *plugin, input);
    return ServePicture(channel, request, *plugin, input, needed);
}

} // namespace helper
