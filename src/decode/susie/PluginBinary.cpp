#include "PluginBinary.h"

#include <QFile>

#include <cstdint>

namespace {

constexpr int kPeOffsetField = 0x3C;
// The PE header must lie within this many bytes of the file's start.
constexpr uint32_t kMaxPeOffset = 64 * 1024;
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kOptionalMagicPe32 = 0x10B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
constexpr uint16_t kCharacteristicDll = 0x2000;

uint32_t Le(const QByteArray& b, qsizetype at, int size)
{
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(b.at(at + i));
    return v;
}

} // namespace

PluginBinaryKind PluginBinaryKindOfHead(const QByteArray& head)
{
    if (head.startsWith("\x7f"
                        "ELF"))
        return PluginBinaryKind::Elf;
    if (head.size() < kPeOffsetField + 4 || !head.startsWith("MZ"))
        return PluginBinaryKind::Unknown;
    const uint32_t pe = Le(head, kPeOffsetField, 4);
    // Signature (4), machine (2), sections (2), time (4), symbols (4+4),
    // optional header size (2), characteristics (2), optional magic (2).
    if (pe > kMaxPeOffset || head.size() < static_cast<qsizetype>(pe) + 26)
        return PluginBinaryKind::Unknown;
    if (head.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return PluginBinaryKind::Unknown;
    const uint16_t machine = static_cast<uint16_t>(Le(head, pe + 4, 2));
    const uint16_t characteristics = static_cast<uint16_t>(Le(head, pe + 22, 2));
    const uint16_t magic = static_cast<uint16_t>(Le(head, pe + 24, 2));
    if (!(characteristics & kCharacteristicDll))
        return PluginBinaryKind::Unknown;
    if (machine == kMachineI386 && magic == kOptionalMagicPe32)
        return PluginBinaryKind::Windows32;
    if (machine == kMachineAmd64 && magic == kOptionalMagicPe32Plus)
        return PluginBinaryKind::Windows64;
    return PluginBinaryKind::WindowsOther;
}

PluginBinaryKind PluginBinaryKindOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return PluginBinaryKind::Unknown;
    QByteArray head = file.read(kPeOffsetField + 4);
    if (head.startsWith("MZ") && head.size() == kPeOffsetField + 4) {
        const uint32_t pe = Le(head, kPeOffsetField, 4);
        if (pe <= kMaxPeOffset && file.seek(0))
            head = file.read(static_cast<qint64>(pe) + 26);
    }
    return PluginBinaryKindOfHead(head);
}
