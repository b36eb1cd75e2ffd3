#include "TextRecords.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

namespace kz {

QByteArray EncodeTextRecord(const QString &fullText) {
    // Never more than the reader's buffer takes back: a longer record would end every later
    // reading there and lose the records behind it. The text is cut instead (whole surrogate
    // pairs only); the longest path fits.
    QString text = fullText.left(kTextRecordMaxChars);
    if (text.size() < fullText.size() && !text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);
    const std::uint32_t n = static_cast<std::uint32_t>((text.size() + 1) * 2);
    QByteArray out;
    out.reserve(6 + n);
    out.append('\xFF').append('\xFF');
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((n >> (8 * i)) & 0xFF));
    for (const QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    out.append('\0').append('\0');
    return out;
}

bool WriteTextRecord(QIODevice &out, const QString &text) {
    const QByteArray bytes = EncodeTextRecord(text);
    return out.write(bytes) == bytes.size();
}

QStringList ReadTextRecords(QIODevice &in) {
    QStringList texts;
    for (;;) {
        char head[6];
        if (in.read(head, 2) != 2)
            break;
        if (static_cast<unsigned char>(head[0]) != 0xFF && static_cast<unsigned char>(head[1]) != 0xFF)
            break;
        if (in.read(head + 2, 4) != 4)
            break;
        std::uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n |= std::uint32_t(static_cast<unsigned char>(head[2 + i])) << (8 * i);
        if (n > kTextRecordBufferBytes)
            break;
        const QByteArray body = in.read(n);
        if (body.size() != static_cast<qsizetype>(n))
            break;
        QString text;
        text.reserve(n / 2);
        for (std::uint32_t i = 0; i + 1 < n; i += 2) {
            const char16_t c = char16_t(static_cast<unsigned char>(body[i]) |
                                        (static_cast<unsigned char>(body[i + 1]) << 8));
            if (c == 0)
                break;
            text.append(QChar(c));
        }
        texts.append(text);
    }
    return texts;
}

QStringList ReadTextRecordsFromBytes(const QByteArray &bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadTextRecords(buffer);
}

std::optional<QStringList> ReadTextRecordFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ReadTextRecords(file);
}

bool WriteTextRecordFile(const QString &path, const QStringList &texts) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QString &text : texts) {
        if (!WriteTextRecord(file, text)) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}

} // namespace kz
