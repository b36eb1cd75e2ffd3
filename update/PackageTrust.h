#pragma once
// What the player and the updater share about update packages, and nothing of either: which
// program directory may take one, the Ed25519 signature a package must carry (checked against
// the public key "update.pub" beside the programs), the package set aside after a failed
// installation, and the scratch files a broken run leaves behind. vupdate links this and the
// platform layer only.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace kz {

inline constexpr char kWaitingPackageName[] = "duvez.zip";
// The signature of a package lies beside it under the package's name and this suffix.
inline constexpr char kSignatureSuffix[] = ".sig";
// A package whose installation failed is kept under its name and this suffix, never retried.
inline constexpr char kSetAsideSuffix[] = ".failed";
inline constexpr char kUpdateKeyName[] = "update.pub";
// An installation made by the system's package manager carries this file: it takes its updates
// from there, never from the site.
inline constexpr char kPackagedMarker[] = "kzplayer.packaged";
inline constexpr int kSignatureBytes = 64; // Ed25519
inline constexpr std::int64_t kMaxPackageBytes = 256LL * 1024 * 1024;
inline constexpr std::int64_t kMaxKeyFileBytes = 16 * 1024;

// Only a program directory the running user owns and may write, and that no package manager
// installed, takes update packages.
bool ProgramDirTakesUpdates(const QString &programDir);

enum class PackageCheck {
    Trusted,      // signed by the key's owner
    NoKey,        // no usable Ed25519 public key in the program directory
    NoSignature,  // the signature is missing or not 64 bytes
    BadSignature, // the bytes are not what the key's owner signed
    Unreadable,   // the package is missing, not a plain file or larger than kMaxPackageBytes
};

// Whether the program directory holds a usable public key: without one nothing is downloaded.
bool HasUpdateKey(const QString &programDir);
// Checks a package against the program directory's key and a signature.
PackageCheck CheckPackage(const QString &programDir, const QString &packagePath,
                          const QByteArray &signature);
// The signature file beside a package (empty when it is missing or of another size).
QByteArray ReadSignature(const QString &signaturePath);

// Signs a package with an Ed25519 private key in PEM form and writes the 64 bytes to
// `signaturePath` (through a scratch file renamed into place). False with `error` set when the
// key or the package cannot be used.
bool SignPackage(const QString &privateKeyPath, const QString &packagePath,
                 const QString &signaturePath, QString *error);

// Removes what an interrupted download or installation leaves: ".duvez.zip.*" in the program
// directory and ".vupdate-*" there and in its folders (links are removed, never followed).
// Returns how many went.
int RemoveUpdateScratch(const QString &programDir);

} // namespace kz
