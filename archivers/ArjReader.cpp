// ARJ archives: headers, stored entries (method 0), the LZ77 + Huffman
// method of ARJ's "maximum" to "fast" modes (1 to 3) and the fastest mode (4).
//
// Layout: each header starts with the id 0x60 0xEA, a 16-bit basic header
// size (0 marks the end of the archive), the basic header, its CRC-32 and a
// chain of extended headers (16-bit size, data, CRC-32; size 0 ends the
// chain). The first header describes the archive, each further one a file
// whose compressed data follows it. Numbers are little-endian.
#include <cstdio>
#include <cstring>
#include <vector>

#include "Readers.h"
#include "archive/ArchiverAbi.h"

namespace arc {
namespace {

constexpr unsigned kMaxBasicHeader = 2600;
constexpr uint8_t kFlagGarbled = 0x01;
constexpr uint8_t kFlagVolume = 0x04;
constexpr uint8_t kFlagPathSym = 0x10;

uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
           | (static_cast<uint32_t>(p[3]) << 24);
}

// MSB-first bit input over the compressed bytes of one entry. Past the
// entry's compressed size it supplies zero bits (the decoders read a little
// ahead); a file that ends before that size is an error.
class BitInput {
public:
    BitInput(FILE* f, uint64_t compressedSize) : f_(f), left_(compressedSize) {}

    bool Ok() const { return !truncated_ && overrun_ <= 16; }
    bool Truncated() const { return truncated_; }

    uint32_t Peek16()
    {
        Fill(16);
        return static_cast<uint32_t>((acc_ >> (count_ - 16)) & 0xffff);
    }
    void Skip(unsigned n)
    {
        Fill(n);
        count_ -= n;
    }
    uint32_t Get(unsigned n)
    {
        if (n == 0)
            return 0;
        Fill(n);
        const uint32_t v = static_cast<uint32_t>((acc_ >> (count_ - n)) & ((1u << n) - 1));
        count_ -= n;
        return v;
    }

private:
    void Fill(unsigned n)
    {
        while (count_ < n) {
            acc_ = (acc_ << 8) | NextByte();
            count_ += 8;
        }
    }
    uint8_t NextByte()
    {
        if (left_ == 0) {
            ++overrun_;
            return 0;
        }
        if (pos_ == end_) {
            const size_t want = left_ < sizeof(buf_) ? static_cast<size_t>(left_) : sizeof(buf_);
            end_ = std::fread(buf_, 1, want, f_);
            pos_ = 0;
            if (end_ == 0) {
                truncated_ = true;
                left_ = 0;
                return 0;
            }
        }
        --left_;
        return buf_[pos_++];
    }

    FILE* f_;
    uint64_t left_;
    uint64_t acc_ = 0;
    unsigned count_ = 0;
    uint8_t buf_[16384];
    size_t pos_ = 0, end_ = 0;
    bool truncated_ = false;
    unsigned overrun_ = 0;
};

// Canonical Huffman code as the ARJ tables define it: codes assigned by
// length, then by symbol number; a table may also be one constant symbol
// that takes no bits.
class Huffman {
public:
    bool Build(const uint8_t* lengths, int n)
    {
        constant_ = -1;
        std::memset(count_, 0, sizeof(count_));
        for (int i = 0; i < n; ++i) {
            if (lengths[i] > 16)
                return false;
            ++count_[lengths[i]];
        }
        count_[0] = 0;
        uint32_t space = 0;
        for (int len = 1; len <= 16; ++len)
            space += static_cast<uint32_t>(count_[len]) << (16 - len);
        if (space > 0x10000)
            return false; // over-subscribed
        symbols_.clear();
        for (int len = 1; len <= 16; ++len)
            for (int i = 0; i < n; ++i)
                if (lengths[i] == len)
                    symbols_.push_back(static_cast<uint16_t>(i));
        return true;
    }
    void SetConstant(int symbol) { constant_ = symbol; }

