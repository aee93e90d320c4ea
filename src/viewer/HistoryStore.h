#pragma once
// The stored history lists ov1.lst ... ov6.lst: up to five earlier image
// lists, 1 the oldest and Count() the newest; number 6 is used only for a
// moment while a list is added to a full history.
#include <QString>
#include <QStringList>

#include <array>

class HistoryStore {
public:
    static constexpr int kMaxLists = 5;
    static constexpr int kFiles = 6;

    struct Entry {
        bool visible = false;
        QString caption; // folder of the first path, with its trailing "/"
    };

    explicit HistoryStore(QString folder, int count = 0);

    QString HistoryFileName(int n) const;
    int Count() const { return m_count; }
    void SetCount(int count) { m_count = count; }

    // Stores the list as the newest history list.
    void Push(const QStringList& list);
    // Drops lists whose file is missing, renumbers the rest and gives the
    // six menu entries.
    std::array<Entry, kFiles> Refresh();
    // Reads list n and takes it out of the history (it comes back as the
    // newest when it is pushed again). Gives false when file n is missing.
    bool Open(int n, QStringList& list);
    // Deletes every history file and sets the count to 0.
    void Clear();

    static QString Caption(const QString& firstPath);
    static QStringList ReadList(const QString& file, bool* ok = nullptr);
    static bool WriteList(const QString& file, const QStringList& list);

private:
    void renameOver(int from, int to) const;

    QString m_folder;
    int m_count = 0;
};
