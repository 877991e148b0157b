#include "formats/mp4/mp4_movie.h"

#include <algorithm>

#include "fileio/file64.h"

namespace {

// The largest moov read: a four-hour recording's tables take a few MB.
constexpr quint64 kMaxMoov = 256 * 1024 * 1024;

QString boxNamed(quint32 type) {
    return QLatin1Char('\'') + fourccText(type) + QLatin1Char('\'');
}

// The full box's version, read from the payload's first byte (flags follow).
quint8 versionOf(ByteReader& reader) {
    const quint32 word = reader.u32();
    return static_cast<quint8>(word >> 24);
}

QByteArray payloadOf(const QByteArray& bytes, const Box& box) {
    return bytes.mid(static_cast<qsizetype>(box.payloadOffset()),
                     static_cast<qsizetype>(box.payloadSize()));
}

BoxList childrenOf(const QByteArray& bytes, const Box& box) {
    return boxesIn(bytes, box.payloadOffset(), box.end());
}

class TrackParser {
public:
    TrackParser(const QByteArray& moov, Mp4Track& track, QString& unsupported)
        : m_moov(moov), m_track(track), m_unsupported(unsupported) {}

    // False with `problem` set when the track is damaged.
    bool parse(const Box& trak, QString* problem) {
        const BoxList children = childrenOf(m_moov, trak);
        m_track.box = trak;
        const std::optional<Box> tkhd = firstBox(children, fourcc("tkhd"));
        const std::optional<Box> mdia = firstBox(children, fourcc("mdia"));
        if (!tkhd || !mdia || !children.damage.isEmpty()) {
            *problem = QStringLiteral("a track without its header or media");
            return false;
        }
        readTrackHeader(*tkhd);
        if (const std::optional<Box> edts = firstBox(children, fourcc("edts"))) {
            if (const std::optional<Box> elst =
                    firstBox(childrenOf(m_moov, *edts), fourcc("elst"))) {
                readEdits(*elst);
            }
        }
        const BoxList media = childrenOf(m_moov, *mdia);
        const std::optional<Box> mdhd = firstBox(media, fourcc("mdhd"));
        const std::optional<Box> hdlr = firstBox(media, fourcc("hdlr"));
        const std::optional<Box> minf = firstBox(media, fourcc("minf"));
        if (!mdhd || !hdlr || !minf) {
            *problem = QStringLiteral("a track without its media header, handler or information");
            return false;
        }
        readMediaHeader(*mdhd);
        ByteReader handler(payloadOf(m_moov, *hdlr));
        handler.skip(8);
        m_track.handler = handler.u32();
        const BoxList information = childrenOf(m_moov, *minf);
        checkDataReferences(information);
        const std::optional<Box> stbl = firstBox(information, fourcc("stbl"));
        if (!stbl) {
            *problem = QStringLiteral("a track without sample tables");
            return false;
        }
        return readSampleTables(*stbl, problem);
    }

private:
    void note(const QString& why) {
        if (m_unsupported.isEmpty()) {
            m_unsupported = why;
        }
    }

    void readTrackHeader(const Box& tkhd) {
        ByteReader reader(payloadOf(m_moov, tkhd));
        const quint8 version = versionOf(reader);
        reader.skip(version == 1 ? 16 : 8);
        m_track.id = reader.u32();
        reader.skip(4 + (version == 1 ? 8 : 4) + 8 + 8);
        m_track.matrix = reader.bytes(36);
    }

    void readEdits(const Box& elst) {
        ByteReader reader(payloadOf(m_moov, elst));
        const quint8 version = versionOf(reader);
        const quint32 count = reader.u32();
        for (quint32 i = 0; i < count && !reader.failed(); ++i) {
            Edit edit;
            edit.segmentDuration = version == 1 ? reader.u64() : reader.u32();
            edit.mediaTime = version == 1 ? reader.s64() : reader.s32();
            edit.rate = reader.u32();
            if (!reader.failed()) {
                m_track.edits.push_back(edit);
            }
        }
        m_track.hasEdits = !m_track.edits.empty();
    }

    void readMediaHeader(const Box& mdhd) {
        ByteReader reader(payloadOf(m_moov, mdhd));
        const quint8 version = versionOf(reader);
        reader.skip(version == 1 ? 16 : 8);
        m_track.timescale = reader.u32();
        m_track.mediaDuration = version == 1 ? reader.u64() : reader.u32();
        m_track.language = reader.bytes(2);
    }

