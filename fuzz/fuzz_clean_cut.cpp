// The clean-cut finder: every cut lies ahead of where it was asked from, and the pieces
// a plan makes of them cover the source without a gap or an overlap.
#include "core/job_host.h"
#include "fileio/file64.h"
#include "formats/mpeg2/clean_cut.h"
#include "fuzz_support.h"
#include "rules/split_rule.h"
#include "unpack/split_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = scratchFile("cut", data, size);
    SilentHost host;
    File64 files(&host);
    const int handle = files.OpenFile(path, File64::OpenMode::ReadOnly).handle;
    FUZZ_CHECK(handle != -1);
    const quint64 length = size;
    if (std::optional<CleanCutFinder> finder = CleanCutFinder::open(files, handle, length)) {
        for (quint64 from = 0; from < length; from += 1 + length / 7) {
            if (const std::optional<CleanCut> cut = finder->next(from)) {
                FUZZ_CHECK(cut->offset >= from && cut->offset < length);
            }
        }
        SplitRule rule;
        rule.SplitMode = SplitKind::Pieces;
        rule.SplitCount = 2 + (size > 0 ? data[0] % 5 : 0);
        if (std::optional<PiecePlan> plan = planPieces(rule, length); plan && length > 0) {
            const std::vector<PieceSpan> spans =
                cleanSpans(*plan, length, [&finder](quint64 from) { return finder->next(from); });
            FUZZ_CHECK(!spans.empty() && spans.front().start == 0);
            for (size_t i = 1; i < spans.size(); ++i) {
                FUZZ_CHECK(spans[i].start == spans[i - 1].start + spans[i - 1].bytes);
                FUZZ_CHECK(spans[i].bytes > 0);
            }
            FUZZ_CHECK(spans.back().start + spans.back().bytes == length);
        }
    }
    files.CloseFile(handle);
    FUZZ_CHECK(files.openFileTable().isEmpty());
    return 0;
}
