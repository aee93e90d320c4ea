#pragma once
// Profile (INI) files: "[Section]" headers and "Key=Value" lines.
//
// Reading honours a UTF-8, UTF-16 LE or UTF-16 BE byte-order mark and takes
// UTF-8 otherwise; files are always written as UTF-8 without a mark. Section
// and key names are compared without regard to case. Lines that are not
// understood (comments, junk, lines with invalid UTF-8 or NUL bytes, keys
// before the first section) are kept byte for byte in their place, so a
// rewrite changes only the keys that were set. A key that exists is rewritten
// where it stands, a new key is appended at the end of its section, a new
// section at the end of the file. Lines may end in CR LF or LF; each line
// keeps its own ending, new lines take the ending of the file's first line.
//
// A value read back is trimmed of surrounding blanks; a value enclosed in
// matching double or single quotes loses them. Values that would not survive
// that (leading or trailing blanks, or enclosed in quotes) are written in
// double quotes so that they read back exactly.
//
// Saving writes the whole file to a temporary file in the same folder and
// renames it over the old one, so a failed save leaves the old file intact.
#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace platform {

class ProfileFile {
public:
    // Reads the file. A file that does not exist gives an empty profile and
    // true; a file that exists but cannot be read gives an empty profile and
    // false (see LoadFailed). Damaged content never fails: what cannot be
    // understood is kept as opaque lines.
    bool Load(const QString& path);

    // True when the last Load found a file it could not read.
    bool LoadFailed() const { return loadFailed_; }

    // The value of key in section; nullopt when the key is not there.
    std::optional<QString> Value(const QString& section, const QString& key) const;

    // Sets key in section to value. Returns false (and changes nothing) when
    // the names or the value cannot be stored in a profile file: an empty
    // key, a key holding "=", a section holding "]", or any name or value
    // holding a line break or a NUL character.
    bool SetValue(const QString& section, const QString& key, const QString& value);

    // Writes the profile to path (temporary file + rename). False on failure;
    // the old file is then unchanged.
    bool Save(const QString& path) const;

    // The text Save would write.
    QByteArray Serialize() const;

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        Kind kind = Kind::Other;
        QByteArray raw; // the line as stored, without its line ending
        QByteArray eol; // "\r\n", "\n" or empty for a last line without one
        QString name; // section name or key name (trimmed)
        QString value; // key value (as read back)
        bool matchable = true; // false for a section header that could not be read
    };

    void Parse(const QByteArray& utf8);
    // Index of the line holding key in section, or -1.
    int FindKey(const QString& section, const QString& key) const;
    QByteArray DefaultEol() const;

    std::vector<Line> lines_;
    bool loadFailed_ = false;
};

// The Windows-style profile functions, over ProfileFile. Each call reads the
// file anew. GetPrivateProfileString gives def when the key is missing or the
// file cannot be read. WritePrivateProfileString gives false when the file
// could not be written; an existing file that cannot be read is not replaced.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def, const QString& file);
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value, const QString& file);

} // namespace platform
