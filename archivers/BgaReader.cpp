// BGA archives (GZA and BZA). Each entry is a 28-byte header, the folder
// name, the file name and the entry's data, all numbers little-endian:
//
//   0  4  checksum: sum of the header bytes from offset 4 through the end of
//         the file name (bytes taken as signed or unsigned; both are accepted)
//   4  4  method: "GZIP" (deflate data) or "BZ2\0" (bzip2 data)
//   8  4  compressed size
//  12  4  original size
//  16  2  DOS date
//  18  2  DOS time
//  20  1  DOS attributes (0x10 folder)
//  21  1  header type
//  22  2  archive type: 0 data stored as is, else compressed by the method
//  24  2  length of the folder name (ends with a backslash when not empty)
//  26  2  length of the file name
//
// GZIP data is a raw deflate stream (a gzip member is accepted too); BZ2 data
// is a bzip2 stream.
#include <bzlib.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "Readers.h"
#include "archive/ArchiverAbi.h"

namespace arc {
namespace {

constexpr size_t kHeaderSize = 28;

uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
           | (static_cast<uint32_t>(p[3]) << 24);
}

bool ChecksumMatches(const uint8_t* header, const std::vector<uint8_t>& names)
{
    uint32_t unsignedSum = 0;
    int32_t signedSum = 0;
    auto add = [&](uint8_t b) {
        unsignedSum += b;
        signedSum += static_cast<int8_t>(b);
    };
    for (size_t i = 4; i < kHeaderSize; ++i)
        add(header[i]);
    for (const uint8_t b : names)
        add(b);
    const uint32_t stored = Le32(header);
    return stored == unsignedSum || stored == static_cast<uint32_t>(signedSum);
}

bool KnownMethod(const uint8_t* header)
{
    return std::memcmp(header + 4, "GZIP", 4) == 0 || std::memcmp(header + 4, "BZ2\0", 4) == 0;
}

class BgaReader : public EntryReader {
public:
    explicit BgaReader(FILE* f) : f_(f) {}
    ~BgaReader() override
    {
        EndStream();
        std::fclose(f_);
    }

    int Open()
    {
        fseeko(f_, 0, SEEK_END);
        fileSize_ = static_cast<uint64_t>(ftello(f_));
        // Find the first valid header (the archive may follow a self-extracting stub).
        std::vector<uint8_t> head(static_cast<size_t>(fileSize_ < (1u << 20) ? fileSize_ : (1u << 20)));
        fseeko(f_, 0, SEEK_SET);
        if (std::fread(head.data(), 1, head.size(), f_) != head.size())
            return ARC_ERROR_CANNOT_READ;
        for (size_t i = 0; i + kHeaderSize <= head.size(); ++i) {
            const uint8_t* h = &head[i];
            if (!KnownMethod(h))
                continue;
            const size_t names = static_cast<size_t>(Le16(h + 24)) + Le16(h + 26);
            if (i + kHeaderSize + names > head.size())
                continue;
            std::vector<uint8_t> n(h + kHeaderSize, h + kHeaderSize + names);
            if (!ChecksumMatches(h, n))
                continue;
            next_ = i;
            return ARC_OK;
        }
        return ARC_ERROR_NOT_ARC_FILE;
    }

    int Next(EntryMeta& meta) override
    {
        EndStream();
        if (failed_)
            return failed_;
        if (next_ == fileSize_)
            return -1;
        fseeko(f_, static_cast<off_t>(next_), SEEK_SET);
        uint8_t h[kHeaderSize];
        const size_t n = std::fread(h, 1, kHeaderSize, f_);
        if (n == 0)
            return -1;
        if (n != kHeaderSize)
            return failed_ = ARC_ERROR_EOF;
        if (!KnownMethod(h))
            return failed_ = ARC_ERROR_HEADER_BROKEN;
        const size_t dirLen = Le16(h + 24), fileLen = Le16(h + 26);
        std::vector<uint8_t> names(dirLen + fileLen);
        if (std::fread(names.data(), 1, names.size(), f_) != names.size())
            return failed_ = ARC_ERROR_EOF;
        if (!ChecksumMatches(h, names))
            return failed_ = ARC_ERROR_HEADER_CRC;
        bzip_ = h[4] == 'B';
        compressed_ = Le32(h + 8);
        original_ = Le32(h + 12);
        stored_ = Le16(h + 22) == 0;
        dataStart_ = next_ + kHeaderSize + names.size();
        next_ = dataStart_ + compressed_;
        if (next_ > fileSize_)
            truncated_ = true;
        meta = EntryMeta{};
        const std::string raw(names.begin(), names.end());
        meta.name = BackslashesToSlashes(NameToUtf8(raw));
        meta.size = original_;
        meta.sizeKnown = true;
        meta.compressedSize = compressed_;
        meta.mtime = DosDateTimeToUnix(Le16(h + 16), Le16(h + 18));
        meta.hasMtime = true;
        meta.kind = (h[20] & 0x10) != 0 || fileLen == 0 ? EntryKind::Directory : EntryKind::File;
        meta.method = stored_ ? "stored" : (bzip_ ? "bzip2" : "deflate");
        meta.mode = h[20];
        produced_ = 0;
        consumed_ = 0;
        return ARC_OK;
    }

