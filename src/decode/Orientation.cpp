#include "Orientation.h"

#include <QFile>
#include <QIODevice>
#include <QTransform>

#include <array>
#include <atomic>
#include <cstring>

namespace decode {

namespace {

// Reads from a device at given offsets without ever leaving its size.
class RandomReader {
public:
    explicit RandomReader(QIODevice& device) : m_device(device), m_size(device.size()) {}
    qint64 Size() const { return m_size; }
    bool Read(qint64 offset, void* out, qint64 count)
    {
        if (offset < 0 || count < 0 || offset > m_size || count > m_size - offset)
            return false;
        return m_device.seek(offset) && m_device.read(static_cast<char*>(out), count) == count;
    }
    QByteArray Bytes(qint64 offset, qint64 count)
    {
        if (offset < 0 || count < 0 || offset > m_size)
            return {};
        count = std::min(count, m_size - offset);
        QByteArray bytes(count, Qt::Uninitialized);
        return Read(offset, bytes.data(), count) ? bytes : QByteArray();
    }

private:
    QIODevice& m_device;
    qint64 m_size;
};

std::uint32_t Be32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::uint64_t Be64(const unsigned char* p)
{
    return (std::uint64_t(Be32(p)) << 32) | Be32(p + 4);
}

// The eight orientations as "mirror left to right first (m), then turn r
// quarters clockwise".
struct Motion {
    int mirror;
    int quarters;
};

constexpr std::array<Motion, 9> kMotions = {{{0, 0}, {0, 0}, {1, 0}, {0, 2}, {1, 2}, {1, 3}, {0, 1}, {1, 1}, {0, 3}}};

int OrientationOf(Motion motion)
{
    for (int o = 1; o <= 8; ++o)
        if (kMotions[o].mirror == motion.mirror && kMotions[o].quarters == (motion.quarters & 3))
            return o;
    return 1;
}

int Valid(int orientation)
{
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// Most entries a directory or property list is searched for.
constexpr std::uint64_t kMaxEntries = 4096;
// Most boxes, segments or chunks walked before giving up.
constexpr int kMaxSteps = 4096;

int JpegOrientation(RandomReader& reader, QIODevice& file)
{
    qint64 position = 2;
    for (int step = 0; step < kMaxSteps; ++step) {
        unsigned char marker[4];
        if (!reader.Read(position, marker, 2) || marker[0] != 0xFF)
            return 1;
        const int code = marker[1];
        if (code == 0xFF) { // fill byte
            position += 1;
            continue;
        }
        if (code == 0x01 || code == 0xD8 || (code >= 0xD0 && code <= 0xD7)) {
            position += 2;
            continue;
        }
        if (code == 0xDA || code == 0xD9 || !reader.Read(position + 2, marker + 2, 2))
            return 1; // the picture data starts: no Exif before it
        const int length = (marker[2] << 8) | marker[3];
        if (length < 2)
            return 1;
        if (code == 0xE1 && length >= 8) {
            char id[6];
            if (reader.Read(position + 4, id, 6) && std::memcmp(id, "Exif\0\0", 6) == 0)
                return OrientationOfTiffStructure(file, position + 10);
        }
        position += 2 + length;
    }
    return 1;
}

int WebPOrientation(RandomReader& reader, QIODevice& file)
{
    qint64 position = 12;
    for (int step = 0; step < kMaxSteps; ++step) {
        unsigned char chunk[8];
        if (!reader.Read(position, chunk, 8))
            return 1;
        const qint64 size =
            qint64(chunk[4]) | (qint64(chunk[5]) << 8) | (qint64(chunk[6]) << 16) | (qint64(chunk[7]) << 24);
        if (std::memcmp(chunk, "EXIF", 4) == 0) {
            char id[6];
            const bool prefixed = reader.Read(position + 8, id, 6) && std::memcmp(id, "Exif\0\0", 6) == 0;
            return OrientationOfTiffStructure(file, position + 8 + (prefixed ? 6 : 0));
        }
        position += 8 + size + (size & 1);
    }
    return 1;
}

// An ISO media box: where it starts, where its content starts and its end.
struct Box {
    char type[4] = {};
    qint64 content = 0;
    qint64 end = 0;
};

bool ReadBox(RandomReader& reader, qint64 at, qint64 limit, Box& box)
{
    unsigned char head[16];
    if (at < 0 || at + 8 > limit || !reader.Read(at, head, 8))
        return false;
    std::memcpy(box.type, head + 4, 4);
    std::uint64_t size = Be32(head);
    box.content = at + 8;
    if (size == 1) {
        if (!reader.Read(at + 8, head + 8, 8))
            return false;
        size = Be64(head + 8);
        box.content = at + 16;
    } else if (size == 0) {
        size = std::uint64_t(limit - at);
    }
    if (size < std::uint64_t(box.content - at) || size > std::uint64_t(limit - at))
        return false;
    box.end = at + qint64(size);
    return true;
}

bool FindBox(RandomReader& reader, qint64 from, qint64 limit, const char* type, Box& found)
{
    Box box;
    for (int step = 0; step < kMaxSteps && ReadBox(reader, from, limit, box); ++step) {
        if (std::memcmp(box.type, type, 4) == 0) {
            found = box;
            return true;
        }
        from = box.end;
    }
    return false;
}

// The rotation and mirroring properties of the primary item, in the order
// the item lists them.
int HeifOrientation(RandomReader& reader)
{
    Box meta, pitm, iprp, ipco;
    if (!FindBox(reader, 0, reader.Size(), "meta", meta))
        return 1;
    const qint64 children = meta.content + 4; // version and flags
    if (!FindBox(reader, children, meta.end, "pitm", pitm) || !FindBox(reader, children, meta.end, "iprp", iprp)
        || !FindBox(reader, iprp.content, iprp.end, "ipco", ipco))
        return 1;
    const QByteArray pitmBytes = reader.Bytes(pitm.content, 8);
    if (pitmBytes.size() < 6)
        return 1;
    const auto* p = reinterpret_cast<const unsigned char*>(pitmBytes.constData());
    const std::uint32_t primary =
        p[0] == 0 ? (std::uint32_t(p[4]) << 8) | p[5] : (pitmBytes.size() >= 8 ? Be32(p + 4) : 0);

    // Where each property box starts (properties count from 1).
    std::vector<qint64> properties;
    Box property;
    for (qint64 at = ipco.content; properties.size() < kMaxEntries && ReadBox(reader, at, ipco.end, property);
         at = property.end)
        properties.push_back(at);

    int orientation = 1;
    Box ipma;
    for (qint64 at = iprp.content; FindBox(reader, at, iprp.end, "ipma", ipma); at = ipma.end) {
        const QByteArray bytes = reader.Bytes(ipma.content, std::min<qint64>(ipma.end - ipma.content, 1 << 20));
        const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
        const qint64 n = bytes.size();
        if (n < 8)
            continue;
        const int version = d[0];
        const bool wide = (d[3] & 1) != 0;
        const std::uint64_t entries = Be32(d + 4);
        qint64 pos = 8;
        for (std::uint64_t e = 0; e < entries && e < kMaxEntries; ++e) {
            const int idBytes = version < 1 ? 2 : 4;
            if (pos + idBytes + 1 > n)
                break;
            const std::uint32_t item = idBytes == 2 ? (std::uint32_t(d[pos]) << 8) | d[pos + 1] : Be32(d + pos);
            pos += idBytes;
            const int count = d[pos++];
            for (int a = 0; a < count; ++a) {
                const int width = wide ? 2 : 1;
                if (pos + width > n)
                    return 1;
                const int index = wide ? (((d[pos] << 8) | d[pos + 1]) & 0x7FFF) : (d[pos] & 0x7F);
                pos += width;
                if (item != primary || index < 1 || std::size_t(index) > properties.size())
                    continue;
                Box box;
                unsigned char value = 0;
                if (!ReadBox(reader, properties[index - 1], ipco.end, box) || !reader.Read(box.content, &value, 1))
                    continue;
                if (std::memcmp(box.type, "irot", 4) == 0) // quarters anticlockwise
                    orientation = ComposeOrientations(orientation, OrientationOf({0, (4 - (value & 3)) & 3}));
                else if (std::memcmp(box.type, "imir", 4) == 0) // 0 top to bottom, 1 left to right
                    orientation = ComposeOrientations(orientation, (value & 1) ? 2 : 4);
            }
        }
    }
    return orientation;
}

// Reads bits from the lowest bit of each byte up, as JPEG XL stores them.
class BitReader {
public:
    explicit BitReader(const QByteArray& bytes) : m_bytes(bytes) {}
    std::uint32_t Bits(int count)
    {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++m_bit) {
            const qint64 byte = m_bit / 8;
            if (byte >= m_bytes.size()) {
                m_overrun = true;
                return 0;
            }
            value |= std::uint32_t((static_cast<unsigned char>(m_bytes[byte]) >> (m_bit % 8)) & 1) << i;
        }
        return value;
    }
    bool Overrun() const { return m_overrun; }

private:
    const QByteArray& m_bytes;
    qint64 m_bit = 0;
    bool m_overrun = false;
};

// The orientation in the image header of a code stream (after FF 0A).
int JxlCodestreamOrientation(const QByteArray& stream)
{
    if (stream.size() < 3 || static_cast<unsigned char>(stream[0]) != 0xFF || stream[1] != 0x0A)
        return 1;
    const QByteArray header = stream.mid(2);
    BitReader bits(header);
    auto size = [&](bool small) {
        if (small) {
            bits.Bits(5);
            return;
        }
        static const int kWidths[4] = {9, 13, 18, 30};
        bits.Bits(kWidths[bits.Bits(2)]);
    };
    const bool small = bits.Bits(1) != 0;
    size(small); // height
    if (bits.Bits(3) == 0) // no ratio: the width is stored
        size(small);
    if (bits.Bits(1)) // all defaults
        return 1;
    if (!bits.Bits(1)) // no extra fields
        return 1;
    const int orientation = int(bits.Bits(3)) + 1;
    return bits.Overrun() ? 1 : orientation;
}

int JxlContainerOrientation(RandomReader& reader)
{
    Box box;
    qint64 at = 0;
    for (int step = 0; step < kMaxSteps && ReadBox(reader, at, reader.Size(), box); ++step, at = box.end) {
        if (std::memcmp(box.type, "jxlc", 4) == 0)
            return JxlCodestreamOrientation(reader.Bytes(box.content, 64));
        if (std::memcmp(box.type, "jxlp", 4) == 0)
            return JxlCodestreamOrientation(reader.Bytes(box.content + 4, 64));
    }
    return 1;
}

// True when the file-type box names an AVIF brand.
bool HasAvifBrand(RandomReader& reader)
{
    Box ftyp;
    if (!ReadBox(reader, 0, reader.Size(), ftyp))
        return false;
    const QByteArray brands = reader.Bytes(ftyp.content, std::min<qint64>(ftyp.end - ftyp.content, 256));
    for (qint64 at = 0; at + 4 <= brands.size(); at += 4)
        if (at != 4 && (brands.mid(at, 4) == "avif" || brands.mid(at, 4) == "avis"))
            return true;
    return false;
}

std::atomic<bool> g_autoRotate{true};

} // namespace

int OrientationOfTiffStructure(QIODevice& file, qint64 start)
{
    RandomReader reader(file);
    unsigned char head[16];
    if (!reader.Read(start, head, 8))
        return 1;
    bool little;
    if (head[0] == 'I' && head[1] == 'I')
        little = true;
    else if (head[0] == 'M' && head[1] == 'M')
        little = false;
    else
        return 1;
    auto u16 = [little](const unsigned char* p) { return little ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1]; };
    auto u32 = [little](const unsigned char* p) {
        return little ? std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
                            | (std::uint32_t(p[3]) << 24)
                      : Be32(p);
    };
    auto u64 = [&](const unsigned char* p) {
        return little ? std::uint64_t(u32(p)) | (std::uint64_t(u32(p + 4)) << 32) : Be64(p);
    };
    const int magic = u16(head + 2);
    const bool big = magic == 43;
    if (magic != 42 && !(big && reader.Read(start + 8, head + 8, 8) && u16(head + 4) == 8))
        return 1;
    const std::uint64_t directory = big ? u64(head + 8) : u32(head + 4);
    if (directory > std::uint64_t(reader.Size()))
        return 1;
    const qint64 at = start + qint64(directory);
    unsigned char countBytes[8];
    if (!reader.Read(at, countBytes, big ? 8 : 2))
        return 1;
    const std::uint64_t count = std::min<std::uint64_t>(big ? u64(countBytes) : u16(countBytes), kMaxEntries);
    const int entrySize = big ? 20 : 12;
    const QByteArray entries = reader.Bytes(at + (big ? 8 : 2), qint64(count) * entrySize);
    for (qint64 e = 0; e + entrySize <= entries.size(); e += entrySize) {
        const auto* p = reinterpret_cast<const unsigned char*>(entries.constData()) + e;
        if (u16(p) == 0x0112 && u16(p + 2) == 3) // Orientation, SHORT
            return Valid(u16(p + (big ? 12 : 8)));
    }
    return 1;
}

