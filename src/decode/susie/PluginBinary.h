#pragma once
// What kind of library a plug-in file holds, told by its content: an ELF
// shared object for this program, or a Windows DLL (MZ/PE) for the 32-bit or
// 64-bit Windows helper.
#include <QByteArray>
#include <QString>

enum class PluginBinaryKind {
    Unknown, // neither, or unreadable
    Elf, // "\x7f" "ELF"
    Windows32, // PE, machine i386
    Windows64, // PE32+, machine x86-64
    WindowsOther, // PE for a machine no helper serves (ARM, Itanium, ...)
};

// From the first bytes of a file (the PE header is found through the
// e_lfanew field at 0x3C; give at least that far plus 0x18 bytes).
PluginBinaryKind PluginBinaryKindOfHead(const QByteArray& head);

// Reads what is needed of the file.
PluginBinaryKind PluginBinaryKindOfFile(const QString& path);

inline bool IsWindowsBinary(PluginBinaryKind kind)
{
    return kind == PluginBinaryKind::Windows32 || kind == PluginBinaryKind::Windows64
           || kind == PluginBinaryKind::WindowsOther;
}
