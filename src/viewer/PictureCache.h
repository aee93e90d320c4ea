#pragma once
// Decoded pictures kept for showing again, bounded by memory. A picture is
// found by its path and only while the file still has the size and
// modification time it had when it was decoded: a file changed on disk is
// decoded again.
#include "decode/Graphic.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <list>
#include <memory>
#include <unordered_map>

// What identifies the content of a file without reading it.
struct PictureFileStamp {
    qint64 size = -1;
    qint64 modifiedNs = 0; // modification time, nanoseconds since the epoch
    bool operator==(const PictureFileStamp&) const = default;
};

// The stamp of the file now; size -1 when it does not exist.
PictureFileStamp StampOf(const QString& path);

// One decoded picture, shared read-only by the cache and the views.
struct DecodedPicture {
    QString path;
    PictureFileStamp stamp;
    // The decoded picture; none when decoding failed.
    std::shared_ptr<const TGraphic> graphic;
    TDecodeFailure failure = TDecodeFailure::None;
    QString message;
    // The area it was decoded for (empty: full size) and the size of the
    // pixels actually held (smaller than the picture after a reduced decode).
    QSize area;
    QSize pixelSize;
    // The picture already shrunk to the size it is shown at (may be null).
    QImage display;

    bool Ok() const { return failure == TDecodeFailure::None && graphic; }
    // Memory held by the pixels and the shrunk copy.
    qint64 Bytes() const;
    // True when the picture is good to show fitted into the area: held at
    // full size, or reduced but still covering the fitted size.
    bool Covers(const QSize& wantedArea) const;
};

using DecodedPicturePtr = std::shared_ptr<const DecodedPicture>;

class PictureCache {
public:
    // The smaller of 512 MiB and a quarter of the machine's memory.
    static qint64 DefaultLimit();

    explicit PictureCache(qint64 limitBytes = DefaultLimit());

    // The picture of the file as it is now (stamp) if held and good for the
    // area; marks it as used last. A held picture of an older state of the
    // file is dropped.
    DecodedPicturePtr Find(const QString& path, const PictureFileStamp& stamp, const QSize& area);
    // Keeps the picture (replacing any of the same path) and drops the
    // pictures used longest ago until the total is within the limit. A
    // picture larger than the limit on its own is not kept.
    void Insert(DecodedPicturePtr picture);
    void Remove(const QString& path);
    void Clear();

    void SetLimit(qint64 limitBytes);
    qint64 Limit() const { return m_limit; }
    qint64 Bytes() const { return m_bytes; }
    int Count() const { return int(m_byPath.size()); }
    bool Contains(const QString& path) const { return m_byPath.count(path) != 0; }

private:
    using Order = std::list<DecodedPicturePtr>; // front: used last
    void Drop(Order::iterator it);
    void Trim();

    qint64 m_limit;
    qint64 m_bytes = 0;
    Order m_order;
    std::unordered_map<QString, Order::iterator> m_byPath;
};