StoredOrientation ReadOrientation(QIODevice& file)
{
    RandomReader reader(file);
    unsigned char head[16] = {};
    if (!reader.Read(0, head, std::min<qint64>(16, reader.Size())))
        return {};
    StoredOrientation stored;
    if (head[0] == 0xFF && head[1] == 0xD8) {
        stored.orientation = JpegOrientation(reader, file);
    } else if ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0)
               || (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43))) {
        stored.orientation = OrientationOfTiffStructure(file, 0);
    } else if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0) {
        stored.orientation = WebPOrientation(reader, file);
    } else if (head[0] == 0xFF && head[1] == 0x0A) {
        stored.orientation = JxlCodestreamOrientation(reader.Bytes(0, 64));
    } else if (std::memcmp(head, "\0\0\0\x0CJXL \r\n\x87\n", 12) == 0) {
        stored.orientation = JxlContainerOrientation(reader);
    } else if (std::memcmp(head + 4, "ftyp", 4) == 0) {
        stored.orientation = HeifOrientation(reader);
        stored.appliedByDecoder = !HasAvifBrand(reader);
    }
    return stored;
}

StoredOrientation ReadOrientationOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ReadOrientation(file);
}

int InverseOrientation(int orientation)
{
    const Motion m = kMotions[Valid(orientation)];
    return m.mirror ? Valid(orientation) : OrientationOf({0, (4 - m.quarters) & 3});
}

