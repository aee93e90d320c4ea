// Fuzz target of the orientation reader: any bytes, read as a file.
#include "decode/Orientation.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    const decode::StoredOrientation stored = decode::ReadOrientation(buffer);
    if (stored.orientation < 1 || stored.orientation > 8)
        __builtin_trap();
    return 0;
}
