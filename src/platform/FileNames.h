#pragma once
// File names as the operating system keeps them are bytes; the program holds
// them as text. Bytes that are not valid UTF-8 (names left by old archives and
// disks in CP932, for instance) are kept as lone surrogates U+DC80..U+DCFF,
// one per byte, so that every name survives the way from the folder listing
// to the file operations and back unchanged. Every call that hands a path to
// the system goes through EncodeFileName.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace platform {

// Text of a name or path as read from the system: valid UTF-8 sequences
// become their characters, every other byte the lone surrogate 0xDC00 + byte.
QString DecodeFileName(const QByteArray& bytes);

// The bytes DecodeFileName took them from: U+DC80..U+DCFF become the single
// bytes 0x80..0xFF, everything else UTF-8 (other unpaired surrogates give
// U+FFFD).
QByteArray EncodeFileName(const QString& name);

// True when the text holds bytes kept by DecodeFileName as surrogates.
bool HasRawBytes(const QString& name);

// The name for people to read. Each "/"-separated part holding raw bytes is
// decoded as CP932 when its bytes are valid CP932 text, else its raw bytes
// show as U+FFFD. Text without raw bytes is returned as it is.
QString DisplayFileName(const QString& name);

// The local path of a "file:" URL with the bytes its percent escapes stand
// for (QUrl::toLocalFile loses bytes that are not UTF-8); empty for other
// URLs.
QString LocalPathFromUrl(const QUrl& url);
// A "file:" URL for a path, escaping the name's own bytes.
QUrl UrlFromLocalPath(const QString& path);

// The program's arguments (argv[1..]) decoded losslessly.
QStringList ProgramArguments(int argc, char** argv);

} // namespace platform