int ComposeOrientations(int first, int then)
{
    const Motion a = kMotions[Valid(first)];
    const Motion b = kMotions[Valid(then)];
    // A mirror after a turn is the mirror first and the turn the other way.
    if (b.mirror)
        return OrientationOf({a.mirror ^ 1, (b.quarters - a.quarters) & 3});
    return OrientationOf({a.mirror, (a.quarters + b.quarters) & 3});
}

QImage ApplyOrientation(const QImage& image, int orientation)
{
    if (image.isNull())
        return image;
    const Motion m = kMotions[Valid(orientation)];
    QImage out = m.mirror ? image.mirrored(true, false) : image;
    switch (m.quarters) {
    case 1:
        return out.transformed(QTransform().rotate(90));
    case 2:
        return out.mirrored(true, true);
    case 3:
        return out.transformed(QTransform().rotate(270));
    default:
        return out;
    }
}

void SetAutoRotate(bool on)
{
    g_autoRotate = on;
}

bool AutoRotate()
{
    return g_autoRotate;
}

int OrientationToApply(const StoredOrientation& stored, bool autoRotate)
{
    if (stored.appliedByDecoder)
        return autoRotate ? 1 : InverseOrientation(stored.orientation);
    return autoRotate ? Valid(stored.orientation) : 1;
}

} // namespace decode