    // Samples in another file cannot be copied from this one.
    void checkDataReferences(const BoxList& information) {
        const std::optional<Box> dinf = firstBox(information, fourcc("dinf"));
        const std::optional<Box> dref =
            dinf ? firstBox(childrenOf(m_moov, *dinf), fourcc("dref")) : std::nullopt;
        if (!dref) {
            return;
        }
        for (const Box& entry : boxesIn(m_moov, dref->payloadOffset() + 8, dref->end()).boxes) {
            ByteReader reader(payloadOf(m_moov, entry));
            if ((reader.u32() & 1) == 0) {
                note(QStringLiteral("its samples lie in another file ('dref')"));
            }
        }
    }

    bool readSampleTables(const Box& stbl, QString* problem) {
        const BoxList tables = childrenOf(m_moov, stbl);
        for (const Box& box : tables.boxes) {
            if (!readTable(box, problem)) {
                return false;
            }
        }
        return checkTables(problem);
    }

    bool readTable(const Box& box, QString* problem) {
        ByteReader reader(payloadOf(m_moov, box));
        SampleTables& t = m_track.tables;
        switch (box.type) {
            case fourcc("stsd"):
                return readDescription(box, reader);
            case fourcc("stts"):
                versionOf(reader);
                return readRuns(reader, false, &t.durations, box, problem);
            case fourcc("ctts"):
                t.signedOffsets = versionOf(reader) == 1;
                return readRuns(reader, t.signedOffsets, &t.offsets, box, problem);
            case fourcc("stss"):
                return readSyncSamples(reader, box, problem);
            case fourcc("stsz"):
            case fourcc("stz2"):
                return readSizes(reader, box, problem);
            case fourcc("stsc"):
                return readChunkRuns(reader, box, problem);
            case fourcc("stco"):
            case fourcc("co64"):
                return readChunkOffsets(reader, box.type == fourcc("co64"), box, problem);
            case fourcc("sdtp"):
                reader.skip(4);
                t.dependencies = reader.bytes(reader.left());
                return true;
            case fourcc("sgpd"):
                groupOf(groupType(box)).descriptions = m_moov.mid(
                    static_cast<qsizetype>(box.offset), static_cast<qsizetype>(box.size));
                return true;
            case fourcc("sbgp"):
                return readGroupRuns(reader, box, problem);
            case fourcc("cslg"):
            case fourcc("stps"):
            case fourcc("subs"):
                return true;  // hints a rebuilt table does without
            case fourcc("saiz"):
            case fourcc("saio"):
            case fourcc("senc"):
                note(QStringLiteral("its samples are encrypted (") + boxNamed(box.type) +
                     QLatin1Char(')'));
                return true;
            default:
                note(QStringLiteral("its sample tables hold ") + boxNamed(box.type));
                return true;
        }
    }

    quint32 groupType(const Box& box) const {
        ByteReader reader(payloadOf(m_moov, box));
        reader.skip(4);
        return reader.u32();
    }

    SampleGroup& groupOf(quint32 type) {
        for (SampleGroup& group : m_track.tables.groups) {
            if (group.type == type) {
                return group;
            }
        }
        m_track.tables.groups.push_back({type, false, 0, {}, {}});
        return m_track.tables.groups.back();
    }

    bool readDescription(const Box& stsd, ByteReader& reader) {
        versionOf(reader);
        const quint32 count = reader.u32();
        const BoxList entries = boxesIn(m_moov, stsd.payloadOffset() + 8, stsd.end());
        if (count != 1 || entries.boxes.size() != 1) {
            note(QStringLiteral("a track has several sample descriptions ('stsd')"));
            if (entries.boxes.isEmpty()) {
                return true;
            }
        }
        const Box& entry = entries.boxes.first();
        m_track.sampleEntry =
            m_moov.mid(static_cast<qsizetype>(entry.offset), static_cast<qsizetype>(entry.size));
        m_track.codec = entry.type;
        ByteReader fields(payloadOf(m_moov, entry));
        fields.skip(8);
        if (m_track.handler == fourcc("vide")) {
            fields.skip(16);
            m_track.width = fields.u16();
            m_track.height = fields.u16();
        } else if (m_track.handler == fourcc("soun")) {
            fields.skip(8);
            m_track.channels = fields.u16();
            fields.skip(6);
            m_track.sampleRate = fields.u32() >> 16;
        }
        return true;
    }

    bool damaged(const Box& box, QString* problem) {
        *problem = QStringLiteral("its sample table ") + boxNamed(box.type) +
                   QStringLiteral(" is damaged");
        return false;
    }

