#include "KztoolRunner.h"

#include "StorageTestUtil.h"
#include "TestSupport.h"

namespace kz::test {

QStringList ToolRun::Lines() const {
    return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
}

ToolRun RunKztool(const QStringList &args) {
    const ProcResult p = RunProgram(BinDir() + QStringLiteral("/kztool"), args);
    return {p.exitCode, p.out, p.err};
}

} // namespace kz::test
