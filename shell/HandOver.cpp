#include "HandOver.h"

#include <QtEndian>

namespace kz {

QByteArray FileNameBytes(const QString &file) {
    QByteArray out;
    out.reserve((file.size() + 1) * 2);
    for (QChar c : file) {
        const char16_t u = c.unicode();
        out.append(char(u & 0xFF));
        out.append(char(u >> 8));
    }
    out.append('\0');
    out.append('\0');
    return out;
}

std::optional<QString> FileNameFromBytes(const QByteArray &data) {
    if (data.size() % 2 != 0)
        return std::nullopt;
    QString out;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const char16_t u = char16_t(quint8(data[i]) | (quint8(data[i + 1]) << 8));
        if (u == 0)
            break;
        out.append(QChar(u));
    }
    return out;
}

QByteArray EncodeRecord(const HandOverRecord &record) {
    QByteArray out(8, '\0');
    qToLittleEndian<quint32>(record.dataWord, out.data());
    qToLittleEndian<quint32>(quint32(record.data.size()), out.data() + 4);
    return out + record.data;
}

void HandOverReader::Append(const QByteArray &bytes) {
    if (!m_failed)
        m_buffer.append(bytes);
}

std::optional<HandOverRecord> HandOverReader::Next() {
    if (m_failed || m_buffer.size() < 8)
        return std::nullopt;
    const quint32 count = qFromLittleEndian<quint32>(m_buffer.constData() + 4);
    if (count > kMaxHandOverBytes) {
        m_failed = true;
        m_buffer.clear();
        return std::nullopt;
    }
    const quint32 dataWord = qFromLittleEndian<quint32>(m_buffer.constData());
    // Only the two kinds of record the player knows; anything else ends the stream.
    if (dataWord != kHandOverFile && dataWord != kHandOverFtpClient) {
        m_failed = true;
        m_buffer.clear();
        return std::nullopt;
    }
    if (m_buffer.size() < qsizetype(8 + count))
        return std::nullopt;
    HandOverRecord r;
    r.dataWord = dataWord;
    r.data = m_buffer.mid(8, count);
    m_buffer.remove(0, 8 + count);
    return r;
}

} // namespace kz
