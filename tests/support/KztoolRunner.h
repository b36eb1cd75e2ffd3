#pragma once
// Runs the built kztool and collects what it printed.

#include <QByteArray>
#include <QStringList>

namespace kz::test {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QStringList Lines() const;
};

ToolRun RunKztool(const QStringList &args);

} // namespace kz::test
