#include "formats/mp4/mp4_box.h"

#include <cstring>

QString fourccText(quint32 code) {
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = static_cast<unsigned char>(code >> shift);
        text +=
            byte >= 0x20 && byte < 0x7F ? QLatin1Char(static_cast<char>(byte)) : QLatin1Char('?');
    }
    return text;
}

quint64 ByteReader::take(int count) {
    if (m_failed || left() < static_cast<quint64>(count)) {
        m_failed = true;
        return 0;
    }
    quint64 value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | static_cast<unsigned char>(m_data[m_position + i]);
    }
    m_position += static_cast<quint64>(count);
    return value;
}

bool ByteReader::skip(quint64 count) {
    if (m_failed || left() < count) {
        m_failed = true;
        return false;
    }
    m_position += count;
    return true;
}

QByteArray ByteReader::bytes(quint64 count) {
    if (m_failed || left() < count) {
        m_failed = true;
        return {};
    }
    QByteArray taken(m_data + m_position, static_cast<qsizetype>(count));
    m_position += count;
    return taken;
}

std::optional<Box> readBoxHeader(const char* header, quint64 available, quint64 at, quint64 limit) {
    ByteReader reader(header, available);
    Box box;
    box.offset = at;
    const quint64 size = reader.u32();
    box.type = reader.u32();
    box.headerSize = 8;
    box.size = size;
    if (size == 1) {
        box.size = reader.u64();
        box.headerSize = 16;
    } else if (size == 0) {
        box.size = limit - at;  // to the end of the file or its parent
    }
    if (box.type == fourcc("uuid")) {
        reader.skip(16);
        box.headerSize += 16;
    }
    if (reader.failed() || at > limit || box.size < box.headerSize || box.size > limit - at) {
        return std::nullopt;
    }
    return box;
}

BoxList boxesIn(const QByteArray& bytes, quint64 from, quint64 to) {
    BoxList list;
    const quint64 limit = std::min<quint64>(to, static_cast<quint64>(bytes.size()));
    for (quint64 at = from; at < limit;) {
        const std::optional<Box> box = readBoxHeader(bytes.constData() + at, limit - at, at, limit);
        if (!box) {
            list.damage = QStringLiteral("a box at byte %1 runs past its parent").arg(at);
            break;
        }
        list.boxes.append(*box);
        at = box->end();
    }
    return list;
}

std::optional<Box> firstBox(const BoxList& list, quint32 type) {
    for (const Box& box : list.boxes) {
        if (box.type == type) {
            return box;
        }
    }
    return std::nullopt;
}

BoxWriter BoxWriter::measuring() {
    BoxWriter writer;
    writer.m_measuring = true;
    return writer;
}

void BoxWriter::begin(quint32 type) {
    m_open.append(size());
    u32(0);  // the size, filled in by end()
    u32(type);
}

void BoxWriter::beginFull(quint32 type, quint8 version, quint32 flags) {
    begin(type);
    u32((quint32(version) << 24) | (flags & 0xFFFFFF));
}

void BoxWriter::end() {
    const qsizetype start = m_open.takeLast();
    const quint64 boxSize = static_cast<quint64>(size() - start);
    if (m_measuring) {
        m_counted += boxSize <= 0xFFFFFFFFu ? 0 : 8;
        return;
    }
    if (boxSize <= 0xFFFFFFFFu) {
        for (int i = 0; i < 4; ++i) {
            m_data[start + i] = static_cast<char>(boxSize >> (24 - 8 * i));
        }
        return;
    }
    // A box over 4 GiB: size 1 and the 64-bit size after the type.
    QByteArray large(8, '\0');
    const quint64 grown = boxSize + 8;
    for (int i = 0; i < 8; ++i) {
        large[i] = static_cast<char>(grown >> (56 - 8 * i));
    }
    m_data.insert(start + 8, large);
    m_data[start] = m_data[start + 1] = m_data[start + 2] = 0;
    m_data[start + 3] = 1;
}

void BoxWriter::u8(quint8 value) {
    if (m_measuring) {
        ++m_counted;
    } else {
        m_data.append(static_cast<char>(value));
    }
}

void BoxWriter::u16(quint16 value) {
    u8(static_cast<quint8>(value >> 8));
    u8(static_cast<quint8>(value));
}

void BoxWriter::u32(quint32 value) {
    u16(static_cast<quint16>(value >> 16));
    u16(static_cast<quint16>(value));
}

void BoxWriter::u64(quint64 value) {
    u32(static_cast<quint32>(value >> 32));
    u32(static_cast<quint32>(value));
}

void BoxWriter::bytes(const QByteArray& data) {
    if (m_measuring) {
        m_counted += data.size();
    } else {
        m_data.append(data);
    }
}

void BoxWriter::reserve(qsizetype size) {
    if (!m_measuring) {
        m_data.reserve(size);
    }
}