    int Read(void* buffer, size_t size, size_t& got) override
    {
        got = 0;
        if (produced_ >= original_ || size == 0)
            return ARC_OK;
        if (truncated_)
            return ARC_ERROR_EOF;
        auto* out = static_cast<uint8_t*>(buffer);
        const uint64_t left = original_ - produced_;
        const size_t want = left < size ? static_cast<size_t>(left) : size;
        if (stored_) {
            if (compressed_ != original_)
                return ARC_ERROR_HEADER_BROKEN;
            fseeko(f_, static_cast<off_t>(dataStart_ + produced_), SEEK_SET);
            got = std::fread(out, 1, want, f_);
            if (got == 0)
                return ARC_ERROR_EOF;
        } else {
            const int e = bzip_ ? ReadBzip(out, want, got) : ReadDeflate(out, want, got);
            if (e != ARC_OK)
                return e;
        }
        produced_ += got;
        return ARC_OK;
    }

    int32_t TypeCode() const override { return ARC_TYPE_OWN; }

private:
    // Refills the input buffer from the entry's compressed bytes.
    void Refill()
    {
        if (inPos_ < inEnd_ || consumed_ >= compressed_)
            return;
        fseeko(f_, static_cast<off_t>(dataStart_ + consumed_), SEEK_SET);
        const uint64_t left = compressed_ - consumed_;
        const size_t want = left < sizeof(in_) ? static_cast<size_t>(left) : sizeof(in_);
        inEnd_ = std::fread(in_, 1, want, f_);
        inPos_ = 0;
        consumed_ += inEnd_;
    }

    int ReadDeflate(uint8_t* out, size_t want, size_t& got)
    {
        if (!zOpen_) {
            std::memset(&z_, 0, sizeof(z_));
            inPos_ = inEnd_ = 0;
            Refill();
            const bool gzip = inEnd_ >= 2 && in_[0] == 0x1f && in_[1] == 0x8b;
            if (inflateInit2(&z_, gzip ? 16 + 15 : -15) != Z_OK)
                return ARC_ERROR_ENOUGH_MEMORY;
            zOpen_ = true;
        }
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(want);
        while (z_.avail_out > 0) {
            Refill();
            z_.next_in = in_ + inPos_;
            z_.avail_in = static_cast<uInt>(inEnd_ - inPos_);
            const uInt before = z_.avail_in;
            const int r = inflate(&z_, Z_NO_FLUSH);
            inPos_ += before - z_.avail_in;
            if (r == Z_STREAM_END)
                break;
            if (r == Z_BUF_ERROR && inPos_ == inEnd_ && consumed_ >= compressed_)
                return ARC_ERROR_EOF;
            if (r != Z_OK && r != Z_BUF_ERROR)
                return ARC_ERROR_HUFFMAN_CODE;
        }
        got = want - z_.avail_out;
        if (got == 0)
            return ARC_ERROR_EOF; // stream ended before the original size
        return ARC_OK;
    }

    int ReadBzip(uint8_t* out, size_t want, size_t& got)
    {
        if (!bzOpen_) {
            std::memset(&bz_, 0, sizeof(bz_));
            inPos_ = inEnd_ = 0;
            if (BZ2_bzDecompressInit(&bz_, 0, 0) != BZ_OK)
                return ARC_ERROR_ENOUGH_MEMORY;
            bzOpen_ = true;
        }
        bz_.next_out = reinterpret_cast<char*>(out);
        bz_.avail_out = static_cast<unsigned>(want);
        while (bz_.avail_out > 0) {
            Refill();
            if (inPos_ == inEnd_ && consumed_ >= compressed_)
                return ARC_ERROR_EOF;
            bz_.next_in = reinterpret_cast<char*>(in_ + inPos_);
            bz_.avail_in = static_cast<unsigned>(inEnd_ - inPos_);
            const unsigned before = bz_.avail_in;
            const int r = BZ2_bzDecompress(&bz_);
            inPos_ += before - bz_.avail_in;
            if (r == BZ_STREAM_END)
                break;
            if (r != BZ_OK)
                return ARC_ERROR_HUFFMAN_CODE;
        }
        got = want - bz_.avail_out;
        if (got == 0)
            return ARC_ERROR_EOF;
        return ARC_OK;
    }

    void EndStream()
    {
        if (zOpen_)
            inflateEnd(&z_);
        if (bzOpen_)
            BZ2_bzDecompressEnd(&bz_);
        zOpen_ = bzOpen_ = false;
    }

    FILE* f_;
    uint64_t fileSize_ = 0;
    uint64_t next_ = 0;
    uint64_t dataStart_ = 0;
    uint32_t compressed_ = 0, original_ = 0;
    uint64_t produced_ = 0, consumed_ = 0;
    bool bzip_ = false, stored_ = false, truncated_ = false;
    int failed_ = 0;
    uint8_t in_[16384];
    size_t inPos_ = 0, inEnd_ = 0;
    z_stream z_{};
    bz_stream bz_{};
    bool zOpen_ = false, bzOpen_ = false;
};

} // namespace

std::unique_ptr<EntryReader> OpenBgaReader(const std::string& path, int& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = ARC_ERROR_ARC_FILE_OPEN;
        return nullptr;
    }
    auto reader = std::make_unique<BgaReader>(f);
    error = reader->Open();
    if (error != ARC_OK)
        return nullptr;
    return reader;
}

} // namespace arc
