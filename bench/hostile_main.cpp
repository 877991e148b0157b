// Writes the hostile MPEG-4 files bench_hostile.sh times: tables that claim 2^26 and
// 2^27 one-byte samples over 4 KB, a day at 60 frames a second with its sound, and
// HEVC key frames made of parameter-set units only (600 of 6 MB, and 2 million of 60).
// Usage: zarvo-bench-hostile FOLDER
#include <QFile>

#include <cstdio>

#include "support/mp4_builder.h"

namespace {

bool save(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zarvo-bench-hostile FOLDER\n");
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]) + QLatin1Char('/');
    const bool written =
        save(folder + QStringLiteral("claim26.mp4"), claimedOneByteSamples(quint64{1} << 26)) &&
        save(folder + QStringLiteral("claim27.mp4"), claimedOneByteSamples(quint64{1} << 27)) &&
        save(folder + QStringLiteral("day.mp4"), dayAtSixtyFrames()) &&
        save(folder + QStringLiteral("units.mp4"),
             mp4File({hevcKeyFrames(600, 6 << 20)}, hevcParameterSetUnits(6 << 20))) &&
        save(folder + QStringLiteral("look.mp4"),
             mp4File({hevcKeyFrames(2'000'000, 60)}, hevcParameterSetUnits(60)));
    return written ? 0 : 1;
}
