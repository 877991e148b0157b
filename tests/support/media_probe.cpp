#include "support/media_probe.h"

#include <QProcess>

#include "support/test_files.h"

namespace {

QByteArray run(const QString& program, const QStringList& arguments, bool errors = false) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(300000);
    return errors ? process.readAllStandardError() : process.readAllStandardOutput();
}

}  // namespace

QString probe(const QString& file, const QStringList& what) {
    return QString::fromUtf8(run(QStringLiteral("ffprobe"),
                                 QStringList{QStringLiteral("-v"), QStringLiteral("error")} + what +
                                     QStringList{file}))
        .trimmed();
}

QMap<QString, QString> probeFields(const QString& file, const QString& entries,
                                   const QStringList& what) {
    QMap<QString, QString> fields;
    const QString printed =
        probe(file, what + QStringList{QStringLiteral("-show_entries"), entries,
                                       QStringLiteral("-of"), QStringLiteral("default=nw=1")});
    for (const QString& line : printed.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char('='), 0, 0);
        if (!fields.contains(name)) {
            fields.insert(name, line.section(QLatin1Char('='), 1));
        }
    }
    return fields;
}

double probedDuration(const QString& file, const QString& stream) {
    const QStringList select =
        stream.isEmpty()
            ? QStringList{QStringLiteral("-show_entries"), QStringLiteral("format=duration")}
            : QStringList{QStringLiteral("-select_streams"), stream,
                          QStringLiteral("-show_entries"), QStringLiteral("stream=duration")};
    // The first line's first field: a stream with side data prints more after it.
    return probe(file, select + QStringList{QStringLiteral("-of"), QStringLiteral("csv=p=0")})
        .section(QLatin1Char('\n'), 0, 0)
        .section(QLatin1Char(','), 0, 0)
        .toDouble();
}

double streamEnd(const QString& file, const QString& stream) {
    const QStringList packets =
        probe(file, {QStringLiteral("-select_streams"), stream, QStringLiteral("-show_entries"),
                     QStringLiteral("packet=pts_time,duration_time"), QStringLiteral("-of"),
                     QStringLiteral("csv=p=0")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    double end = 0;
    for (const QString& packet : packets) {
        end = std::max(end, packet.section(QLatin1Char(','), 0, 0).toDouble() +
                                packet.section(QLatin1Char(','), 1, 1).toDouble());
    }
    return end;
}

QString decodeErrors(const QString& file) {
    return QString::fromUtf8(
               run(QStringLiteral("ffmpeg"),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
                    QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                   true))
        .trimmed();
}

QByteArray pictureAt(const QString& file, double seconds) {
    return run(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-ss"),
         QString::number(seconds, 'f', 3), QStringLiteral("-i"), file, QStringLiteral("-frames:v"),
         QStringLiteral("1"), QStringLiteral("-f"), QStringLiteral("md5"), QStringLiteral("-")});
}

QList<QByteArray> decodedFrames(const QString& file) {
    QList<QByteArray> frames;
    const QByteArray printed =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
             QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-f"),
             QStringLiteral("framemd5"), QStringLiteral("-")});
    for (const QByteArray& line : printed.split('\n')) {
        if (!line.startsWith('#') && line.contains(',')) {
            frames.append(line.mid(line.lastIndexOf(',') + 1).trimmed());
        }
    }
    return frames;
}

bool ffmpeg(const QString& arguments) {
    return runShell(QStringLiteral("ffmpeg -loglevel fatal -nostdin -y ") + arguments);
}
