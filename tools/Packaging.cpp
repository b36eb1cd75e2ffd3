#include "Packaging.h"

#include "platform/Paths.h"
#include "platform/UserDirs.h"
#include "platform/launcher/DesktopSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <vector>

namespace kz {

namespace {

// Copies `count` bytes from `from`'s position as whole blocks and one partial block.
bool CopyBlocks(QIODevice &from, QIODevice &to, qint64 count, int block) {
    std::vector<char> buf(static_cast<std::size_t>(block));
    while (count > 0) {
        const qint64 step = std::min<qint64>(count, block);
        if (from.read(buf.data(), step) != step || to.write(buf.data(), step) != step)
            return false;
        count -= step;
    }
    return true;
}

// Copies all of `from` in chunks: read up to a chunk, write what was read, until a short read.
// The count must come out as expected, or the trailer would point at the wrong bytes.
bool CopyChunks(QIODevice &from, QIODevice &to, qint64 expected, int chunk) {
    std::vector<char> buf(static_cast<std::size_t>(chunk));
    qint64 total = 0;
    for (;;) {
        const qint64 got = from.read(buf.data(), chunk);
        if (got < 0 || (got > 0 && to.write(buf.data(), got) != got))
            return false;
        total += got;
        if (got < chunk)
            return total == expected;
    }
}

QByteArray Trailer(std::uint32_t movieLength) {
    QByteArray t(kProjectorTrailerBytes, '\0');
    for (int i = 0; i < 4; ++i) {
        t[i] = char((kProjectorMagic >> (8 * i)) & 0xFF);
        t[4 + i] = char((movieLength >> (8 * i)) & 0xFF);
    }
    return t;
}

// Packaged files are programs: whoever may read them may run them.
void MakeRunnable(const QString &path) {
    QFile::Permissions p = QFile::permissions(path);
    if (p & QFile::ReadOwner)
        p |= QFile::ExeOwner | QFile::ExeUser;
    if (p & QFile::ReadGroup)
        p |= QFile::ExeGroup;
    if (p & QFile::ReadOther)
        p |= QFile::ExeOther;
    QFile::setPermissions(path, p);
}

// Stub, movie, trailer into `outputPath`, replacing it only once all was written.
bool Package(const QString &moviePath, const QString &stubName, const QString &outputPath,
             bool blocks, QString *written) {
    // Only regular files: a pipe or a device could block or never end.
    if (!QFileInfo(moviePath).isFile() || !QFileInfo(ProgramDir() + stubName).isFile())
        return false;
    QFile movie(moviePath);
    if (!movie.open(QIODevice::ReadOnly))
        return false;
    // The trailer holds the length in 32 bits; a larger movie could not be found again.
    const qint64 movieLength = movie.size();
    if (movieLength > qint64(UINT32_MAX))
        return false;
    QFile stub(ProgramDir() + stubName);
    if (!stub.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(outputPath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const bool copied = blocks ? CopyBlocks(stub, out, stub.size(), kProjectorBlock) &&
                                     CopyBlocks(movie, out, movieLength, kProjectorBlock)
                               : CopyChunks(stub, out, stub.size(), kScreenSaverChunk) &&
                                     CopyChunks(movie, out, movieLength, kScreenSaverChunk);
    const QByteArray trailer = Trailer(std::uint32_t(movieLength));
    if (!copied || out.write(trailer) != trailer.size() || !out.commit())
        return false;
    MakeRunnable(outputPath);
    if (written)
        *written = outputPath;
    return true;
}

} // namespace

bool MakeProjector(const QString &moviePath, const QString &outputPrefix, QString *written) {
    return MakeProjectorNamed(moviePath, BaseNameOf(moviePath), outputPrefix, written);
}

bool MakeProjectorNamed(const QString &moviePath, const QString &outputBase,
                        const QString &outputPrefix, QString *written) {
    const QString output = outputPrefix + outputBase + QStringLiteral(".exe");
    return Package(moviePath, QString::fromLatin1(kProjectorStubName), output, true, written);
}

bool ExtractMovieFromProjector(const QString &programPath, const QString &outputPrefix,
                               QString *written) {
    return ExtractMovieFromProjectorNamed(programPath, BaseNameOf(programPath), outputPrefix,
                                          written);
}

bool ExtractMovieFromProjectorNamed(const QString &programPath, const QString &outputBase,
                                    const QString &outputPrefix, QString *written) {
    const QString output = outputPrefix + outputBase + QStringLiteral(".swf");
    if (!QFileInfo(programPath).isFile())
        return false;
    QFile program(programPath);
    if (!program.open(QIODevice::ReadOnly))
        return false;
    // The trailer is checked before anything is created: a file without one, or with a
    // length that does not fit before it, leaves no output.
    const qint64 length = program.size();
    if (length < kProjectorTrailerBytes || !program.seek(length - kProjectorTrailerBytes))
        return false;
    const QByteArray trailer = program.read(kProjectorTrailerBytes);
    if (trailer.size() != kProjectorTrailerBytes)
        return false;
    const auto *t = reinterpret_cast<const std::uint8_t *>(trailer.constData());
    const auto le32 = [](const std::uint8_t *p) {
        return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
               (std::uint32_t(p[3]) << 24);
    };
    if (le32(t) != kProjectorMagic)
        return false;
    const qint64 movieLength = le32(t + 4);
    if (movieLength > length - kProjectorTrailerBytes)
        return false;
    if (!program.seek(length - kProjectorTrailerBytes - movieLength))
        return false;
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly) ||
        !CopyBlocks(program, out, movieLength, kProjectorBlock) || !out.commit())
        return false;
    if (written)
        *written = output;
    return true;
}

QString ScreenSaverFolder() {
    const QString folder = UserDataDir() + QStringLiteral("screensavers/");
    if (!MakeSureDirectoryPathExists(folder))
        return QString();
    return folder;
}

bool MakeScreenSaver(const QString &moviePath, QString *written) {
    return MakeScreenSaverNamed(moviePath, BaseNameOf(moviePath), written);
}

bool MakeScreenSaverNamed(const QString &moviePath, const QString &outputBase, QString *written) {
    const QString folder = ScreenSaverFolder();
    if (folder.isEmpty())
        return false;
    const QString output = folder + outputBase + QStringLiteral(".scr");
    return Package(moviePath, QString::fromLatin1(kScreenSaverStubName), output, false, written);
}

void InstallScreenSaver() {
    OpenDesktopSettings(DesktopSettingsPage::ScreenSaver);
}

} // namespace kz
