#include "UpdateKeys.h"

#include "StorageTestUtil.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

namespace kz::test {

UpdateKeys MakeUpdateKeys(const QString &folder) {
    const QString key = QDir(folder).filePath("update.key");
    const QString pub = QDir(folder).filePath("update.pub");
    if (RunProgram("openssl", {"genpkey", "-algorithm", "ed25519", "-out", key}).exitCode != 0 ||
        RunProgram("openssl", {"pkey", "-in", key, "-pubout", "-out", pub}).exitCode != 0)
        return {};
    return {key, pub};
}

QByteArray OpensslSign(const QString &privateKey, const QString &file) {
    const QString out = file + ".openssl-sig";
    const ProcResult r = RunProgram(
        "openssl", {"pkeyutl", "-sign", "-rawin", "-inkey", privateKey, "-in", file, "-out", out});
    const QByteArray signature = ReadFile(out);
    QFile::remove(out);
    return r.exitCode == 0 && signature.size() == 64 ? signature : QByteArray();
}

bool InstallKey(const UpdateKeys &keys, const QString &programDir) {
    const QString to = QDir(programDir).filePath("update.pub");
    QFile::remove(to);
    return !keys.publicKey.isEmpty() && QFile::copy(keys.publicKey, to);
}

bool SignBeside(const UpdateKeys &keys, const QString &package) {
    const QByteArray signature = OpensslSign(keys.privateKey, package);
    return !signature.isEmpty() && WriteFile(package + ".sig", signature);
}

} // namespace kz::test
