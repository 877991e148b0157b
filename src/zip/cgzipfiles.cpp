#include "zip/cgzipfiles.h"

#include <zip.h>

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/native_path.h"
#include "core/progress_feedback.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"

namespace {

QString g_lastMessage;

// One entry of the archive: a file on disk and its name inside.
struct Entry {
    QString path;
    QString name;
    quint64 size = 0;
};

// Counts every byte libzip reads, so that progress is the share of the input done.
struct ProgressState {
    JobHost* host = nullptr;
    const CancelRequest* cancel = nullptr;
    ProgressFeedback feedback;
    quint64 done = 0;
    quint64 total = 0;
};

struct SourceState {
    Entry entry;
    ProgressState* progress = nullptr;
    std::FILE* file = nullptr;
    zip_error_t error{};
    time_t mtime = 0;
};

zip_int64_t readSource(SourceState& state, void* data, zip_uint64_t length) {
    if (state.progress->cancel != nullptr && state.progress->cancel->requested) {
        zip_error_set(&state.error, ZIP_ER_CANCELLED, 0);
        return -1;
    }
    const size_t got = std::fread(data, 1, length, state.file);
    if (got < length && std::ferror(state.file) != 0) {
        zip_error_set(&state.error, ZIP_ER_READ, errno);
        return -1;
    }
    if (state.progress->host != nullptr && got > 0) {
        state.progress->done += got;
        state.progress->host->progress(
            state.progress->feedback.report(state.progress->done, state.progress->total));
    }
    return static_cast<zip_int64_t>(got);
}

zip_int64_t sourceCallback(void* userdata, void* data, zip_uint64_t length,
                           zip_source_cmd_t command) {
    auto& state = *static_cast<SourceState*>(userdata);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            state.file = std::fopen(nativePath(state.entry.path).constData(), "rbe");
            if (state.file == nullptr) {
                zip_error_set(&state.error, ZIP_ER_OPEN, errno);
                return -1;
            }
            return 0;
        case ZIP_SOURCE_READ:
            return readSource(state, data, length);
        case ZIP_SOURCE_CLOSE:
            if (state.file != nullptr) {
                std::fclose(state.file);
                state.file = nullptr;
            }
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = state.entry.size;
            st->mtime = state.mtime;
            st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&state.error, data, length);
        case ZIP_SOURCE_FREE:
            if (state.file != nullptr) {
                std::fclose(state.file);
            }
            zip_error_fini(&state.error);
            delete &state;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_READABLE;
        default:
            zip_error_set(&state.error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

time_t modificationTime(const QString& path) {
    struct stat status {};
    return ::stat(nativePath(path).constData(), &status) == 0 ? status.st_mtime : 0;
}

// The entries behind the added names: a folder stands for its files when recursing.
bool collectEntries(const QStringList& names, bool recurse, QList<Entry>* entries,
                    QString* problem) {
    for (const QString& name : names) {
        const QFileInfo info(name);
        if (info.isDir() && recurse) {
            QDirIterator it(name, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QFileInfo file(it.next());
                entries->append({file.filePath(),
                                 info.fileName() + QLatin1Char('/') +
                                     QDir(name).relativeFilePath(file.filePath()),
                                 static_cast<quint64>(file.size())});
            }
            continue;
        }
        if (!isRegularFile(name)) {
            *problem = QLatin1Char('\'') + name + QStringLiteral("' is not a file.");
            return false;
        }
        entries->append({name, namePart(name), GetFileLen(name)});
    }
    return true;
}

QString archiveProblem(const QString& archive, zip_error_t* error) {
    return QStringLiteral("Cannot write the zip archive '") + archive + QStringLiteral("': ") +
           QString::fromLocal8Bit(zip_error_strerror(error));
}

}  // namespace

CGZipFiles::CGZipFiles() = default;

qsizetype CGZipFiles::indexOf(const QString& name) const {
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

std::optional<ZipError> CGZipFiles::AddFile(const QString& sFileName) {
    if (indexOf(sFileName) >= 0) {
        return ZipError{AlreadyInList, QStringLiteral("CGZip::AddFile"),
                        QStringLiteral("File is already in Zip List")};
    }
    m_files.append(sFileName);
    return std::nullopt;
}

std::optional<ZipError> CGZipFiles::RemoveFile(const QString& sFileName) {
    const qsizetype at = indexOf(sFileName);
    if (at <= 0) {
        return ZipError{NotInList, QStringLiteral("CGZip::RemoveFile"),
                        QStringLiteral("File is not in Zip List")};
    }
    m_files.removeAt(at);
    return std::nullopt;
}

QString CGZipFiles::GetLastMessage() {
    return g_lastMessage;
}

int CGZipFiles::MakeZipFile() {
    g_lastMessage.clear();
    if (m_files.size() > MaxSlots) {
        g_lastMessage =
            QStringLiteral("Too many files for one zip archive (at most %1).").arg(MaxSlots - 1);
        return InternalFailure;
    }
    QList<Entry> entries;
    if (!collectEntries(m_files.mid(1), RecurseFolders(), &entries, &g_lastMessage)) {
        return InternalFailure;
    }
    ProgressState progress;
    progress.host = m_host;
    progress.cancel = m_cancel;
    for (const Entry& entry : entries) {
        progress.total += entry.size;
    }
    progress.feedback.start();

    int errorCode = 0;
    const int flags = ZIP_CREATE | (UpdatingZip() ? 0 : ZIP_TRUNCATE);
    zip_t* archive = zip_open(nativePath(m_zipFileName).constData(), flags, &errorCode);
    if (archive == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, errorCode);
        g_lastMessage = archiveProblem(m_zipFileName, &error);
        zip_error_fini(&error);
        return errorCode;
    }
    for (const Entry& entry : entries) {
        auto* state = new SourceState{entry, &progress};
        zip_error_init(&state->error);
        state->mtime = modificationTime(entry.path);
        zip_source_t* source = zip_source_function(archive, sourceCallback, state);
        if (source == nullptr) {
            delete state;
        }
        const QByteArray name = entry.name.toUtf8();
        if (source == nullptr || zip_file_add(archive, name.constData(), source,
                                              ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            if (source != nullptr) {
                zip_source_free(source);
            }
            g_lastMessage = archiveProblem(m_zipFileName, zip_get_error(archive));
            const int code = zip_error_code_zip(zip_get_error(archive));
            zip_discard(archive);
            return code != 0 ? code : InternalFailure;
        }
    }
    if (zip_close(archive) != 0) {
        if (m_cancel != nullptr && m_cancel->requested) {
            zip_discard(archive);
            return Cancelled;
        }
        g_lastMessage = archiveProblem(m_zipFileName, zip_get_error(archive));
        const int code = zip_error_code_zip(zip_get_error(archive));
        zip_discard(archive);
        return code != 0 ? code : InternalFailure;
    }
    return 0;
}
