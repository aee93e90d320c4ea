#pragma once
// Errors of the archive subsystem. Each carries its message text; what()
// gives the same text in UTF-8.
#include <QString>

#include <stdexcept>

class EArchiver : public std::runtime_error {
public:
    explicit EArchiver(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& Message() const { return m_message; }

private:
    QString m_message;
};

// The archiver library of a format cannot be loaded.
class ENoArchiverDLL : public EArchiver {
public:
    using EArchiver::EArchiver;
};

// A required entry point is missing in a loaded library.
class EEntryNotFound : public EArchiver {
public:
    using EArchiver::EArchiver;
};

// A file needed to build a self-extracting archive is missing.
class ESfxNoRequiredFile : public EArchiver {
public:
    // sfxKind may be empty ("no SFX kind").
    ESfxNoRequiredFile(const QString& archiveKind, const QString& sfxKind, const QString& requiredFile)
        : EArchiver(archiveKind + QStringLiteral(" 書庫からの") + sfxKind + QStringLiteral("自己解凍書庫の作成には '")
                    + requiredFile + QStringLiteral("' ファイルが必要です。")),
          m_archiveKind(archiveKind),
          m_sfxKind(sfxKind),
          m_requiredFile(requiredFile)
    {
    }

    const QString& ArchiveKind() const { return m_archiveKind; }
    const QString& SfxKind() const { return m_sfxKind; }
    const QString& RequiredFile() const { return m_requiredFile; }

private:
    QString m_archiveKind;
    QString m_sfxKind;
    QString m_requiredFile;
};

// A precondition of a command builder does not hold (a required option is
// unset). Raised before any library is called.
class EAssertionFailed : public std::logic_error {
public:
    explicit EAssertionFailed(const QString& message) : std::logic_error(message.toStdString()), m_message(message) {}
    const QString& Message() const { return m_message; }

private:
    QString m_message;
};

// A file the archive subsystem writes (a response file, a self-extracting
// archive) cannot be created or written.
class EFCreateError : public std::runtime_error {
public:
    explicit EFCreateError(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& Message() const { return m_message; }

private:
    QString m_message;
};