    // A count, then pairs of a sample count and a value.
    bool readRuns(ByteReader& reader, bool isSigned, std::vector<SampleRun>* runs, const Box& box,
                  QString* problem) {
        const quint32 count = reader.u32();
        if (static_cast<quint64>(count) * 8 > reader.left()) {
            return damaged(box, problem);
        }
        runs->reserve(count);
        for (quint32 i = 0; i < count; ++i) {
            const quint32 samples = reader.u32();
            const quint32 value = reader.u32();
            runs->push_back({samples, isSigned ? static_cast<qint64>(static_cast<qint32>(value))
                                               : static_cast<qint64>(value)});
        }
        return true;
    }

    bool readSyncSamples(ByteReader& reader, const Box& box, QString* problem) {
        versionOf(reader);
        const quint32 count = reader.u32();
        if (static_cast<quint64>(count) * 4 > reader.left()) {
            return damaged(box, problem);
        }
        SampleTables& t = m_track.tables;
        t.allSync = false;
        t.syncSamples.reserve(count);
        for (quint32 i = 0; i < count; ++i) {
            t.syncSamples.push_back(reader.u32());
        }
        return true;
    }

    bool readSizes(ByteReader& reader, const Box& box, QString* problem) {
        SampleTables& t = m_track.tables;
        versionOf(reader);
        int bits = 32;
        if (box.type == fourcc("stz2")) {
            bits = reader.u32() & 0xFF;
            if (bits != 4 && bits != 8 && bits != 16) {
                return damaged(box, problem);
            }
        } else {
            t.constantSize = reader.u32();
        }
        t.sampleCount = reader.u32();
        if (t.sampleCount > kMaxTrackSamples) {
            return damaged(box, problem);
        }
        if (t.constantSize != 0) {
            return true;
        }
        if (t.sampleCount * static_cast<quint64>(bits) > reader.left() * 8) {
            return damaged(box, problem);
        }
        t.sizes.reserve(static_cast<size_t>(t.sampleCount));
        for (quint64 i = 0; i < t.sampleCount; ++i) {
            if (bits == 32) {
                t.sizes.push_back(reader.u32());
            } else if (bits == 16) {
                t.sizes.push_back(reader.u16());
            } else if (bits == 8) {
                t.sizes.push_back(reader.u8());
            } else {
                // Two 4-bit sizes a byte, the first in the high half.
                t.sizes.push_back(i % 2 == 0 ? reader.u8() >> 4 : 0);
            }
        }
        if (bits == 4) {
            const QByteArray packed = payloadOf(m_moov, box).mid(12);
            for (quint64 i = 0; i < t.sampleCount; ++i) {
                const auto byte =
                    static_cast<unsigned char>(packed.at(static_cast<qsizetype>(i / 2)));
                t.sizes[static_cast<size_t>(i)] = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
            }
        }
        return true;
    }

    bool readChunkRuns(ByteReader& reader, const Box& box, QString* problem) {
        versionOf(reader);
        const quint32 count = reader.u32();
        if (static_cast<quint64>(count) * 12 > reader.left()) {
            return damaged(box, problem);
        }
        for (quint32 i = 0; i < count; ++i) {
            ChunkRun run;
            run.firstChunk = reader.u32();
            run.samplesPerChunk = reader.u32();
            run.descriptionIndex = reader.u32();
            m_track.tables.chunkRuns.push_back(run);
        }
        return true;
    }

    bool readChunkOffsets(ByteReader& reader, bool wide, const Box& box, QString* problem) {
        versionOf(reader);
        const quint32 count = reader.u32();
        if (static_cast<quint64>(count) * (wide ? 8 : 4) > reader.left()) {
            return damaged(box, problem);
        }
        auto& offsets = m_track.tables.chunkOffsets;
        offsets.reserve(count);
        for (quint32 i = 0; i < count; ++i) {
            offsets.push_back(wide ? reader.u64() : reader.u32());
        }
        return true;
    }

    bool readGroupRuns(ByteReader& reader, const Box& box, QString* problem) {
        const quint8 version = versionOf(reader);
        SampleGroup& group = groupOf(reader.u32());
        group.hasParameter = version == 1;
        group.parameter = version == 1 ? reader.u32() : 0;
        return readRuns(reader, false, &group.runs, box, problem);
    }

    static quint64 runTotal(const std::vector<SampleRun>& runs) {
        quint64 total = 0;
        for (const SampleRun& run : runs) {
            total += run.count;
        }
        return total;
    }

