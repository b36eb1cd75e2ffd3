// What the player and the updater both ask of a package: its Ed25519 signature against the
// program directory's update.pub (keys and reference signatures from openssl's command-line
// tool), which program directory takes updates, and the scratch files left behind.

#include "update/PackageTrust.h"

#include "support/StorageTestUtil.h"
#include "support/TestSupport.h"
#include "support/UpdateKeys.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kz;
using namespace kz::test;

namespace {

struct Signed {
    QTemporaryDir keysDir, otherDir, program;
    UpdateKeys keys = MakeUpdateKeys(keysDir.path());
    UpdateKeys other = MakeUpdateKeys(otherDir.path());
    QString Dir() const { return program.path() + '/'; }
    QString Package() const { return Dir() + "duvez.zip"; }
};

QByteArray Flipped(QByteArray bytes, qsizetype at) {
    bytes[at] = char(bytes[at] ^ 0x01);
    return bytes;
}

} // namespace

TEST(PackageSignature, OnlyTheKeysOwnersSignatureOfTheseBytesIsTrusted) {
    Signed s;
    ASSERT_FALSE(s.keys.publicKey.isEmpty());
    ASSERT_FALSE(s.other.publicKey.isEmpty());
    const QByteArray package = PatternBytes(70000, 5);
    ASSERT_TRUE(WriteFile(s.Package(), package));
    const QByteArray good = OpensslSign(s.keys.privateKey, s.Package());
    const QByteArray foreign = OpensslSign(s.other.privateKey, s.Package());
    ASSERT_EQ(good.size(), kSignatureBytes);

    EXPECT_EQ(CheckPackage(s.Dir(), s.Package(), good), PackageCheck::NoKey);
    EXPECT_FALSE(HasUpdateKey(s.Dir()));
    ASSERT_TRUE(InstallKey(s.keys, s.Dir()));
    EXPECT_TRUE(HasUpdateKey(s.Dir()));

    struct Case {
        const char *what;
        QByteArray signature;
        PackageCheck expected;
    };
    const Case cases[] = {
        {"the owner's signature", good, PackageCheck::Trusted},
        {"another key's", foreign, PackageCheck::BadSignature},
        {"a bit changed in R", Flipped(good, 3), PackageCheck::BadSignature},
        {"a bit changed in S", Flipped(good, 40), PackageCheck::BadSignature},
        {"zeros", QByteArray(64, '\0'), PackageCheck::BadSignature},
        {"none", {}, PackageCheck::NoSignature},
        {"one byte short", good.left(63), PackageCheck::NoSignature},
        {"one byte more", good + 'x', PackageCheck::NoSignature},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CheckPackage(s.Dir(), s.Package(), c.signature), c.expected) << c.what;

    // The same signature over other bytes: one bit, one byte more, one byte less.
    ASSERT_TRUE(WriteFile(s.Package(), Flipped(package, 69999)));
    EXPECT_EQ(CheckPackage(s.Dir(), s.Package(), good), PackageCheck::BadSignature);
    ASSERT_TRUE(WriteFile(s.Package(), package + '\0'));
    EXPECT_EQ(CheckPackage(s.Dir(), s.Package(), good), PackageCheck::BadSignature);
    ASSERT_TRUE(WriteFile(s.Package(), package.chopped(1)));
    EXPECT_EQ(CheckPackage(s.Dir(), s.Package(), good), PackageCheck::BadSignature);

    // No package, a folder, a link to the right bytes: nothing to trust.
    EXPECT_EQ(CheckPackage(s.Dir(), s.Dir() + "missing", good), PackageCheck::Unreadable);
    EXPECT_EQ(CheckPackage(s.Dir(), s.Dir(), good), PackageCheck::Unreadable);
    ASSERT_TRUE(WriteFile(s.Dir() + "real", package));
    ASSERT_TRUE(QFile::link(s.Dir() + "real", s.Dir() + "link"));
    EXPECT_EQ(CheckPackage(s.Dir(), s.Dir() + "link", good), PackageCheck::Unreadable);
    EXPECT_EQ(CheckPackage(s.Dir(), s.Dir() + "real", good), PackageCheck::Trusted);
}

// update.pub must be an Ed25519 public key: anything else is no key at all.
TEST(PackageSignature, KeysThatAreNotAnEd25519PublicKey) {
    Signed s;
    ASSERT_TRUE(WriteFile(s.Package(), "package"));
    const QByteArray good = OpensslSign(s.keys.privateKey, s.Package());
    ASSERT_EQ(good.size(), kSignatureBytes);
    const QString pub = s.Dir() + "update.pub";
    const QByteArray pem = ReadFile(s.keys.publicKey);
    ASSERT_TRUE(RunProgram("openssl", {"genpkey", "-algorithm", "EC", "-pkeyopt",
                                       "ec_paramgen_curve:P-256", "-out", s.Dir() + "ec.key"})
                    .exitCode == 0);
    ASSERT_TRUE(RunProgram("openssl",
                           {"pkey", "-in", s.Dir() + "ec.key", "-pubout", "-out", s.Dir() + "ec"})
                    .exitCode == 0);
    const QByteArray cases[] = {
        ReadFile(s.keys.privateKey),           // the private key by mistake
        ReadFile(s.Dir() + "ec"),              // another algorithm
        pem.left(pem.size() / 2),              // cut
        QByteArray(),                          // empty
        QByteArray(kMaxKeyFileBytes + 1, 'A'), // too big to be a key
        "-----BEGIN PUBLIC KEY-----\n!!!!\n-----END PUBLIC KEY-----\n",
    };
    for (const QByteArray &text : cases) {
        ASSERT_TRUE(WriteFile(pub, text));
        EXPECT_FALSE(HasUpdateKey(s.Dir())) << text.left(40).constData();
        EXPECT_EQ(CheckPackage(s.Dir(), s.Package(), good), PackageCheck::NoKey);
    }
    // A key linked in from elsewhere counts (a packager may keep it under /etc).
    QFile::remove(pub);
    ASSERT_TRUE(QFile::link(s.keys.publicKey, pub));
    EXPECT_TRUE(HasUpdateKey(s.Dir()));
    EXPECT_EQ(CheckPackage(s.Dir(), s.Package(), good), PackageCheck::Trusted);
}

