#include "platform/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace platform {

namespace {

// Profile files are small; anything beyond this is not a settings file and is
// treated as unreadable (and therefore never replaced by a save).
constexpr qint64 kMaxProfileSize = 256LL * 1024 * 1024;

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsQuote(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\'');
}

QString ReadValue(QStringView text)
{
    QStringView v = text.trimmed();
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v.toString();
}

QString StoredValue(const QString& value)
{
    if (value.isEmpty())
        return value;
    const bool blankEdge = value.front().isSpace() || value.back().isSpace();
    const bool quoted = value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
    if (blankEdge || quoted)
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

bool HasLineBreakOrNul(const QString& s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == 0)
            return true;
    }
    return false;
}

// Converts the file's bytes to UTF-8 according to its byte-order mark.
QByteArray ToUtf8(const QByteArray& data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return data.mid(3);
    const bool le = data.startsWith("\xFF\xFE");
    const bool be = data.startsWith("\xFE\xFF");
    if (le || be) {
        QStringDecoder decoder(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE, QStringDecoder::Flag::Stateless);
        const QString text = decoder(QByteArrayView(data).sliced(2));
        return text.toUtf8();
    }
    return data;
}

} // namespace

bool ProfileFile::Load(const QString& path)
{
    lines_.clear();
    loadFailed_ = false;

    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;

    QFile file(path);
    if (info.isDir() || info.size() > kMaxProfileSize || !file.open(QIODevice::ReadOnly)) {
        loadFailed_ = true;
        return false;
    }
    QByteArray data;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError) {
            loadFailed_ = true;
            return false;
        }
        if (chunk.isEmpty())
            break;
        data += chunk;
        if (data.size() > kMaxProfileSize) {
            loadFailed_ = true;
            return false;
        }
    }
    Parse(ToUtf8(data));
    return true;
}

void ProfileFile::Parse(const QByteArray& utf8)
{
    qsizetype pos = 0;
    const qsizetype size = utf8.size();
    while (pos < size) {
        qsizetype nl = utf8.indexOf('\n', pos);
        Line line;
        if (nl < 0) {
            line.raw = utf8.mid(pos);
            pos = size;
        } else {
            qsizetype end = nl;
            if (end > pos && utf8[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
            } else {
                line.eol = "\n";
            }
            line.raw = utf8.mid(pos, end - pos);
            pos = nl + 1;
        }

        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder(line.raw);
        const bool readable = !decoder.hasError() && !line.raw.contains('\0');
        const QStringView t = QStringView(text).trimmed();

        if (!t.isEmpty() && t.front() == QLatin1Char('[')) {
            // A header, even a damaged one, ends the section before it, so
            // keys below an unreadable header are never taken for keys of the
            // section above it. An unreadable header matches no name.
            line.kind = Kind::Section;
            if (readable) {
                const qsizetype close = t.indexOf(QLatin1Char(']'));
                line.name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed().toString();
            } else {
                line.matchable = false;
            }
        } else if (readable && !t.isEmpty() && t.front() != QLatin1Char(';')) {
            const qsizetype eq = t.indexOf(QLatin1Char('='));
            if (eq > 0) {
                const QStringView key = t.left(eq).trimmed();
                if (!key.isEmpty()) {
                    line.kind = Kind::Key;
                    line.name = key.toString();
                    line.value = ReadValue(t.mid(eq + 1));
                }
            }
        }
        lines_.push_back(std::move(line));
    }
}

int ProfileFile::FindKey(const QString& section, const QString& key) const
{
    const QString sec = section.trimmed();
    const QString k = key.trimmed();
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Kind::Section)
            inSection = line.matchable && SameName(line.name, sec);
        else if (inSection && line.kind == Kind::Key && SameName(line.name, k))
            return int(i);
    }
    return -1;
}

std::optional<QString> ProfileFile::Value(const QString& section, const QString& key) const
{
    const int i = FindKey(section, key);
    if (i < 0)
        return std::nullopt;
    return lines_[size_t(i)].value;
}

QByteArray ProfileFile::DefaultEol() const
{
    for (const Line& line : lines_)
        if (!line.eol.isEmpty())
            return line.eol;
    return "\n";
}

bool ProfileFile::SetValue(const QString& section, const QString& key, const QString& value)
{
    const QString sec = section.trimmed();
    const QString k = key.trimmed();
    if (k.isEmpty() || k.contains(QLatin1Char('=')) || k.front() == QLatin1Char(';') || k.front() == QLatin1Char('[')
        || sec.contains(QLatin1Char(']')) || HasLineBreakOrNul(sec) || HasLineBreakOrNul(k) || HasLineBreakOrNul(value))
        return false;

    Line keyLine;
    keyLine.kind = Kind::Key;
    keyLine.name = k;
    keyLine.value = value;
    keyLine.raw = (k + QLatin1Char('=') + StoredValue(value)).toUtf8();

    const int existing = FindKey(sec, k);
    if (existing >= 0) {
        keyLine.eol = lines_[size_t(existing)].eol;
        lines_[size_t(existing)] = std::move(keyLine);
        return true;
    }

    const QByteArray eol = DefaultEol();
    keyLine.eol = eol;

    // The first section of that name: insert after its last key (or right
    // after its header), before any blank lines or comments that lead into
    // the next section.
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind != Kind::Section || !line.matchable || !SameName(line.name, sec))
            continue;
        size_t insertAfter = i;
        for (size_t j = i + 1; j < lines_.size() && lines_[j].kind != Kind::Section; ++j)
            if (lines_[j].kind == Kind::Key)
                insertAfter = j;
        if (lines_[insertAfter].eol.isEmpty()) {
            lines_[insertAfter].eol = eol;
            keyLine.eol.clear();
        }
        lines_.insert(lines_.begin() + qsizetype(insertAfter) + 1, std::move(keyLine));
        return true;
    }

    // A new section at the end of the file.
    if (!lines_.empty() && lines_.back().eol.isEmpty())
        lines_.back().eol = eol;
    Line header;
    header.kind = Kind::Section;
    header.name = sec;
    header.raw = (QLatin1Char('[') + sec + QLatin1Char(']')).toUtf8();
    header.eol = eol;
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(keyLine));
    return true;
}

QByteArray ProfileFile::Serialize() const
{
    qsizetype total = 0;
    for (const Line& line : lines_)
        total += line.raw.size() + line.eol.size();
    QByteArray out;
    out.reserve(total);
    for (const Line& line : lines_) {
        out += line.raw;
        out += line.eol;
    }
    return out;
}

bool ProfileFile::Save(const QString& path) const
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = Serialize();
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString GetPrivateProfileString(const QString& section, const QString& key, const QString& def, const QString& file)
{
    ProfileFile profile;
    if (!profile.Load(file))
        return def;
    return profile.Value(section, key).value_or(def);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value, const QString& file)
{
    ProfileFile profile;
    if (!profile.Load(file))
        return false;
    if (!profile.SetValue(section, key, value))
        return false;
    return profile.Save(file);
}

} // namespace platform
