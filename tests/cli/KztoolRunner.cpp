#include "KztoolRunner.h"

#include "support/TestSupport.h"

#include <QProcess>

namespace kz::test {

QStringList ToolRun::Lines() const {
    return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
}

ToolRun RunKztool(const QStringList &args) {
    QProcess p;
    p.start(BinDir() + QStringLiteral("/kztool"), args);
    ToolRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace kz::test
