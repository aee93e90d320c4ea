#pragma once
// Assembling the command lines handed to the archiver libraries.
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <string>
#include <variant>
#include <vector>

// A null-terminated array of zero-terminated wide (UTF-16) texts. A null
// pointer contributes no names.
struct TWideTextArray {
    const char16_t* const* texts = nullptr;
};

// One source of names in a file list:
//  - a text (QString, a single-byte UTF-8 std::string or C string, a wide
//    std::u16string or UTF-16 C string): itself as one name;
//  - TWideTextArray: each text in turn;
//  - QStringList (a string list object): each line;
//  - QVariant: a list variant gives each element converted to text, any
//    other variant its value as text;
//  - std::monostate (any other kind of value): nothing.
using TFileSource = std::variant<std::monostate, QString, std::string, const char*, std::u16string, const char16_t*,
                                 TWideTextArray, QStringList, QVariant>;
using TFileList = std::vector<TFileSource>;

// The names of a file list, in order; empty names are skipped.
QStringList MakeFileList(const TFileList& files);

// Escapes a name for the ZIP libraries' wildcard language: a leading "-"
// becomes "[-]", "\" becomes "/", "[" becomes "[[]".
QString EscapeZipName(const QString& name);

class TCmdOpt {
public:
    using TNameConverter = std::function<QString(const QString&)>;

    bool SpaceSeparated = false;
    TNameConverter NameConverter;

    const QString& Text() const { return m_text; }

    // Appends one blank and s, also when s is empty.
    void Add(const QString& s);
    // "-" + name + v when v >= 0.
    void AddInt(const QString& name, int v);
    // "-" + name when b.
    void AddBool(const QString& name, bool b);
    // A quoted value, optionally with a switch; nothing when value is unset.
    // Raises EArchiver for a value holding a double quote, which the
    // libraries could not tell from the end of the token.
    void AddStr(const QString& name, const QString& value);
    // A folder with a trailing "/" through AddStr; nothing when empty or unset.
    void AddDir(const QString& name, const QString& folder);
    // Every name of the list through AddStr(name, ...); returns the count.
    int AddFiles(const QString& name, const TFileList& files);
    // Writes the names to the response file (quoted, CR LF) and adds
    // "@" + the response file's path; returns the count. Raises
    // EFCreateError when the response file cannot be written, EArchiver for a
    // name holding a double quote or a line break.
    int AddResFile(const TFileList& files, const QString& resFileName);

private:
    QString Convert(const QString& name) const;
    QString m_text;
};
