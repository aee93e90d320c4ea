#include "ArchiverSamples.h"

#include <bzlib.h>
#include <zlib.h>

namespace arctest {

std::string Words(size_t bytes, uint32_t seed)
{
    static const char* kWords[] = {"picture", "archive", "folder", "viewer", "image", "slide",
                                   "page",    "book",    "東京",   "写真",   "zip",   "lzh"};
    std::string s;
    uint32_t x = seed;
    while (s.size() < bytes) {
        x = x * 1103515245u + 12345u;
        s += kWords[(x >> 16) % 12];
        s += (x >> 8) % 7 == 0 ? "\n" : " ";
    }
    s.resize(bytes);
    return s;
}

std::string Binary(size_t bytes, uint32_t seed)
{
    std::string s(bytes, '\0');
    uint32_t x = seed;
    for (size_t i = 0; i < bytes; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = static_cast<char>(i % 97 < 40 ? (x >> 24) : (i & 0xff));
    }
    return s;
}

SourceFiles::SourceFiles()
{
    a_ = Words(70000, 7);
    b_ = Binary(50000, 11);
    WriteFile(dir_ / "src/a.txt", a_);
    WriteFile(dir_ / "src/sub/b.bin", b_);
    WriteFile(dir_ / "src/empty.txt", "");
}

std::string LhaLine(const std::string& a, const std::string& d)
{
    return "x -+ -c1 -x0 -jse1 -jso1  \"" + a + "\" \"" + d + "/\" ";
}
std::string ZipLine(const std::string& a, const std::string& d)
{
    return "-x -o -j  \"" + a + "\" \"" + d + "/\" ";
}
std::string TarLine(const std::string& a, const std::string& d, const std::string& extra)
{
    return "x --use-directory=0" + extra + "  -f \"" + a + "\" -o \"" + d + "/\" ";
}
std::string RarLine(const std::string& a, const std::string& d)
{
    return "-e  \"" + a + "\" \"" + d + "/\" ";
}
std::string BgaLine(const std::string& a, const std::string& d)
{
    return "x -o -j  \"" + a + "\" \"" + d + "/\" ";
}
std::string SevenZipLine(const std::string& a, const std::string& d)
{
    return "e -aoa \"-o" + d + "/\"  \"" + a + "\" ";
}

std::string Le16(uint16_t v)
{
    return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
}
std::string Le32(uint32_t v)
{
    return Le16(static_cast<uint16_t>(v & 0xffff)) + Le16(static_cast<uint16_t>(v >> 16));
}

std::string RawDeflate(const std::string& data)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Bzip2(const std::string& data)
{
    unsigned size = static_cast<unsigned>(data.size() + data.size() / 100 + 700);
    std::string out(size, '\0');
    BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(data.data()), static_cast<unsigned>(data.size()), 9,
                             0, 0);
    out.resize(size);
    return out;
}

std::string BgaArchive(const std::vector<BgaEntry>& entries)
{
    std::string archive;
    for (const auto& e : entries) {
        const std::string body = e.stored ? e.data : (e.bzip ? Bzip2(e.data) : RawDeflate(e.data));
        std::string h = std::string(e.bzip ? std::string("BZ2\0", 4) : std::string("GZIP"))
                        + Le32(static_cast<uint32_t>(body.size())) + Le32(static_cast<uint32_t>(e.data.size()))
                        + Le16(static_cast<uint16_t>((44 << 9) | (3 << 5) | 14)) + // 2024-03-14
                        Le16(static_cast<uint16_t>((12 << 11) | (30 << 5))) + // 12:30:00
                        std::string(1, '\x20') + std::string(1, '\0') + Le16(e.stored ? 0 : 1)
                        + Le16(static_cast<uint16_t>(e.dir.size())) + Le16(static_cast<uint16_t>(e.name.size())) + e.dir
                        + e.name;
        uint32_t sum = 0;
        for (const char ch : h)
            sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(ch)));
        archive += Le32(sum) + h + body;
    }
    return archive;
}

} // namespace arctest
