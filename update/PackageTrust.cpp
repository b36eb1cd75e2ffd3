#include "update/PackageTrust.h"

#include <QFile>
#include <QSaveFile>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX *c) const { EVP_MD_CTX_free(c); }
};
struct BioFree {
    void operator()(BIO *b) const { BIO_free(b); }
};
struct DirClose {
    void operator()(DIR *d) const { ::closedir(d); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

QString Slashed(const QString &folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// A whole plain file of at most maxBytes, through a link only when told. False when it cannot be
// had.
bool ReadBounded(const QString &path, std::int64_t maxBytes, QByteArray *out,
                 bool followLink = false) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes;
    if (ok) {
        out->resize(qsizetype(st.st_size));
        std::int64_t done = 0;
        while (ok && done < st.st_size) {
            const ssize_t n = ::pread(fd, out->data() + done, size_t(st.st_size - done), done);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0; // a file that shrank meanwhile is not the file that was looked at
            done += n > 0 ? n : 0;
        }
    }
    ::close(fd);
    if (!ok)
        out->clear();
    return ok;
}

// The program directory's public key, when it is an Ed25519 one.
Pkey LoadUpdateKey(const QString &programDir) {
    QByteArray pem;
    if (!ReadBounded(Slashed(programDir) + QLatin1String(kUpdateKeyName), kMaxKeyFileBytes, &pem,
                     true))
        return nullptr;
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    Pkey key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    ERR_clear_error();
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return nullptr;
    return key;
}

// Never asks a terminal for a pass phrase: an encrypted key simply fails.
int NoPassPhrase(char *, int, int, void *) {
    return -1;
}

bool IsScratchName(const char *name, bool inProgramDir) {
    const QByteArray n(name);
    return n.startsWith(".vupdate-") || (inProgramDir && n.startsWith(".duvez.zip."));
}

// Unlinks the scratch files in a folder; in the program directory also those one folder below
// (no links followed).
int RemoveScratchIn(int dirFd, bool inProgramDir) {
    const int scanFd = ::dup(dirFd);
    if (scanFd < 0)
        return 0;
    std::unique_ptr<DIR, DirClose> dir(::fdopendir(scanFd));
    if (!dir) {
        ::close(scanFd);
        return 0;
    }
    int removed = 0;
    while (const dirent *entry = ::readdir(dir.get())) {
        const char *name = entry->d_name;
        if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
            continue;
        if (IsScratchName(name, inProgramDir)) {
            removed += ::unlinkat(dirFd, name, 0) == 0;
            continue;
        }
        if (!inProgramDir)
            continue;
        const int sub = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0)
            continue;
        removed += RemoveScratchIn(sub, false);
        ::close(sub);
    }
    return removed;
}

} // namespace

bool ProgramDirTakesUpdates(const QString &programDir) {
    const QByteArray dir = QFile::encodeName(programDir);
    if (dir.isEmpty() || ::access(dir.constData(), W_OK) != 0)
        return false;
    // The superuser may write anywhere; a folder nobody may write is read-only all the same, and
    // files written into another user's folder would not be theirs.
    struct stat folder {};
    if (::stat(dir.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode) ||
        (folder.st_mode & 0222) == 0 || folder.st_uid != ::geteuid())
        return false;
    struct stat st {};
    return ::lstat(
               QFile::encodeName(Slashed(programDir) + QLatin1String(kPackagedMarker)).constData(),
               &st) != 0;
}

bool HasUpdateKey(const QString &programDir) {
    return LoadUpdateKey(programDir) != nullptr;
}

PackageCheck CheckPackage(const QString &programDir, const QString &packagePath,
                          const QByteArray &signature) {
    const Pkey key = LoadUpdateKey(programDir);
    if (!key)
        return PackageCheck::NoKey;
    if (signature.size() != kSignatureBytes)
        return PackageCheck::NoSignature;
    QByteArray package;
    if (!ReadBounded(packagePath, kMaxPackageBytes, &package))
        return PackageCheck::Unreadable;
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    // Ed25519 hashes the message itself: no digest is named, and the message goes in whole.
    const bool good =
        ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
        EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
                         size_t(signature.size()),
                         reinterpret_cast<const unsigned char *>(package.constData()),
                         size_t(package.size())) == 1;
    ERR_clear_error();
    return good ? PackageCheck::Trusted : PackageCheck::BadSignature;
}

QByteArray ReadSignature(const QString &signaturePath) {
    QByteArray signature;
    if (!ReadBounded(signaturePath, kSignatureBytes, &signature) ||
        signature.size() != kSignatureBytes)
        return {};
    return signature;
}

bool SignPackage(const QString &privateKeyPath, const QString &packagePath,
                 const QString &signaturePath, QString *error) {
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        ERR_clear_error();
        return false;
    };
    QByteArray pem;
    if (!ReadBounded(privateKeyPath, kMaxKeyFileBytes, &pem, true))
        return fail(QStringLiteral("cannot read the key %1").arg(privateKeyPath));
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    const Pkey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassPhrase, nullptr)
                       : nullptr);
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return fail(QStringLiteral("%1 is not an unencrypted Ed25519 private key in PEM form")
                        .arg(privateKeyPath));
    QByteArray package;
    if (!ReadBounded(packagePath, kMaxPackageBytes, &package))
        return fail(QStringLiteral("cannot read the package %1 (a plain file of at most %2 bytes)")
                        .arg(packagePath)
                        .arg(kMaxPackageBytes));
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    unsigned char signature[kSignatureBytes];
    size_t length = sizeof signature;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature, &length,
                       reinterpret_cast<const unsigned char *>(package.constData()),
                       size_t(package.size())) != 1 ||
        length != sizeof signature)
        return fail(QStringLiteral("signing failed"));
    QSaveFile out(signaturePath);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(reinterpret_cast<const char *>(signature), kSignatureBytes) != kSignatureBytes ||
        !out.commit())
        return fail(QStringLiteral("cannot write %1").arg(signaturePath));
    return true;
}

int RemoveUpdateScratch(const QString &programDir) {
    const int dirFd =
        ::open(QFile::encodeName(programDir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    const int removed = RemoveScratchIn(dirFd, true);
    ::close(dirFd);
    return removed;
}

} // namespace kz
