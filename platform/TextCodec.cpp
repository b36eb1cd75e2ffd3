#include "TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace kz {

QByteArray ToGbk(const QString &text) {
    QStringEncoder encoder("GBK");
    if (!encoder.isValid())
        return text.toLocal8Bit();
    return encoder.encode(text);
}

QString FromGbk(const QByteArray &bytes) {
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLocal8Bit(bytes);
    return decoder.decode(bytes);
}

} // namespace kz