    // The tables agree on the number of samples and every sample lies in a chunk.
    bool checkTables(QString* problem) {
        SampleTables& t = m_track.tables;
        const auto fail = [problem](const char* table) {
            *problem =
                QStringLiteral("its sample tables disagree ('%1')").arg(QLatin1String(table));
            return false;
        };
        if (runTotal(t.durations) != t.sampleCount) {
            return fail("stts");
        }
        if (!t.offsets.empty() && runTotal(t.offsets) != t.sampleCount) {
            return fail("ctts");
        }
        if (!t.dependencies.isEmpty() &&
            static_cast<quint64>(t.dependencies.size()) != t.sampleCount) {
            t.dependencies.clear();  // a hint only; a table that does not fit goes
        }
        for (size_t i = 0; i < t.syncSamples.size(); ++i) {
            if (t.syncSamples[i] == 0 || t.syncSamples[i] > t.sampleCount ||
                (i > 0 && t.syncSamples[i] <= t.syncSamples[i - 1])) {
                return fail("stss");
            }
        }
        for (const SampleGroup& group : t.groups) {
            if (runTotal(group.runs) > t.sampleCount) {
                return fail("sbgp");
            }
        }
        return checkChunks() || fail("stsc");
    }

    bool checkChunks() {
        const SampleTables& t = m_track.tables;
        const quint64 chunks = t.chunkOffsets.size();
        quint64 samples = 0;
        for (size_t i = 0; i < t.chunkRuns.size(); ++i) {
            const ChunkRun& run = t.chunkRuns[i];
            const quint64 next =
                i + 1 < t.chunkRuns.size() ? t.chunkRuns[i + 1].firstChunk : chunks + 1;
            if (run.firstChunk == 0 || next <= run.firstChunk || next > chunks + 1 ||
                (i == 0 && run.firstChunk != 1) || run.samplesPerChunk == 0) {
                return false;
            }
            if (run.descriptionIndex != 1 && m_unsupported.isEmpty()) {
                note(QStringLiteral("a track has several sample descriptions ('stsc')"));
            }
            samples += (next - run.firstChunk) * run.samplesPerChunk;
        }
        return samples == t.sampleCount;
    }

    const QByteArray& m_moov;
    Mp4Track& m_track;
    QString& m_unsupported;
};

}  // namespace

namespace {
__extension__ typedef __int128 Wide;

qint64 bounded(Wide value) {
    return static_cast<qint64>(std::clamp<Wide>(value, -kMaxTicks, kMaxTicks));
}
}  // namespace

qint64 rescaleTicks(qint64 value, quint32 from, quint32 to) {
    if (from == 0) {
        return 0;
    }
    const Wide scaled = static_cast<Wide>(value) * to;
    const Wide half = (scaled >= 0 ? 1 : -1) * static_cast<Wide>(from / 2);
    return bounded((scaled + half) / from);
}

bool rescalesExactly(qint64 value, quint32 from, quint32 to) {
    return from != 0 && static_cast<Wide>(value) * to % from == 0;
}

qint64 addTicks(std::initializer_list<qint64> values) {
    Wide sum = 0;
    for (const qint64 value : values) {
        sum += value;
    }
    return bounded(sum);
}

std::optional<Mp4Movie> parseMovie(const QByteArray& ftyp, const QByteArray& moov,
                                   QString* problem) {
    Mp4Movie movie;
    movie.ftyp = ftyp;
    movie.moov = moov;
    const std::optional<Box> top = readBoxHeader(
        moov.constData(), static_cast<quint64>(moov.size()), 0, static_cast<quint64>(moov.size()));
    if (!top || top->type != fourcc("moov")) {
        *problem = QStringLiteral("it has no movie box ('moov')");
        return std::nullopt;
    }
    const BoxList children = childrenOf(moov, *top);
    const std::optional<Box> mvhd = firstBox(children, fourcc("mvhd"));
    if (!mvhd || !children.damage.isEmpty()) {
        *problem = QStringLiteral("its movie box is damaged ('mvhd')");
        return std::nullopt;
    }
    ByteReader header(payloadOf(moov, *mvhd));
    const quint8 version = versionOf(header);
    header.skip(version == 1 ? 16 : 8);
    movie.timescale = header.u32();
    movie.duration = version == 1 ? header.u64() : header.u32();
    for (const Box& box : children.boxes) {
        if (box.type == fourcc("mvex")) {
            movie.fragmented = true;
            movie.unsupported = QStringLiteral("it is fragmented ('mvex', 'moof')");
        }
        if (box.type != fourcc("trak")) {
            continue;
        }
        Mp4Track track;
        if (!TrackParser(moov, track, movie.unsupported).parse(box, problem)) {
            return std::nullopt;
        }
        movie.tracks.push_back(std::move(track));
    }
    if (movie.tracks.empty() || movie.timescale == 0) {
        *problem = QStringLiteral("it has no tracks");
        return std::nullopt;
    }
    return movie;
}

