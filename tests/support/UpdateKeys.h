#pragma once
// Keys and signatures of update packages made by openssl's command-line tool, independently of
// the player's own signing code. A key pair is made fresh for each use: none is kept anywhere.

#include <QByteArray>
#include <QString>

namespace kz::test {

struct UpdateKeys {
    QString privateKey; // PEM
    QString publicKey;  // PEM, as the program directory's update.pub
};

// A fresh Ed25519 key pair in `folder` ("update.key", "update.pub"); empty paths on failure.
UpdateKeys MakeUpdateKeys(const QString &folder);
// The 64-byte Ed25519 signature of a file; empty on failure.
QByteArray OpensslSign(const QString &privateKey, const QString &file);
// Copies the public key into a program directory as update.pub, then signs the package
// beside it into PACKAGE.sig. False when either fails.
bool InstallKey(const UpdateKeys &keys, const QString &programDir);
bool SignBeside(const UpdateKeys &keys, const QString &package);

} // namespace kz::test
