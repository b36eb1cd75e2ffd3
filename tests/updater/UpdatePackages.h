#pragma once
// Update packages for the updater's tests, written by our compound-file layer or by libgsf's
// `gsf createole` as an independent writer, and a way to give their elements names no writer
// would accept.

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace kz::test {

struct PackageFile {
    QString name;
    QByteArray bytes;
};
struct PackageGroup {
    PackageGroup(QString n, QList<PackageFile> f, QByteArray raw = {})
        : name(std::move(n)), files(std::move(f)), nested(std::move(raw)) {}
    QString name;
    QList<PackageFile> files;
    QByteArray nested; // when set, the group's stream as it is (files are then ignored)
};

// Writes the package with our layer; false when a name is refused.
bool WritePackageOurs(const QString &path, const QList<PackageGroup> &groups);
// Writes the package with `gsf createole` (files and folders become streams and storages).
bool WritePackageGsf(const QString &path, const QList<PackageGroup> &groups);
// A nested package alone (the group stream's content), written by our layer.
QByteArray NestedPackageOurs(const QList<PackageFile> &files);
// Replaces every directory-entry name `from` by `to` of the same length, in place.
bool RenameElementRaw(const QString &path, const QString &from, const QString &to);
// Renames inside the nested package of a group: the group's stream holds the nested package.
QByteArray RenameInNested(QByteArray nested, const QString &from, const QString &to);

} // namespace kz::test
