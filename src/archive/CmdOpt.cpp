#include "CmdOpt.h"

#include "ArchiverErrors.h"
#include "ArchiverOptions.h"

#include <QFile>

namespace {

void AppendName(QStringList& out, const QString& name)
{
    if (!name.isEmpty())
        out.append(name);
}

struct SourceVisitor {
    QStringList& out;

    void operator()(const std::monostate&) const {}
    void operator()(const QString& s) const { AppendName(out, s); }
    void operator()(const std::string& s) const { AppendName(out, QString::fromStdString(s)); }
    void operator()(const char* s) const
    {
        if (s)
            AppendName(out, QString::fromUtf8(s));
    }
    void operator()(const std::u16string& s) const { AppendName(out, QString::fromStdU16String(s)); }
    void operator()(const char16_t* s) const
    {
        if (s)
            AppendName(out, QString::fromUtf16(s));
    }
    void operator()(const TWideTextArray& a) const
    {
        if (!a.texts)
            return;
        for (const char16_t* const* p = a.texts; *p; ++p)
            AppendName(out, QString::fromUtf16(*p));
    }
    void operator()(const QStringList& list) const
    {
        for (const QString& s : list)
            AppendName(out, s);
    }
    void operator()(const QVariant& v) const
    {
        if (!v.isValid() || v.isNull())
            return;
        if (v.canConvert<QVariantList>() && v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QByteArray) {
            const QVariantList list = v.toList();
            for (const QVariant& e : list)
                AppendName(out, e.toString());
            return;
        }
        AppendName(out, v.toString());
    }
};

// The libraries' command lines group a token with double quotes and know no
// way to write a double quote inside one, and a response file holds one name
// a line. A name with such characters would be split into other tokens (a
// different archive, folder or switch), so it is refused.
void CheckToken(const QString& value, bool lineBased)
{
    const bool quote = value.contains(QLatin1Char('"'));
    const bool lineBreak = lineBased && (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')));
    if (quote || lineBreak) {
        throw EArchiver(QStringLiteral("書庫ライブラリに渡せない文字 (%1) を含む名前です: %2")
                            .arg(quote ? QStringLiteral("\"") : QStringLiteral("改行"), value));
    }
}

} // namespace

QStringList MakeFileList(const TFileList& files)
{
    QStringList names;
    SourceVisitor visitor{names};
    for (const TFileSource& source : files)
        std::visit(visitor, source);
    return names;
}

QString EscapeZipName(const QString& name)
{
    QString out;
    out.reserve(name.size() + 8);
    qsizetype start = 0;
    if (name.startsWith(QLatin1Char('-'))) {
        out += QStringLiteral("[-]");
        start = 1;
    }
    for (qsizetype k = start; k < name.size(); ++k) {
        const QChar ch = name.at(k);
        if (ch == QLatin1Char('\\'))
            out += QLatin1Char('/');
        else if (ch == QLatin1Char('['))
            out += QStringLiteral("[[]");
        else
            out += ch;
    }
    return out;
}

void TCmdOpt::Add(const QString& s)
{
    m_text += QLatin1Char(' ');
    m_text += s;
}

void TCmdOpt::AddInt(const QString& name, int v)
{
    if (v >= 0)
        Add(QLatin1Char('-') + name + QString::number(v));
}

void TCmdOpt::AddBool(const QString& name, bool b)
{
    if (b)
        Add(QLatin1Char('-') + name);
}

void TCmdOpt::AddStr(const QString& name, const QString& value)
{
    if (IsUnset(value))
        return;
    CheckToken(value, false);
    const QChar quote = QLatin1Char('"');
    if (name.isEmpty()) {
        Add(quote + value + quote);
        return;
    }
    const QString sw = name.at(0) == QLatin1Char(' ') ? name.mid(1) : QLatin1Char('-') + name;
    if (SpaceSeparated)
        Add(sw + QLatin1Char(' ') + quote + value + quote);
    else
        Add(quote + sw + value + quote);
}

void TCmdOpt::AddDir(const QString& name, const QString& folder)
{
    if (folder.isEmpty() || IsUnset(folder))
        return;
    QString dir = folder;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    AddStr(name, dir);
}

QString TCmdOpt::Convert(const QString& name) const
{
    return NameConverter ? NameConverter(name) : name;
}

int TCmdOpt::AddFiles(const QString& name, const TFileList& files)
{
    const QStringList names = MakeFileList(files);
    for (const QString& n : names)
        AddStr(name, Convert(n));
    return int(names.size());
}

int TCmdOpt::AddResFile(const TFileList& files, const QString& resFileName)
{
    const QStringList names = MakeFileList(files);
    QByteArray content;
    for (const QString& n : names) {
        const QString converted = Convert(n);
        CheckToken(converted, true);
        content += '"';
        content += converted.toUtf8();
        content += "\"\r\n";
    }
    QFile file(resFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()
        || !file.flush()) {
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(resFileName, file.errorString()));
    }
    file.close();
    AddStr(QString(), QLatin1Char('@') + resFileName);
    return int(names.size());
}
