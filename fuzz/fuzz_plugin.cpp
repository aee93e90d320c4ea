// Fuzz target of one Susie plug-in, compiled in with its source (the build
// names it): picture information and the picture from memory, then every
// row of the bitmap it hands over is read.
#include "SusieAbi.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
int32_t GetPictureInfo(const char* buf, intptr_t len, uint32_t flag, SusiePictureInfo* info);
int32_t GetPicture(const char* buf, intptr_t len, uint32_t flag, SusieLocalHandle* bitmapInfo,
                   SusieLocalHandle* bitmapBits, SusieProgressCallback progress, intptr_t data);
}

namespace {

int32_t CountRows(int32_t, int32_t, intptr_t)
{
    return 0;
}

uint32_t Le32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    SusiePictureInfo info;
    std::memset(&info, 0, sizeof info);
    if (GetPictureInfo(bytes, intptr_t(size), SUSIE_INPUT_MEMORY, &info) == SUSIE_OK)
        SusieLocalFree(info.hInfo);
    SusieLocalHandle header = nullptr, pixels = nullptr;
    if (GetPicture(bytes, intptr_t(size), SUSIE_INPUT_MEMORY, &header, &pixels, CountRows, 0) == SUSIE_OK) {
        const auto* h = static_cast<const unsigned char*>(header);
        const int32_t width = int32_t(Le32(h + 4));
        int32_t height = int32_t(Le32(h + 8));
        height = height < 0 ? -height : height;
        const int bits = h[14] | (h[15] << 8);
        const std::size_t stride = ((std::size_t(bits) * std::size_t(width) + 31) / 32) * 4;
        volatile unsigned sum = 0;
        const auto* p = static_cast<const unsigned char*>(pixels);
        for (int32_t y = 0; y < height; ++y)
            for (std::size_t x = 0; x < stride; x += 13)
                sum += p[std::size_t(y) * stride + x];
        SusieLocalFree(header);
        SusieLocalFree(pixels);
    }
    return 0;
}