// Our signing gives what openssl verifies, and refuses keys it cannot use without a prompt.
TEST(PackageSignature, SigningAsOpensslVerifiesIt) {
    Signed s;
    const QByteArray package = PatternBytes(3000, 9);
    ASSERT_TRUE(WriteFile(s.Package(), package));
    QString error;
    ASSERT_TRUE(SignPackage(s.keys.privateKey, s.Package(), s.Package() + ".sig", &error))
        << error.toStdString();
    EXPECT_EQ(ReadSignature(s.Package() + ".sig").size(), kSignatureBytes);
    // Ed25519 signatures are deterministic: openssl makes the same bytes.
    EXPECT_EQ(ReadSignature(s.Package() + ".sig"), OpensslSign(s.keys.privateKey, s.Package()));
    const ProcResult verify =
        RunProgram("openssl", {"pkeyutl", "-verify", "-rawin", "-pubin", "-inkey", s.keys.publicKey,
                               "-in", s.Package(), "-sigfile", s.Package() + ".sig"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out.constData() << verify.err.constData();

    ASSERT_TRUE(RunProgram("openssl", {"genpkey", "-algorithm", "ed25519", "-aes256", "-pass",
                                       "pass:secret", "-out", s.Dir() + "locked.key"})
                    .exitCode == 0);
    const QString bad[] = {s.keys.publicKey, s.Dir() + "locked.key", s.Dir() + "missing.key",
                           s.Package()};
    for (const QString &key : bad) {
        QFile::remove(s.Dir() + "out.sig");
        error.clear();
        EXPECT_FALSE(SignPackage(key, s.Package(), s.Dir() + "out.sig", &error))
            << key.toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(QFile::exists(s.Dir() + "out.sig"));
    }
    EXPECT_FALSE(SignPackage(s.keys.privateKey, s.Dir() + "missing", s.Dir() + "out.sig", &error));
    EXPECT_FALSE(QFile::exists(s.Dir() + "out.sig"));
}

// The scratch names of the download (".duvez.zip.*", in the program directory) and of the
// installation (".vupdate-*", there and one folder below) go; nothing else, and nothing
// through a link.
TEST(UpdateScratch, LeftoversGoAndNothingElse) {
    QTemporaryDir program, outside;
    const QString dir = program.path() + '/';
    const QString away = outside.path() + '/';
    for (const char *name :
         {".vupdate-12-1", ".duvez.zip.Ab12Cd", "res/.vupdate-12-2", "inflash/.vupdate-9-9",
          "duvez.zip", "duvez.zip.sig", "duvez.zip.failed", "vupdate", "res/.duvez.zip.keep",
          "res/a.jpg", ".vupdatex", "res/deeper/.vupdate-1-1"})
        ASSERT_TRUE(WriteFile(dir + name, "x")) << name;
    ASSERT_TRUE(WriteFile(away + ".vupdate-5-5", "outside"));
    ASSERT_TRUE(QFile::link(outside.path(), dir + "linked"));
    ASSERT_TRUE(QFile::link(away + ".vupdate-5-5", dir + ".vupdate-7-7"));
    QDir().mkpath(dir + ".vupdate-folder");

    EXPECT_EQ(RemoveUpdateScratch(dir), 5);
    QStringList left;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        left << QDir(dir).relativeFilePath(it.next());
    left.sort();
    EXPECT_EQ(left, (QStringList{".vupdate-folder", ".vupdatex", "duvez.zip", "duvez.zip.failed",
                                 "duvez.zip.sig", "inflash", "linked", "res", "res/.duvez.zip.keep",
                                 "res/a.jpg", "res/deeper", "res/deeper/.vupdate-1-1", "vupdate"}))
        << left.join(' ').toStdString();
    EXPECT_EQ(ReadFile(away + ".vupdate-5-5"), "outside");
    EXPECT_EQ(RemoveUpdateScratch(dir + "missing/"), 0);
}

// A program directory takes updates when the running user owns it and may write it, and no
// package manager installed it.
TEST(UpdateScratch, ProgramDirectoryOfAnotherUserTakesNoUpdates) {
    QTemporaryDir program;
    const QString dir = program.path() + '/';
    EXPECT_TRUE(ProgramDirTakesUpdates(dir));
    ASSERT_TRUE(WriteFile(dir + kPackagedMarker, ""));
    EXPECT_FALSE(ProgramDirTakesUpdates(dir));
    QFile::remove(dir + kPackagedMarker);
    EXPECT_FALSE(ProgramDirTakesUpdates(dir + "missing/"));
    ASSERT_TRUE(WriteFile(dir + "file", ""));
    EXPECT_FALSE(ProgramDirTakesUpdates(dir + "file"));
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can give a folder to another user";
    // The superuser may write anywhere, so only the owner tells.
    ASSERT_EQ(::chown(QFile::encodeName(program.path()).constData(), 65534, 65534), 0);
    EXPECT_FALSE(ProgramDirTakesUpdates(dir));
    ASSERT_EQ(::chown(QFile::encodeName(program.path()).constData(), 0, 0), 0);
    EXPECT_TRUE(ProgramDirTakesUpdates(dir));
}
