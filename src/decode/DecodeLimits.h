#pragma once
// Limits every decoder enforces before it allocates pixel memory, and small
// bounds-checked readers for little-endian binary data.
#include "Graphic.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace decode {

// No decoder accepts a picture of more than 2^28 pixels.
constexpr std::uint64_t kMaxPixels = std::uint64_t(1) << 28;

// The limit in force: kMaxPixels unless lowered for testing (fuzzers lower
// it to keep every input fast). 0 restores kMaxPixels.
std::uint64_t MaxPixels();
void SetMaxPixelsForTesting(std::uint64_t pixels);

// Raises EGraphicError unless 0 < width, 0 < height and width*height <= MaxPixels().
void CheckImageSize(std::int64_t width, std::int64_t height);

// Creates an image of the size and format; raises EGraphicError when the
// size is refused or the memory cannot be had.
QImage AllocateImage(std::int64_t width, std::int64_t height, QImage::Format format);

[[noreturn]] void Fail(const QString& message);

inline std::uint16_t Le16(const unsigned char* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}
inline std::uint32_t Le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::int16_t LeS16(const unsigned char* p)
{
    return std::int16_t(Le16(p));
}
inline std::int32_t LeS32(const unsigned char* p)
{
    return std::int32_t(Le32(p));
}

// A view of bytes whose reads never leave the range.
class ByteView {
public:
    ByteView() = default;
    ByteView(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}
    explicit ByteView(const QByteArray& bytes)
        : m_data(reinterpret_cast<const unsigned char*>(bytes.constData())),
          m_size(std::size_t(bytes.size()))
    {
    }

    const unsigned char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool Has(std::size_t offset, std::size_t count) const { return offset <= m_size && count <= m_size - offset; }
    std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? m_data[offset] : 0; }
    std::uint16_t U16(std::size_t offset) const { return Has(offset, 2) ? Le16(m_data + offset) : 0; }
    std::uint32_t U32(std::size_t offset) const { return Has(offset, 4) ? Le32(m_data + offset) : 0; }
    std::int16_t S16(std::size_t offset) const { return std::int16_t(U16(offset)); }
    std::int32_t S32(std::size_t offset) const { return std::int32_t(U32(offset)); }
    // The bytes from offset on (empty when offset is past the end).
    ByteView From(std::size_t offset) const
    {
        return offset <= m_size ? ByteView(m_data + offset, m_size - offset) : ByteView();
    }
    ByteView Sub(std::size_t offset, std::size_t count) const
    {
        if (offset > m_size)
            return {};
        return ByteView(m_data + offset, std::min(count, m_size - offset));
    }

private:
    const unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace decode
