#include "HistoryStore.h"

#include "platform/FileNames.h"
#include "platform/Files.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

HistoryStore::HistoryStore(QString folder, int count) : m_folder(std::move(folder)), m_count(count)
{
    if (m_folder.endsWith(QLatin1Char('/')))
        m_folder.chop(1);
}

QString HistoryStore::HistoryFileName(int n) const
{
    return m_folder + QStringLiteral("/ov%1.lst").arg(n);
}

void HistoryStore::renameOver(int from, int to) const
{
    const QString target = HistoryFileName(to);
    // The target number is free by construction; a stale file there is a
    // leftover of an interrupted run and is replaced.
    if (platform::FileExists(target))
        platform::DeleteFile(target);
    platform::MoveFile(HistoryFileName(from), target);
}

void HistoryStore::Push(const QStringList& list)
{
    const int target = m_count > kMaxLists ? kFiles : m_count + 1;
    WriteList(HistoryFileName(target), list);
    if (m_count > kMaxLists - 1) {
        platform::DeleteFile(HistoryFileName(1));
        for (int n = 2; n <= kFiles; ++n) {
            if (platform::FileExists(HistoryFileName(n)))
                renameOver(n, n - 1);
        }
        m_count = kMaxLists;
    } else {
        ++m_count;
    }
}

std::array<HistoryStore::Entry, HistoryStore::kFiles> HistoryStore::Refresh()
{
    std::array<Entry, kFiles> entries;
    const int count = std::min(m_count, kFiles);
    int present = 0;
    for (int n = 1; n <= count; ++n) {
        const QString file = HistoryFileName(n);
        if (!platform::FileExists(file))
            continue;
        ++present;
        if (present != n)
            renameOver(n, present);
        const QStringList list = ReadList(HistoryFileName(present));
        entries[present - 1].visible = true;
        entries[present - 1].caption = list.isEmpty() ? QString() : Caption(list.first());
    }
    m_count = present;
    return entries;
}

bool HistoryStore::Open(int n, QStringList& list)
{
    const QString file = HistoryFileName(n);
    if (!platform::FileExists(file))
        return false;
    list = ReadList(file);
    if (n < m_count) {
        platform::DeleteFile(file);
        for (int k = n + 1; k <= m_count; ++k)
            renameOver(k, k - 1);
    } else {
        platform::DeleteFile(file);
    }
    if (n <= m_count)
        m_count = std::max(0, m_count - 1);
    return true;
}

void HistoryStore::Clear()
{
    for (int n = 1; n <= kFiles; ++n) {
        const QString file = HistoryFileName(n);
        if (platform::FileExists(file))
            platform::DeleteFile(file);
    }
    m_count = 0;
}

QString HistoryStore::Caption(const QString& firstPath)
{
    const int slash = firstPath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : firstPath.left(slash + 1);
}

QStringList HistoryStore::ReadList(const QString& file, bool* ok)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return {};
    }
    const QByteArray data = f.readAll();
    if (ok)
        *ok = true;
    QString text;
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        auto encoding = data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
        QStringDecoder decoder(encoding);
        text = decoder(data.mid(2));
    } else {
        text = platform::DecodeFileName(data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data);
    }
    QStringList list;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            list.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < size)
        list.append(text.mid(start));
    return list;
}

bool HistoryStore::WriteList(const QString& file, const QStringList& list)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray data;
    for (const QString& path : list) {
        // A name's own bytes, also where they are not UTF-8.
        data += platform::EncodeFileName(path);
        data += "\r\n";
    }
    out.write(data);
    return out.commit();
}
