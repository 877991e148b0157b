// The checksum-line parser: what it reads, written again as sha256sum writes it, reads
// back the same; the comment lines a split writes are read only in their own form.
#include "fileio/sha256.h"
#include "fuzz_support.h"

#include "platform/native_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray line(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const std::optional<ChecksumEntry> entry = parseChecksumLine(line)) {
        FUZZ_CHECK(entry->hexDigest.size() == 64);
        FUZZ_CHECK(entry->hexDigest == entry->hexDigest.toLower());
        FUZZ_CHECK(!entry->name.isEmpty());
        const QByteArray written = checksumLine(entry->hexDigest, fromNativePath(entry->name));
        FUZZ_CHECK(written.endsWith('\n') && written.count('\n') == 1);
        const std::optional<ChecksumEntry> again = parseChecksumLine(written.chopped(1));
        FUZZ_CHECK(again && again->hexDigest == entry->hexDigest && again->name == entry->name);
        const std::optional<ChecksumEntry> source =
            sourceOf(sourceComment(entry->hexDigest, fromNativePath(entry->name)).chopped(1));
        FUZZ_CHECK(source && source->name == entry->name);
    }
    if (const std::optional<ChecksumEntry> source = sourceOf(line)) {
        FUZZ_CHECK(line.startsWith("# source: ") && source->hexDigest.size() == 64);
    }
    if (headerBytesOf(line)) {
        FUZZ_CHECK(line.startsWith("# the next piece starts with "));
    }
    return 0;
}
