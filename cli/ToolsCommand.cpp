// The Flash tools from the command line: extraction and packaging, one movie per call.

#include "Commands.h"

#include "platform/Paths.h"
#include "tools/JpegExtract.h"
#include "tools/Mp3Extract.h"
#include "tools/Packaging.h"
#include "formats/swf/TagWalker.h"

#include <QFileInfo>

namespace kz::cli {

namespace {

// FILE and OUTDIR, with OUTDIR turned into an output prefix (one trailing separator).
bool FileAndFolder(const QStringList &args, QString &file, QString &prefix) {
    if (args.size() != 2 || args[0].isEmpty() || args[1].isEmpty())
        return false;
    file = args[0];
    prefix = WithTrailingSep(args[1]);
    return true;
}

int Report(Io &io, const QString &file, const QStringList &written, bool ok) {
    for (const QString &w : written)
        io.out << w << '\n';
    if (!ok) {
        io.err << "kztool: " << file << ": failed\n";
        return kExitFailed;
    }
    return kExitOk;
}

bool CheckInput(Io &io, const QString &file, const QString &prefix) {
    if (!QFileInfo(prefix).isDir()) {
        io.err << "kztool: " << prefix << ": no such folder\n";
        return false;
    }
    if (!IsFlashMovieFile(file)) {
        io.err << "kztool: " << file << ": not a Flash movie\n";
        return false;
    }
    return true;
}

// mp3 and jpeg: the same checks around a different extraction.
int RunExtraction(const QStringList &args, Io &io,
                  bool (*extract)(const QString &, const QString &, QStringList *)) {
    QString file, prefix;
    if (!FileAndFolder(args, file, prefix))
        return kExitUsage;
    if (!CheckInput(io, file, prefix))
        return kExitFailed;
    QStringList written;
    const bool ok = extract(file, prefix, &written);
    return Report(io, file, written, ok);
}

int RunMp3(const QStringList &args, Io &io) {
    return RunExtraction(args, io, &ExtractMp3);
}

int RunJpeg(const QStringList &args, Io &io) {
    return RunExtraction(args, io, &ExtractJpeg);
}

int RunExe(const QStringList &args, Io &io) {
    QString file, prefix;
    if (!FileAndFolder(args, file, prefix))
        return kExitUsage;
    if (!QFileInfo(prefix).isDir()) {
        io.err << "kztool: " << prefix << ": no such folder\n";
        return kExitFailed;
    }
    QString written;
    const bool ok = ExtensionOf(FileNameOf(file)) == QLatin1String("exe")
                        ? ExtractMovieFromProjector(file, prefix, &written)
                        : MakeProjector(file, prefix, &written);
    return Report(io, file, ok ? QStringList{written} : QStringList{}, ok);
}

int RunScr(const QStringList &args, Io &io) {
    if (args.size() != 1 || args[0].isEmpty())
        return kExitUsage;
    QString written;
    const bool ok = MakeScreenSaver(args[0], &written);
    return Report(io, args[0], ok ? QStringList{written} : QStringList{}, ok);
}

} // namespace

static const CommandRegistrar kMp3{
    {"mp3",
     "mp3 MOVIE OUTDIR\n"
     "    Writes the movie's MP3 sounds into OUTDIR: NAME_stream.mp3 for its sound stream\n"
     "    (replaced) and NAME_event<n>.mp3 for each event sound (numbered past existing\n"
     "    ones). Prints the files written.",
     &RunMp3}};

static const CommandRegistrar kJpeg{
    {"jpeg",
     "jpeg MOVIE OUTDIR\n"
     "    Writes the movie's JPEG images into OUTDIR as NAME_<n>.jpg (existing files are never\n"
     "    overwritten). Prints the files written.",
     &RunJpeg}};

static const CommandRegistrar kExe{
    {"exe",
     "exe FILE OUTDIR\n"
     "    A FILE with the extension .exe (any case) gives back its movie as OUTDIR/NAME.swf;\n"
     "    any other FILE is packaged with the projector stub as OUTDIR/NAME.exe. Prints the\n"
     "    file written.",
     &RunExe}};

static const CommandRegistrar kScr{
    {"scr",
     "scr MOVIE\n"
     "    Packages the movie with the screensaver stub as NAME.scr in the screensaver folder\n"
     "    (~/.local/share/KZPlayer/screensavers/). Prints the file written.",
     &RunScr}};

} // namespace kz::cli
