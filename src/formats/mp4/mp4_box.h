#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

// Boxes of the ISO base media file format (MP4, MOV, M4V, M4A, 3GP): read from bytes a
// caller holds, never past them, and written with their sizes filled in when they
// close. A size field is a claim to check, not a fact.

constexpr quint32 fourcc(const char (&text)[5]) {
    return (quint32(static_cast<unsigned char>(text[0])) << 24) |
           (quint32(static_cast<unsigned char>(text[1])) << 16) |
           (quint32(static_cast<unsigned char>(text[2])) << 8) |
           quint32(static_cast<unsigned char>(text[3]));
}
// "moov"; a code with bytes that are not printable shows them as "?".
QString fourccText(quint32 code);

// Big-endian numbers read in order from a span of bytes. A read past the end gives 0
// and marks the reader failed; so does every read after it.
class ByteReader {
public:
    ByteReader(const char* data, quint64 size) : m_data(data), m_size(size) {}
    // Keeps (a shared copy of) the bytes, so that a temporary may be read.
    explicit ByteReader(const QByteArray& bytes)
        : m_kept(bytes), m_data(m_kept.constData()), m_size(static_cast<quint64>(m_kept.size())) {}

    quint8 u8() { return static_cast<quint8>(take(1)); }
    quint16 u16() { return static_cast<quint16>(take(2)); }
    quint32 u24() { return static_cast<quint32>(take(3)); }
    quint32 u32() { return static_cast<quint32>(take(4)); }
    quint64 u64() { return take(8); }
    qint32 s32() { return static_cast<qint32>(u32()); }
    qint64 s64() { return static_cast<qint64>(u64()); }
    // Skips `count` bytes; false (and failed) when they are not there.
    bool skip(quint64 count);
    QByteArray bytes(quint64 count);

    quint64 position() const { return m_position; }
    quint64 left() const { return m_size - m_position; }
    bool failed() const { return m_failed; }

private:
    quint64 take(int count);

    QByteArray m_kept;
    const char* m_data;
    quint64 m_size;
    quint64 m_position = 0;
    bool m_failed = false;
};

// One box: where its header starts and how long it is, from the start of the bytes
// (or the file) it was found in.
struct Box {
    quint32 type = 0;
    quint64 offset = 0;
    quint64 headerSize = 0;  // 8, 16 with a 64-bit size; 16 more for 'uuid'
    quint64 size = 0;        // the whole box; size 0 means "to the end" and is resolved
    quint64 payloadOffset() const { return offset + headerSize; }
    quint64 payloadSize() const { return size - headerSize; }
    quint64 end() const { return offset + size; }
};

// The header of the box at `at` in a region that ends at `limit`, from the header's
// bytes (at least 16 given, fewer near the end). Nothing when the header is cut off or
// the box claims more than the region holds.
std::optional<Box> readBoxHeader(const char* header, quint64 available, quint64 at, quint64 limit);

// The boxes one after another in a payload held in memory.
struct BoxList {
    QList<Box> boxes;
    // Set when bytes were left that are no whole box: "BOX at N runs past its parent".
    QString damage;
};
BoxList boxesIn(const QByteArray& bytes, quint64 from = 0, quint64 to = ~quint64(0));

// The payload of the first box of `type` in `list`, or nothing.
std::optional<Box> firstBox(const BoxList& list, quint32 type);

// Writes boxes into one buffer: begin() a box, write its payload, end() it; the size is
// filled in at the end, with a 64-bit size where it needs one. A measuring writer keeps
// nothing and only counts, so a long movie's index is sized before it is made.
class BoxWriter {
public:
    BoxWriter() = default;
    // Starts after `start` (bytes that precede the first box).
    explicit BoxWriter(QByteArray start) : m_data(std::move(start)) {}
    static BoxWriter measuring();

    void begin(quint32 type);
    // A full box: version and flags after the header.
    void beginFull(quint32 type, quint8 version, quint32 flags);
    void end();

    void u8(quint8 value);
    void u16(quint16 value);
    void u32(quint32 value);
    void u64(quint64 value);
    void bytes(const QByteArray& data);
    void reserve(qsizetype size);

    const QByteArray& data() const { return m_data; }
    qsizetype size() const { return m_measuring ? m_counted : m_data.size(); }

private:
    QByteArray m_data;
    bool m_measuring = false;
    qsizetype m_counted = 0;
    QList<qsizetype> m_open;  // where each open box's header starts
};