    // Decodes one symbol; -1 when the bits form no code.
    int Decode(BitInput& in) const
    {
        if (constant_ >= 0)
            return constant_;
        const uint32_t bits = in.Peek16();
        uint32_t code = 0, first = 0, index = 0;
        for (int len = 1; len <= 16; ++len) {
            code |= (bits >> (16 - len)) & 1;
            const uint32_t cnt = count_[len];
            if (code - first < cnt) {
                in.Skip(static_cast<unsigned>(len));
                return symbols_[index + code - first];
            }
            index += cnt;
            first = (first + cnt) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    uint16_t count_[17];
    std::vector<uint16_t> symbols_;
    int constant_ = -1;
};

constexpr int kNC = 510; // literals 0..255 and match lengths 3..256
constexpr int kNP = 17; // position classes
constexpr int kNT = 19; // code-length codes
constexpr int kPBit = 5;
constexpr int kTBit = 5;
constexpr int kCBit = 9;
constexpr uint32_t kRingSize = 65536; // larger than the 26624-byte window ARJ uses

class ArjDecoder {
public:
    ArjDecoder(FILE* f, uint64_t compressedSize, uint64_t originalSize, int method)
        : in_(f, compressedSize),
          remaining_(originalSize),
          method_(method),
          ring_(kRingSize, 0)
    {
    }

    // Produces up to max bytes; ARC_OK with got == 0 at the end.
    int Produce(uint8_t* out, size_t max, size_t& got)
    {
        got = 0;
        while (got < max && remaining_ > 0) {
            if (pendingLength_ > 0) {
                const uint8_t b = ring_[(pos_ - pendingDistance_ - 1) & (kRingSize - 1)];
                Emit(b, out, got);
                --pendingLength_;
                continue;
            }
            if (method_ == 4) {
                const uint32_t c = DecodeLengthFast();
                if (c == 0) {
                    Emit(static_cast<uint8_t>(in_.Get(8)), out, got);
                } else {
                    pendingLength_ = c + 2;
                    pendingDistance_ = DecodePointerFast();
                }
            } else {
                const int c = DecodeC();
                if (c < 0)
                    return ARC_ERROR_HUFFMAN_CODE;
                if (c <= 255) {
                    Emit(static_cast<uint8_t>(c), out, got);
                } else {
                    pendingLength_ = static_cast<uint32_t>(c - 253);
                    const int p = DecodeP();
                    if (p < 0)
                        return ARC_ERROR_HUFFMAN_CODE;
                    pendingDistance_ = static_cast<uint32_t>(p);
                }
            }
            if (in_.Truncated())
                return ARC_ERROR_EOF;
            if (!in_.Ok())
                return ARC_ERROR_HUFFMAN_CODE;
        }
        if (in_.Truncated())
            return ARC_ERROR_EOF;
        return ARC_OK;
    }

private:
    void Emit(uint8_t b, uint8_t* out, size_t& got)
    {
        ring_[pos_ & (kRingSize - 1)] = b;
        ++pos_;
        out[got++] = b;
        --remaining_;
    }

    bool ReadPtLen(int nn, int nbit, int special)
    {
        const int n = static_cast<int>(in_.Get(static_cast<unsigned>(nbit)));
        if (n == 0) {
            const int c = static_cast<int>(in_.Get(static_cast<unsigned>(nbit)));
            if (c >= nn)
                return false;
            std::memset(ptLen_, 0, sizeof(ptLen_));
            pt_.SetConstant(c);
            return true;
        }
        if (n > nn)
            return false;
        int i = 0;
        while (i < n) {
            const uint32_t bits = in_.Peek16();
            int c = static_cast<int>(bits >> 13);
            if (c == 7) {
                uint32_t mask = 1u << 12;
                while (mask & bits) {
                    mask >>= 1;
                    ++c;
                }
                if (c > 16)
                    return false;
            }
            in_.Skip(c < 7 ? 3 : static_cast<unsigned>(c - 3));
            ptLen_[i++] = static_cast<uint8_t>(c);
            if (i == special) {
                int zeros = static_cast<int>(in_.Get(2));
                if (i + zeros > nn)
                    return false;
                while (zeros-- > 0)
                    ptLen_[i++] = 0;
            }
        }
        while (i < nn)
            ptLen_[i++] = 0;
        return pt_.Build(ptLen_, nn);
    }

    bool ReadCLen()
    {
        const int n = static_cast<int>(in_.Get(kCBit));
        if (n == 0) {
            const int c = static_cast<int>(in_.Get(kCBit));
            if (c >= kNC)
                return false;
            c_.SetConstant(c);
            return true;
        }
        if (n > kNC)
            return false;
        uint8_t lengths[kNC] = {};
        int i = 0;
        while (i < n) {
            int c = pt_.Decode(in_);
            if (c < 0 || c >= kNT)
                return false;
            if (c <= 2) {
                int zeros;
                if (c == 0)
                    zeros = 1;
                else if (c == 1)
                    zeros = static_cast<int>(in_.Get(4)) + 3;
                else
                    zeros = static_cast<int>(in_.Get(kCBit)) + 20;
                if (i + zeros > kNC)
                    return false;
                while (zeros-- > 0)
                    lengths[i++] = 0;
            } else {
                lengths[i++] = static_cast<uint8_t>(c - 2);
            }
        }
        return c_.Build(lengths, kNC);
    }

    int DecodeC()
    {
        if (blockSize_ == 0) {
            blockSize_ = in_.Get(16);
            if (!ReadPtLen(kNT, kTBit, 3) || !ReadCLen() || !ReadPtLen(kNP, kPBit, -1))
                return -1;
            p_ = pt_;
            if (blockSize_ == 0)
                blockSize_ = 0x10000;
        }
        --blockSize_;
        const int c = c_.Decode(in_);
        return c < kNC ? c : -1;
    }

    int DecodeP()
    {
        int j = p_.Decode(in_);
        if (j < 0 || j >= kNP)
            return -1;
        if (j != 0) {
            --j;
            j = static_cast<int>((1u << j) + in_.Get(static_cast<unsigned>(j)));
        }
        return j;
    }

    uint32_t DecodeLengthFast()
    {
        uint32_t plus = 0, pwr = 1;
        unsigned width = 0;
        for (; width < 7; ++width) {
            if (in_.Get(1) == 0)
                break;
            plus += pwr;
            pwr <<= 1;
        }
        return plus + (width != 0 ? in_.Get(width) : 0);
    }

    uint32_t DecodePointerFast()
    {
        uint32_t plus = 0, pwr = 1u << 9;
        unsigned width = 9;
        for (; width < 13; ++width) {
            if (in_.Get(1) == 0)
                break;
            plus += pwr;
            pwr <<= 1;
        }
        return plus + in_.Get(width);
    }

    BitInput in_;
    uint64_t remaining_;
    int method_;
    std::vector<uint8_t> ring_;
    uint32_t pos_ = 0;
    uint32_t pendingLength_ = 0;
    uint32_t pendingDistance_ = 0;
    uint32_t blockSize_ = 0;
    uint8_t ptLen_[kNT > kNP ? kNT : kNP] = {};
    Huffman pt_, c_, p_;
};

class ArjReader : public EntryReader {
public:
    explicit ArjReader(FILE* f) : f_(f) {}
    ~ArjReader() override { std::fclose(f_); }

    int Open()
    {
        std::fseek(f_, 0, SEEK_END);
        fileSize_ = static_cast<uint64_t>(ftello(f_));
        // The archive may follow a self-extracting stub: the first id with a
        // header whose CRC matches marks the start.
        std::vector<uint8_t> head;
        const uint64_t scanLimit = fileSize_ < (1u << 20) ? fileSize_ : (1u << 20);
        head.resize(static_cast<size_t>(scanLimit));
        std::fseek(f_, 0, SEEK_SET);
        if (std::fread(head.data(), 1, head.size(), f_) != head.size())
            return ARC_ERROR_CANNOT_READ;
        for (size_t i = 0; i + 4 <= head.size(); ++i) {
            if (head[i] != 0x60 || head[i + 1] != 0xea)
                continue;
            const unsigned size = Le16(&head[i + 2]);
            if (size == 0 || size > kMaxBasicHeader || i + 4 + size + 4 > head.size())
                continue;
            if (Crc32(0, &head[i + 4], size) != Le32(&head[i + 4 + size]))
                continue;
            if (size < 30 || head[i + 4 + 6] != 2)
                continue; // the archive header has file type 2
            fseeko(f_, static_cast<off_t>(i), SEEK_SET);
            std::vector<uint8_t> basic;
            const int e = ReadHeader(basic);
            if (e != ARC_OK)
                return e;
            if (basic.empty())
                return ARC_ERROR_HEADER_BROKEN;
            next_ = static_cast<uint64_t>(ftello(f_));
            return ARC_OK;
        }
        return ARC_ERROR_NOT_ARC_FILE;
    }

    int Next(EntryMeta& meta) override
    {
        decoder_.reset();
        if (failed_)
            return failed_;
        for (;;) {
            fseeko(f_, static_cast<off_t>(next_), SEEK_SET);
            std::vector<uint8_t> h;
            const int e = ReadHeader(h);
            if (e != ARC_OK)
                return failed_ = e;
            if (h.empty())
                return -1;
            const unsigned firstSize = h[0];
            if (firstSize < 30 || firstSize > h.size())
                return failed_ = ARC_ERROR_HEADER_BROKEN;
            const uint8_t hostOs = h[3];
            flags_ = h[4];
            method_ = h[5];
            const uint8_t fileType = h[6];
            const uint32_t dosDateTime = Le32(&h[8]);
            compressed_ = Le32(&h[12]);
            original_ = Le32(&h[16]);
            crc_ = Le32(&h[20]);
            const uint16_t access = Le16(&h[26]);
            dataStart_ = static_cast<uint64_t>(ftello(f_));
            next_ = dataStart_ + compressed_;
            std::string name;
            for (size_t i = firstSize; i < h.size() && h[i] != 0; ++i)
                name.push_back(static_cast<char>(h[i]));
            meta = EntryMeta{};
            meta.name = NameToUtf8(name);
            // DOS and Windows hosts write backslashes unless the path flag says
            // they were already translated.
            if (!(flags_ & kFlagPathSym) || hostOs == 0 || hostOs == 10 || hostOs == 11)
                meta.name = BackslashesToSlashes(meta.name);
            meta.size = original_;
            meta.sizeKnown = true;
            meta.compressedSize = compressed_;
            meta.mtime = DosDateTimeToUnix(static_cast<uint16_t>(dosDateTime >> 16),
                                           static_cast<uint16_t>(dosDateTime & 0xffff));
            meta.hasMtime = true;
            meta.crc = crc_;
            meta.osType = hostOs;
            meta.mode = access;
            meta.encrypted = (flags_ & kFlagGarbled) != 0;
            meta.method = "arj-m" + std::to_string(method_);
            switch (fileType) {
            case 0:
            case 1:
                meta.kind = EntryKind::File;
                break;
            case 3:
                meta.kind = EntryKind::Directory;
                break;
            default:
                meta.kind = EntryKind::Other;
                break;
            }
            produced_ = 0;
            runningCrc_ = 0;
            return ARC_OK;
        }
    }

    int Read(void* buffer, size_t size, size_t& got) override
    {
        got = 0;
        if (produced_ >= original_ || size == 0)
            return produced_ == original_ ? FinalCheck() : ARC_OK;
        if (flags_ & kFlagGarbled)
            return ARC_ERROR_PASSWORD_FILE;
        if (flags_ & kFlagVolume)
            return ARC_ERROR_NOT_SUPPORT; // continues in another volume
        auto* out = static_cast<uint8_t*>(buffer);
        if (method_ == 0) {
            if (compressed_ != original_)
                return ARC_ERROR_HEADER_BROKEN;
            fseeko(f_, static_cast<off_t>(dataStart_ + produced_), SEEK_SET);
            const uint64_t left = original_ - produced_;
            const size_t want = left < size ? static_cast<size_t>(left) : size;
            got = std::fread(out, 1, want, f_);
            if (got == 0)
                return ARC_ERROR_EOF;
        } else if (method_ >= 1 && method_ <= 4) {
            if (!decoder_) {
                fseeko(f_, static_cast<off_t>(dataStart_), SEEK_SET);
                decoder_ = std::make_unique<ArjDecoder>(f_, compressed_, original_, method_);
            }
            // The decoder reads the file sequentially from its own position.
            const int e = decoder_->Produce(out, size, got);
            if (e != ARC_OK)
                return e;
            if (got == 0)
                return ARC_ERROR_HUFFMAN_CODE;
        } else {
            return ARC_ERROR_METHOD;
        }
        runningCrc_ = Crc32(runningCrc_, out, got);
        produced_ += got;
        if (produced_ == original_)
            return FinalCheck();
        return ARC_OK;
    }

    int32_t TypeCode() const override { return ARC_TYPE_OWN; }

private:
    int FinalCheck() const { return runningCrc_ == crc_ ? ARC_OK : ARC_ERROR_FILE_CRC; }

    // Reads one header at the current position: empty result at the end mark.
    int ReadHeader(std::vector<uint8_t>& basic)
    {
        uint8_t idSize[4];
        if (std::fread(idSize, 1, 4, f_) != 4)
            return ARC_ERROR_EOF;
        if (idSize[0] != 0x60 || idSize[1] != 0xea)
            return ARC_ERROR_HEADER_BROKEN;
        const unsigned size = Le16(&idSize[2]);
        basic.clear();
        if (size == 0)
            return ARC_OK;
        if (size > kMaxBasicHeader)
            return ARC_ERROR_HEADER_BROKEN;
        basic.resize(size);
        uint8_t crc[4];
        if (std::fread(basic.data(), 1, size, f_) != size || std::fread(crc, 1, 4, f_) != 4)
            return ARC_ERROR_EOF;
        if (Crc32(0, basic.data(), size) != Le32(crc))
            return ARC_ERROR_HEADER_CRC;
        for (;;) { // extended headers
            uint8_t ext[2];
            if (std::fread(ext, 1, 2, f_) != 2)
                return ARC_ERROR_EOF;
            const unsigned extSize = Le16(ext);
            if (extSize == 0)
                break;
            if (fseeko(f_, static_cast<off_t>(extSize) + 4, SEEK_CUR) != 0)
                return ARC_ERROR_EOF;
        }
        if (static_cast<uint64_t>(ftello(f_)) > fileSize_)
            return ARC_ERROR_EOF;
        return ARC_OK;
    }

    FILE* f_;
    uint64_t fileSize_ = 0;
    uint64_t next_ = 0;
    uint64_t dataStart_ = 0;
    uint8_t flags_ = 0;
    uint8_t method_ = 0;
    uint32_t compressed_ = 0, original_ = 0, crc_ = 0;
    uint64_t produced_ = 0;
    uint32_t runningCrc_ = 0;
    int failed_ = 0;
    std::unique_ptr<ArjDecoder> decoder_;
};

} // namespace

std::unique_ptr<EntryReader> OpenArjReader(const std::string& path, int& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = ARC_ERROR_ARC_FILE_OPEN;
        return nullptr;
    }
    auto reader = std::make_unique<ArjReader>(f);
    error = reader->Open();
    if (error != ARC_OK)
        return nullptr;
    return reader;
}

} // namespace arc