std::optional<Mp4Movie> readMovie(File64& files, int handle, quint64 length, QString* problem) {
    QByteArray ftyp;
    QByteArray moov;
    bool fragments = false;
    for (quint64 at = 0; at < length;) {
        char head[32] = {};
        const quint64 available = std::min<quint64>(sizeof head, length - at);
        if (!files.seekTo(handle, at) || files.GetBytes(handle, head, available) != available) {
            *problem = QStringLiteral("it cannot be read");
            return std::nullopt;
        }
        const std::optional<Box> box = readBoxHeader(head, available, at, length);
        if (!box) {
            *problem = QStringLiteral("a box at byte %1 runs past the end of the file").arg(at);
            return std::nullopt;
        }
        const bool wanted = box->type == fourcc("moov") || (box->type == fourcc("ftyp") && at == 0);
        if (wanted && box->size > kMaxMoov) {
            *problem = QStringLiteral("its movie box is too large");
            return std::nullopt;
        }
        if (wanted) {
            QByteArray& whole = box->type == fourcc("moov") ? moov : ftyp;
            whole.resize(static_cast<qsizetype>(box->size));
            if (!files.seekTo(handle, at) ||
                files.GetBytes(handle, whole.data(), box->size) != box->size) {
                *problem = QStringLiteral("it cannot be read");
                return std::nullopt;
            }
        }
        fragments = fragments || box->type == fourcc("moof");
        at = box->end();
    }
    if (moov.isEmpty()) {
        *problem = QStringLiteral("it has no movie box ('moov')");
        return std::nullopt;
    }
    std::optional<Mp4Movie> movie = parseMovie(ftyp, moov, problem);
    if (movie && fragments) {
        movie->fragmented = true;
        movie->unsupported = QStringLiteral("it is fragmented ('moof')");
    }
    return movie;
}

SampleWalker::SampleWalker(const SampleTables& tables) : m_tables(tables) {
    m_durationLeft = tables.durations.empty() ? 0 : tables.durations.front().count;
    m_offsetLeft = tables.offsets.empty() ? 0 : tables.offsets.front().count;
    m_offset = tables.chunkOffsets.empty() ? 0 : tables.chunkOffsets.front();
    skipEmptyRuns();
}

// Runs of no samples stand for nothing.
void SampleWalker::skipEmptyRuns() {
    while (m_durationLeft == 0 && m_durationRun + 1 < m_tables.durations.size()) {
        m_durationLeft = m_tables.durations[++m_durationRun].count;
    }
    while (m_offsetLeft == 0 && m_offsetRun + 1 < m_tables.offsets.size()) {
        m_offsetLeft = m_tables.offsets[++m_offsetRun].count;
    }
}

Mp4Sample SampleWalker::current() const {
    Mp4Sample sample;
    sample.offset = m_offset;
    sample.size = m_tables.sizeOf(m_sample);
    sample.duration = static_cast<quint32>(m_tables.durations[m_durationRun].value);
    sample.compositionOffset = m_tables.offsets.empty() ? 0 : m_tables.offsets[m_offsetRun].value;
    sample.sync = m_tables.allSync || (m_syncAt < m_tables.syncSamples.size() &&
                                       m_tables.syncSamples[m_syncAt] == m_sample + 1);
    sample.chunk = m_chunk;
    sample.firstInChunk = m_inChunk == 0;
    return sample;
}

void SampleWalker::advance() {
    const quint32 size = m_tables.sizeOf(m_sample);
    if (m_syncAt < m_tables.syncSamples.size() && m_tables.syncSamples[m_syncAt] == m_sample + 1) {
        ++m_syncAt;
    }
    ++m_sample;
    --m_durationLeft;
    if (!m_tables.offsets.empty()) {
        --m_offsetLeft;
    }
    skipEmptyRuns();
    // The next sample follows in this chunk, or starts the next one.
    if (++m_inChunk < m_tables.chunkRuns[m_chunkRun].samplesPerChunk) {
        m_offset += size;
        return;
    }
    m_inChunk = 0;
    ++m_chunk;
    if (m_chunkRun + 1 < m_tables.chunkRuns.size() &&
        m_chunk + 1 >= m_tables.chunkRuns[m_chunkRun + 1].firstChunk) {
        ++m_chunkRun;
    }
    m_offset = m_chunk < m_tables.chunkOffsets.size() ? m_tables.chunkOffsets[m_chunk] : 0;
}
