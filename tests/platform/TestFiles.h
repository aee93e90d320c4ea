#pragma once
// Small helpers for tests that work on real files.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <unistd.h>

namespace testfiles {

inline bool runningAsRoot()
{
    return ::geteuid() == 0;
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(data) == data.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return file.readAll();
}

// Every name in a folder, hidden ones included, sorted.
inline QStringList namesIn(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// Removes a folder and everything below it, whatever bytes the names hold
// (QTemporaryDir cannot remove names that are not UTF-8).
inline void removeTree(const QString& folder)
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(QFile::encodeName(folder).toStdString()), ignored);
}

// Sets (or unsets, with nullopt) an environment variable for one scope.
class EnvGuard {
public:
    EnvGuard(const char* name, const std::optional<QString>& value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            old_ = qgetenv(name);
        if (value)
            qputenv(name, QFile::encodeName(*value));
        else
            qunsetenv(name);
    }
    ~EnvGuard()
    {
        if (old_)
            qputenv(name_, *old_);
        else
            qunsetenv(name_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

} // namespace testfiles
