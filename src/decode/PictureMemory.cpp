#include "PictureMemory.h"

#include "platform/LargeMemory.h"

#include <limits>

namespace decode {
namespace {

constexpr qint64 kPooledFrom = qint64(1) << 20;

// What a picture's clean-up needs to give its block back.
struct BlockOwner {
    void* data;
    std::size_t size;
};

void returnBlock(void* info)
{
    auto* owner = static_cast<BlockOwner*>(info);
    platform::ReturnLargeBlock(owner->data, owner->size);
    delete owner;
}

} // namespace

QImage NewPictureImage(int width, int height, QImage::Format format)
{
    if (width <= 0 || height <= 0 || format == QImage::Format_Invalid)
        return {};
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    // Rows of whole 32-bit words, as QImage makes them.
    const qint64 bytesPerLine = ((qint64(width) * depth + 31) >> 5) << 2;
    const qint64 bytes = bytesPerLine * height;
    if (bytesPerLine > std::numeric_limits<int>::max() || bytes / height != bytesPerLine)
        return {};
    if (bytes < kPooledFrom)
        return QImage(width, height, format);
    platform::LargeBlock block{std::size_t(bytes)};
    if (block.empty())
        return {};
    const std::size_t size = block.size();
    auto* owner = new BlockOwner{block.release(), size};
    QImage image(static_cast<uchar*>(owner->data), width, height, qsizetype(bytesPerLine), format, returnBlock, owner);
    if (image.isNull())
        returnBlock(owner);
    return image;
}

} // namespace decode
