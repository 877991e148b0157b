#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

#include "core/job_outcome.h"

class JobHost;

// An error the archive class raises: number, source and description.
struct ZipError {
    quint32 number = 0;
    QString source;
    QString description;
};

// Collects the files of one zip archive and writes it with libzip. Each file becomes
// one entry named by its base name; files over 4 GiB are stored as ZIP64.
class CGZipFiles {
public:
    static constexpr quint32 AlreadyInList = 0x800407D1;
    static constexpr quint32 NotInList = 0x800407D2;
    static constexpr int MaxSlots = 100;
    static constexpr int InternalFailure = -99;

    CGZipFiles();

    bool RecurseFolders() const { return m_recurseFolders == 1; }
    void setRecurseFolders(bool on) { m_recurseFolders = on ? 1 : 0; }
    bool Encrypted() const { return m_encrypted == 1; }
    void setEncrypted(bool on) { m_encrypted = on ? 1 : 0; }
    bool IncludeSystemFiles() const { return m_includeSystemFiles == 1; }
    void setIncludeSystemFiles(bool on) { m_includeSystemFiles = on ? 1 : 0; }
    bool UpdatingZip() const { return m_updatingZip == 1; }
    void setUpdatingZip(bool on) { m_updatingZip = on ? 1 : 0; }
    QString ZipFileName() const { return m_zipFileName; }
    void setZipFileName(const QString& name) { m_zipFileName = name; }
    QString RootDirectory() const { return m_rootDirectory; }
    void setRootDirectory(const QString& directory) { m_rootDirectory = directory; }

    int ZipFileCount() const { return static_cast<int>(m_files.size()) - 1; }
    // The name slots handed to the writer: the placeholder first, then the files.
    QStringList nameSlots() const { return m_files; }

    std::optional<ZipError> AddFile(const QString& sFileName);
    std::optional<ZipError> RemoveFile(const QString& sFileName);

    // Writes the archive: 0 on success, otherwise a failure code with a readable
    // GetLastMessage. Progress (bytes read of the files) goes to the host.
    int MakeZipFile();
    static QString GetLastMessage();

    void setHost(JobHost* host) { m_host = host; }
    // Looked at after every block read: a cancel stops the archive, which is not made.
    void setCancel(const CancelRequest* cancel) { m_cancel = cancel; }
    static constexpr int Cancelled = -98;

private:
    qsizetype indexOf(const QString& name) const;

    QStringList m_files{QStringLiteral("querty")};
    qint16 m_recurseFolders = 0;
    qint16 m_encrypted = 0;
    qint16 m_includeSystemFiles = 0;
    qint16 m_updatingZip = 0;
    QString m_zipFileName;
    QString m_rootDirectory = QStringLiteral("\\");
    JobHost* m_host = nullptr;
    const CancelRequest* m_cancel = nullptr;
};
