#pragma once
// Calls into a Susie plug-in that runs in the plug-in helper process
// (helper/HelperClient.h). The same results as calling the plug-in in the
// program: blocks come back as local memory handles owned by the caller.
// A helper that crashes, exceeds its limits or stops answering gives a
// failure result, and the plug-in is named in one message per session.
#include "decode/susie/SusieAbi.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace spiremote {

struct PluginFacts {
    std::uint32_t entryMask = 0; // bit n: entry n of TSPI::Entry exists
    bool hasApiVersion = false;
    QByteArray apiVersion;
    bool hasPluginInfo = false;
    QByteArray pluginInfo;
    QList<QByteArray> patterns;
    QList<QByteArray> formatNames;
};

enum class LoadStatus { Loaded, NotLoadable, Failed };

// Loads the plug-in in the helper and reads all of its information. Failed:
// the helper crashed or hung on it (why says how).
LoadStatus Load(const QString& path, PluginFacts& facts, QString& why);

std::int32_t GetPluginInfo(const QString& path, std::int32_t infoNumber, QByteArray& text);
std::int32_t IsSupported(const QString& path, const char* name, const void* head);
std::int32_t GetPictureInfo(const QString& path, const char* buf, intptr_t len, std::uint32_t flag,
                            SusiePictureInfo* info);
// preview: GetPreview instead of GetPicture.
std::int32_t GetPicture(const QString& path, bool preview, const char* buf, intptr_t len, std::uint32_t flag,
                        SusieLocalHandle* bitmapInfo, SusieLocalHandle* bitmapBits, SusieProgressCallback progress,
                        intptr_t data);

// Blocks from the helper's shared memory are handed on as they are mapped
// (copy-on-write), not copied into local memory. Every block the host holds
// is released and measured through these two, which know both kinds.
void FreeBlock(SusieLocalHandle block);
size_t BlockSize(SusieLocalHandle block);

// Plug-ins left out of the search because they failed while being asked for
// their information; taken (and cleared) by the search to name them in one
// message.
QStringList TakeFailedDuringSearch();

} // namespace spiremote
