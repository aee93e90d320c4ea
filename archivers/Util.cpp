// Small helpers shared by the readers: checksums, DOS times, name encodings.
#include <iconv.h>
#include <zlib.h>

#include <cerrno>
#include <ctime>

#include "Readers.h"

namespace arc {

uint32_t Crc32(uint32_t crc, const void* data, size_t size)
{
    const auto* p = static_cast<const Bytef*>(data);
    while (size > 0) {
        const uInt chunk = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
        crc = static_cast<uint32_t>(crc32(crc, p, chunk));
        p += chunk;
        size -= chunk;
    }
    return crc;
}

int64_t DosDateTimeToUnix(uint16_t date, uint16_t time)
{
    std::tm tm{};
    tm.tm_year = ((date >> 9) & 0x7f) + 80;
    tm.tm_mon = ((date >> 5) & 0x0f) - 1;
    tm.tm_mday = date & 0x1f;
    tm.tm_hour = (time >> 11) & 0x1f;
    tm.tm_min = (time >> 5) & 0x3f;
    tm.tm_sec = (time & 0x1f) * 2;
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0)
        tm.tm_mon = 0;
    if (tm.tm_mday == 0)
        tm.tm_mday = 1;
    const std::time_t t = std::mktime(&tm); // DOS times are local times
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

void UnixToDosDateTime(int64_t t, uint16_t& date, uint16_t& time)
{
    std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (localtime_r(&tt, &tm) == nullptr || tm.tm_year < 80) {
        date = (1 << 5) | 1; // 1980-01-01
        time = 0;
        return;
    }
    if (tm.tm_year > 207)
        tm.tm_year = 207;
    date = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    time = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

namespace {

bool IsValidUtf8(const std::string& s)
{
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            len = 2;
            cp = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            len = 3;
            cp = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3f);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10ffff
            || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += len;
    }
    return true;
}

bool FromCp932(const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(in.size() * 3 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || srcLeft != 0)
        return false;
    out.resize(out.size() - dstLeft);
    return true;
}

} // namespace

std::string NameToUtf8(const std::string& stored)
{
    if (IsValidUtf8(stored))
        return stored;
    std::string converted;
    if (FromCp932(stored, converted) && IsValidUtf8(converted))
        return converted;
    std::string cleaned;
    cleaned.reserve(stored.size());
    for (const char ch : stored)
        cleaned.push_back(static_cast<unsigned char>(ch) < 0x80 ? ch : '_');
    return cleaned;
}

std::string RestoreCp932TrailSlashes(std::string stored)
{
    if (IsValidUtf8(stored))
        return stored;
    for (size_t i = 0; i < stored.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(stored[i]);
        const bool lead = (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
        if (!lead || i + 1 >= stored.size())
            continue;
        // "/" is no CP932 trail byte: it stood for a 0x5C trail byte.
        if (stored[i + 1] == '/')
            stored[i + 1] = '\\';
        ++i;
    }
    return stored;
}

std::string BackslashesToSlashes(std::string name)
{
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

} // namespace arc
