#include "PictureCache.h"

#include "decode/JpegGraphic.h"
#include "platform/Process.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

PictureFileStamp StampOf(const QString& path)
{
    const QFileInfo info(path);
    PictureFileStamp stamp;
    if (!info.exists() || info.isDir())
        return stamp;
    stamp.size = info.size();
    const QDateTime modified = info.lastModified();
    // Millisecond resolution is what QFileInfo gives; a rewrite within the
    // same millisecond with the same size is not told apart.
    stamp.modifiedNs = modified.isValid() ? modified.toMSecsSinceEpoch() * 1000000 : 0;
    return stamp;
}

qint64 DecodedPicture::Bytes() const
{
    qint64 bytes = display.sizeInBytes();
    if (graphic)
        bytes += qint64(pixelSize.width()) * pixelSize.height() * 4;
    return bytes + 256; // the record itself
}

bool DecodedPicture::Covers(const QSize& wantedArea) const
{
    if (!Ok())
        return true; // the same file fails the same way at any size
    const QSize full(graphic->Width(), graphic->Height());
    if (pixelSize == full)
        return true;
    const QSize needed = decode::ReducedDecodeTarget(full, wantedArea.isEmpty() ? full : wantedArea);
    return pixelSize.width() >= needed.width() && pixelSize.height() >= needed.height();
}

qint64 PictureCache::DefaultLimit()
{
    constexpr qint64 kMax = qint64(512) << 20;
    const qint64 memory = platform::PhysicalMemoryBytes();
    return memory > 0 ? std::min(kMax, memory / 4) : kMax;
}

PictureCache::PictureCache(qint64 limitBytes) : m_limit(std::max<qint64>(0, limitBytes)) {}

DecodedPicturePtr PictureCache::Find(const QString& path, const PictureFileStamp& stamp, const QSize& area)
{
    const auto found = m_byPath.find(path);
    if (found == m_byPath.end())
        return nullptr;
    const Order::iterator it = found->second;
    if ((*it)->stamp != stamp) {
        Drop(it);
        return nullptr;
    }
    if (!(*it)->Covers(area))
        return nullptr;
    m_order.splice(m_order.begin(), m_order, it);
    return *it;
}

void PictureCache::Insert(DecodedPicturePtr picture)
{
    if (!picture)
        return;
    Remove(picture->path);
    if (picture->Bytes() > m_limit)
        return;
    m_order.push_front(picture);
    m_byPath[picture->path] = m_order.begin();
    m_bytes += picture->Bytes();
    Trim();
}

void PictureCache::Remove(const QString& path)
{
    const auto found = m_byPath.find(path);
    if (found != m_byPath.end())
        Drop(found->second);
}

void PictureCache::Clear()
{
    m_order.clear();
    m_byPath.clear();
    m_bytes = 0;
}

void PictureCache::SetLimit(qint64 limitBytes)
{
    m_limit = std::max<qint64>(0, limitBytes);
    Trim();
}

void PictureCache::Drop(Order::iterator it)
{
    m_bytes -= (*it)->Bytes();
    m_byPath.erase((*it)->path);
    m_order.erase(it);
}

void PictureCache::Trim()
{
    while (m_bytes > m_limit && !m_order.empty())
        Drop(std::prev(m_order.end()));
}
