#include "zip/cgzipfiles.h"

#include <zip.h>

#include <cerrno>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "core/job_host.h"
#include "core/progress_feedback.h"
#include "core/text_helpers.h"
#include "fileio/file64.h"
#include "platform/native_path.h"

namespace {

// One entry of the archive: a file on disk and its name inside.
struct Entry {
    QString path;
    QString name;
    quint64 size = 0;
};

// Counts every byte libzip reads, so that progress is the share of the input done.
struct ProgressState {
    File64* files = nullptr;
    JobHost* host = nullptr;
    const CancelRequest* cancel = nullptr;
    ProgressFeedback feedback;
    quint64 done = 0;
    quint64 total = 0;
};

struct SourceState {
    Entry entry;
    ProgressState* progress = nullptr;
    int handle = -1;
    zip_error_t error{};
    time_t mtime = 0;
};

zip_int64_t readSource(SourceState& state, void* data, zip_uint64_t length) {
    if (state.progress->cancel != nullptr && state.progress->cancel->requested()) {
        zip_error_set(&state.error, ZIP_ER_CANCELLED, 0);
        return -1;
    }
    int error = 0;
    const quint64 got =
        state.progress->files->GetBytes(state.handle, static_cast<char*>(data), length, &error);
    if (error != 0) {
        zip_error_set(&state.error, ZIP_ER_READ, error);
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
        case ZIP_SOURCE_OPEN: {
            const File64::OpenResult opened =
                state.progress->files->OpenFile(state.entry.path, File64::OpenMode::Existing);
            state.handle = opened.handle;
            if (!opened.ok()) {
                zip_error_set(&state.error, ZIP_ER_OPEN, opened.error);
                return -1;
            }
            return 0;
        }
        case ZIP_SOURCE_READ:
            return readSource(state, data, length);
        case ZIP_SOURCE_CLOSE:
            state.progress->files->CloseFile(state.handle);
            state.handle = -1;
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
            state.progress->files->CloseFile(state.handle);
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

// The entries behind the added names: regular files only.
bool collectEntries(const QStringList& names, QList<Entry>* entries, QString* problem) {
    for (const QString& name : names) {
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

// Reports a failure of the archive (and drops what libzip built of it).
ZipResult discardArchive(zip_t* archive, const QString& name) {
    ZipResult result{JobOutcome::Failed, archiveProblem(name, zip_get_error(archive))};
    zip_discard(archive);
    return result;
}

}  // namespace

CGZipFiles::CGZipFiles(File64& files, JobHost* host, const CancelRequest* cancel)
    : m_files(files), m_host(host), m_cancel(cancel) {}

bool CGZipFiles::AddFile(const QString& sFileName) {
    for (const QString& name : m_names) {
        if (name.compare(sFileName, Qt::CaseInsensitive) == 0) {
            return false;
        }
    }
    m_names.append(sFileName);
    return true;
}

ZipResult CGZipFiles::MakeZipFile() {
    QList<Entry> entries;
    QString problem;
    if (!collectEntries(m_names, &entries, &problem)) {
        return {JobOutcome::Failed, problem};
    }
    ProgressState progress;
    progress.files = &m_files;
    progress.host = m_host;
    progress.cancel = m_cancel;
    for (const Entry& entry : entries) {
        progress.total += entry.size;
    }
    progress.feedback.start();

    int errorCode = 0;
    const int flags = ZIP_CREATE | (m_updatingZip ? 0 : ZIP_TRUNCATE);
    zip_t* archive = zip_open(nativePath(m_zipFileName).constData(), flags, &errorCode);
    if (archive == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, errorCode);
        ZipResult result{JobOutcome::Failed, archiveProblem(m_zipFileName, &error)};
        zip_error_fini(&error);
        return result;
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
            return discardArchive(archive, m_zipFileName);
        }
    }
    if (zip_close(archive) != 0) {
        if (m_cancel != nullptr && m_cancel->requested()) {
            zip_discard(archive);
            return {JobOutcome::Cancelled, QString()};
        }
        return discardArchive(archive, m_zipFileName);
    }
    return {};
}
