#include "FileNames.h"

#include <cerrno>
#include <iconv.h>

namespace platform {
namespace {

constexpr char16_t kRawByteBase = 0xDC00;

bool isRawByteUnit(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at data[i], or 0 when it is not one
// (overlong forms, encoded surrogates and values past U+10FFFF included).
int validSequenceAt(const unsigned char* data, qsizetype size, qsizetype i, char32_t* code)
{
    const unsigned char lead = data[i];
    if (lead < 0x80) {
        *code = lead;
        return 1;
    }
    int length;
    char32_t value;
    char32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    for (int k = 1; k < length; ++k) {
        const unsigned char next = data[i + k];
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return length;
}

void appendUtf8(QByteArray& out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Strict CP932 to text; empty optional-like result through *ok.
QString fromCp932(const QByteArray& bytes, bool* ok)
{
    *ok = false;
    iconv_t cd = ::iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1))
        return {};
    QByteArray out(bytes.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* outPtr = out.data();
    size_t outLeft = size_t(out.size());
    const size_t result = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    ::iconv_close(cd);
    if (result == size_t(-1) || inLeft != 0)
        return {};
    out.truncate(out.size() - qsizetype(outLeft));
    *ok = true;
    return QString::fromUtf8(out);
}

} // namespace

QString DecodeFileName(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        char32_t code = 0;
        const int length = validSequenceAt(data, size, i, &code);
        if (length == 0) {
            text += QChar(char16_t(kRawByteBase + data[i]));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            text += QChar(QChar::highSurrogate(code));
            text += QChar(QChar::lowSurrogate(code));
        } else {
            text += QChar(char16_t(code));
        }
        i += length;
    }
    return text;
}

QByteArray EncodeFileName(const QString& name)
{
    QByteArray out;
    out.reserve(name.size() * 3);
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = name[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(name[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, name[i + 1].unicode()));
            ++i;
        } else if (isRawByteUnit(unit)) {
            out += char(unit - kRawByteBase);
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(out, 0xFFFD);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

bool HasRawBytes(const QString& name)
{
    for (const QChar c : name) {
        if (isRawByteUnit(c.unicode()))
            return true;
    }
    return false;
}

QString DisplayFileName(const QString& name)
{
    if (!HasRawBytes(name))
        return name;
    QStringList parts = name.split(QLatin1Char('/'));
    for (QString& part : parts) {
        if (!HasRawBytes(part))
            continue;
        bool ok = false;
        const QString decoded = fromCp932(EncodeFileName(part), &ok);
        if (ok) {
            part = decoded;
            continue;
        }
        for (QChar& c : part) {
            if (isRawByteUnit(c.unicode()))
                c = QChar(QChar::ReplacementCharacter);
        }
    }
    return parts.join(QLatin1Char('/'));
}

QString LocalPathFromUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    const QByteArray escaped = url.path(QUrl::FullyEncoded).toLatin1();
    return DecodeFileName(QByteArray::fromPercentEncoding(escaped));
}

QUrl UrlFromLocalPath(const QString& path)
{
    if (!HasRawBytes(path))
        return QUrl::fromLocalFile(path);
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    url.setPath(QString::fromLatin1(EncodeFileName(path).toPercentEncoding("/")), QUrl::TolerantMode);
    return url;
}

QStringList ProgramArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << DecodeFileName(QByteArray(argv[i]));
    return arguments;
}

} // namespace platform
