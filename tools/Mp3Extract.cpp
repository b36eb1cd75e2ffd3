#include "Mp3Extract.h"

#include "formats/swf/TagWalker.h"
#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kz {

namespace {

bool IsMp3Flags(std::uint8_t flags) {
    return (flags & 0xF0) == 0x20;
}

// DefineSound: id (2), flags (1), sample count (4); an MP3 sound's data then starts with
// 2 bytes of seek samples.
constexpr std::uint32_t kDefineSoundFixed = 7;
constexpr std::uint32_t kMp3SeekBytes = 2;
// Sound stream heads: playback flags, stream flags, sample count (2).
constexpr std::uint32_t kStreamHeadFixed = 4;
// Stream blocks: sample count (2), seek samples (2).
constexpr std::uint32_t kStreamBlockFixed = 4;

} // namespace

QString NextFreeName(const QString &stem, const QString &suffix, int &counter) {
    for (int n = counter;; ++n) {
        const QString name = stem + QString::number(n) + suffix;
        const QFileInfo info(name);
        if (!info.exists() && !info.isSymLink()) {
            counter = n + 1;
            return name;
        }
    }
}

bool ExtractMp3(const QString &moviePath, const QString &outputPrefix, QStringList *written) {
    return ExtractMp3Named(moviePath, BaseNameOf(moviePath), outputPrefix, written);
}

bool ExtractMp3Named(const QString &moviePath, const QString &base, const QString &outputPrefix,
                     QStringList *written) {
    std::unique_ptr<ByteSource> movie = OpenMovieTags(moviePath);
    if (!movie)
        return false;

    // The stream goes to a temporary file renamed into place on success, so a failed run
    // never costs an earlier extraction its stream file.
    const QString streamName = outputPrefix + base + QStringLiteral("_stream.mp3");
    QSaveFile stream(streamName);
    if (!stream.open(QIODevice::WriteOnly))
        return false;

    bool streamFlag = false;
    bool writeFailed = false;
    int eventCounter = 0;
    const QString eventStem = outputPrefix + base + QStringLiteral("_event");
    QStringList events;

    TagWalker walker;
    walker.On(kTagDefineSound, [&](TagBody &tag) {
        std::uint8_t fixed[kDefineSoundFixed];
        if (tag.Length() < kDefineSoundFixed || !tag.Read(fixed, sizeof fixed))
            return TagStep::Stop;
        if (!IsMp3Flags(fixed[2]))
            return TagStep::Next;
        // A sound cut short (by its length or by the end of the movie) ends the walk before
        // any file is made for it.
        if (tag.Left() < kMp3SeekBytes || !tag.RestIsPresent())
            return TagStep::Stop;
        QFile out(NextFreeName(eventStem, QStringLiteral(".mp3"), eventCounter));
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return TagStep::Stop;
        bool badWrite = false;
        if (!tag.Skip(kMp3SeekBytes) || !tag.CopyTo(out, tag.Left(), &badWrite)) {
            out.close();
            out.remove();
            writeFailed = writeFailed || badWrite;
            return TagStep::Stop;
        }
        out.close();
        events << out.fileName();
        return TagStep::Next;
    });
    const auto head = [&](TagBody &tag) {
        std::uint8_t fixed[kStreamHeadFixed];
        if (!tag.Read(fixed, sizeof fixed))
            return TagStep::Stop;
        if (IsMp3Flags(fixed[1]))
            streamFlag = true;
        return TagStep::Next;
    };
    walker.On(kTagSoundStreamHead, head).On(kTagSoundStreamHead2, head);
    walker.On(kTagSoundStreamBlock, [&](TagBody &tag) {
        if (!streamFlag)
            return TagStep::Next;
        if (tag.Length() < kStreamBlockFixed || !tag.RestIsPresent())
            return TagStep::Stop;
        bool badWrite = false;
        if (!tag.Skip(kStreamBlockFixed) || !tag.CopyTo(stream, tag.Left(), &badWrite)) {
            writeFailed = writeFailed || badWrite;
            return TagStep::Stop;
        }
        return TagStep::Next;
    });
    walker.Walk(*movie);
    movie.reset();

    if (written)
        *written << events;
    if (streamFlag && !writeFailed) {
        QByteArray trailer(kId3v1TrailerBytes, '\0');
        trailer.replace(0, 3, "TAG");
        if (stream.write(trailer) == trailer.size() && stream.commit()) {
            if (written)
                *written << streamName;
            return true;
        }
    }
    stream.cancelWriting(); // the temporary file goes with the object
    return !events.isEmpty();
}

} // namespace kz
