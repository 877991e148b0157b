// The sequence-header search and reading, checked against a plain search of the bytes.
#include <QCoreApplication>

#include <algorithm>

#include "core/job_host.h"
#include "fileio/file64.h"
#include "formats/mpeg2/mpeg_header.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("mpeg", data, size);
    SilentHost host;
    File64 files(&host);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype expected = bytes.indexOf(QByteArray("\x00\x00\x01\xB3", 4));

    const int handle = files.OpenFile(path, File64::OpenMode::ReadOnly).handle;
    FUZZ_CHECK(handle != -1);
    const std::optional<quint64> found = findSequenceHeader(files, handle, size);
    files.CloseFile(handle);
    FUZZ_CHECK(found.has_value() == (expected >= 0));
    FUZZ_CHECK(!found || *found == static_cast<quint64>(expected));

    quint64 offset = 0;
    const std::optional<SequenceHeader> header = readSequenceHeader(files, path, &offset);
    if (header) {
        FUZZ_CHECK(offset == static_cast<quint64>(expected));
        FUZZ_CHECK(static_cast<qsizetype>(offset) + 8 <= bytes.size());
        FUZZ_CHECK(header->isValid());
        FUZZ_CHECK(header->key() ==
                   SequenceHeader::decode(bytes.mid(static_cast<qsizetype>(offset) + 4, 4)).key());
    }
    const MpegHeaderRead read = readMpegHeader(path, files);
    const std::optional<QByteArray>& emh = read.bytes;
    FUZZ_CHECK(emh.has_value() == (expected >= 0));
    FUZZ_CHECK((read.finding.kind == FormatFinding::Kind::HeaderNotFound) == (expected < 0));
    if (emh) {
        const qsizetype length =
            std::min<qsizetype>(expected + static_cast<qsizetype>(kMpegHeaderTail), bytes.size());
        FUZZ_CHECK(*emh == bytes.left(length));
    }
    FUZZ_CHECK(files.openFileTable().isEmpty());
    return 0;
}
