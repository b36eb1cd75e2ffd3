#pragma once
// Narrow text in the system code page, which is GBK (the Chinese system's).

#include <QByteArray>
#include <QString>

namespace kz {

QByteArray ToGbk(const QString &text);
QString FromGbk(const QByteArray &bytes);

} // namespace kz
