#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "core/job_outcome.h"
#include "fileio/trash.h"
#include "formats/mpeg_compatibility.h"
#include "rules/transfer_rate.h"
#include "settings/option_types.h"

class File64;
class JobHost;

struct PackOptions {
    bool mpegCheck = true;
    OverwritePolicy overwrite = OverwritePolicy::Prompt;
    bool zip = false;
    DeleteAction deleteSources = DeleteAction::No;
    TransferRate rate;
    bool checksum = false;  // write OUTPUT.sha256 in the same pass
    bool seamless = false;  // MPEG streams of one kind become one continuous stream
    // An existing file the user already agreed to replace (in the save dialog).
    QString confirmedOutput;
};

// The pack job around the join engine: refusals, MPEG compatibility, free space,
// overwrite protection, the zip step, sending sources to the trash, and the result.
class PackCommand {
public:
    PackCommand(File64& files, JobHost& host);

    JobOutcome run(const QStringList& inputs, const QString& output, const PackOptions& options);
    // The refusals that come before any work: false, with the message shown.
    bool hasEnoughInputs(const QStringList& inputs);

    // The cancel button: asks the running copy to stop after its chunk, or the zip step
    // after its block. True when it acted.
    bool cancel();
    bool zipping() const { return m_zipping; }

    // Set by a successful pack; the caller clears it when the user picks a new name.
    // The overwrite policy applies only while the output names the file that was saved.
    bool PreviouslySaved = false;

    quint64 totalSize() const { return m_totalSize; }
    quint64 freeBytes() const { return m_freeBytes; }
    const MpegCompatibility& mpegState() const { return m_mpeg; }

    // Told when the job is done, before the sources go and the result is shown.
    std::function<void()> onJobDone;
    // Told when the zip step starts (with the output path) and ends (empty text).
    std::function<void(const QString&)> onZipStatus;

private:
    bool passesMpegCheck(const QString& path);
    // Asks whether to go on in spite of a file that is not valid or does not match.
    bool userIgnores(const FormatFinding& finding);
    bool passesOverwriteRule(const QString& output, const PackOptions& options);
    JobOutcome zipStep(const QStringList& inputs, const QString& output, ReplacedFiles& replaced,
                       QStringList* results);

    File64& m_files;
    JobHost& m_host;
    CancelRequest m_cancel;
    bool m_zipping = false;
    MpegCompatibility m_mpeg;
    QString m_savedOutput;
    quint64 m_totalSize = 0;
    quint64 m_freeBytes = 0;
};
