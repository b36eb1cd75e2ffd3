// List-file operations against cp: adding and extracting a 200 MB movie, listing a list file of
// 1,000 movies, and compacting. The big movie is made here in a temporary folder and removed.

#include "platform/Paths.h"
#include "platform/Workers.h"
#include "platform/storage/CompoundFile.h"
#include "playlist/ListFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace kz;

namespace {

double Seconds(const std::function<bool()> &op) {
    QElapsedTimer t;
    t.start();
    if (!op()) {
        std::fprintf(stderr, "operation failed\n");
        std::exit(1);
    }
    return double(t.nsecsElapsed()) / 1e9;
}

bool Cp(const QString &from, const QString &to) {
    return QProcess::execute("cp", {from, to}) == 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long MaxRssMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

bool MakeMovie(const QString &path, qint64 bytes, quint32 seed) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, '\0');
    quint32 x = seed | 1;
    for (char &c : block) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    for (qint64 left = bytes; left > 0; left -= block.size())
        if (f.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    // "compact": only the compaction's figures.
    const bool onlyCompaction = argc > 2 && QByteArray(argv[2]) == "compact";
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    const QString movie = tmp.filePath("big.swf"), list = tmp.filePath("big.tpl");
    const qint64 size = 200LL * 1024 * 1024;
    if (!MakeMovie(movie, size, 7))
        return 1;
    const long rssBefore = MaxRssMiB();

    std::vector<double> cp, add, extract;
    const int copyRounds = onlyCompaction ? 1 : rounds;
    for (int r = 0; r < copyRounds; ++r) {
        cp.push_back(Seconds([&] { return Cp(movie, tmp.filePath("copy.swf")); }));
        add.push_back(Seconds([&] { return CreateListFile(list) && AddMovie(movie, list); }));
        extract.push_back(
            Seconds([&] { return ExtractEntry(tmp.filePath("out.swf"), "big.swf", list); }));
        QFile::remove(tmp.filePath("copy.swf"));
        QFile::remove(tmp.filePath("out.swf"));
        if (r + 1 < copyRounds)
            QFile::remove(list); // each round makes a new file, as cp does
    }
    const double cpS = Median(cp), addS = Median(add), exS = Median(extract);
    std::printf("200 MB movie, median of %d rounds:\n", copyRounds);
    std::printf("  cp            %.3f s\n", cpS);
    std::printf("  AddMovie      %.3f s  (%.2f x cp)\n", addS, addS / cpS);
    std::printf("  ExtractEntry  %.3f s  (%.2f x cp)\n", exS, exS / cpS);
    std::printf("  peak memory   %ld MiB (before the operations: %ld MiB)\n", MaxRssMiB(),
                rssBefore);

    // Compaction of the big list, against cp of the list file. Each round starts from a fresh
    // copy whose data is on the disk, as a list file that has been lying there. Wall time, and
    // the processor time of the call and of cp, which a loaded machine disturbs less.
    QFile::remove(movie);
    const auto freshCopy = [&](const QString &to) {
        return QFile::copy(list, to) && QProcess::execute("sync", {}) == 0;
    };
    std::vector<double> cpList, compact, cpCpu, compactCpu;
    for (int r = 0; r < rounds; ++r) {
        if (!freshCopy(tmp.filePath("work.tpl")))
            return 1;
        const double childBefore = CpuSeconds(RUSAGE_CHILDREN);
        cpList.push_back(
            Seconds([&] { return Cp(tmp.filePath("work.tpl"), tmp.filePath("copy.tpl")); }));
        cpCpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - childBefore);
        QProcess::execute("sync", {});
        const double before = CpuSeconds(RUSAGE_THREAD);
        compact.push_back(Seconds([&] { return CompactListFile(tmp.filePath("work.tpl")); }));
        compactCpu.push_back(CpuSeconds(RUSAGE_THREAD) - before);
        // The old file's space is given back by a worker; not into the next round.
        while (RunningWorkers() > 0)
            QThread::msleep(5);
        QFile::remove(tmp.filePath("copy.tpl"));
        QFile::remove(tmp.filePath("work.tpl"));
        QProcess::execute("sync", {});
    }
    // Where the time goes: the compaction's steps one by one.
    std::vector<double> copyStep, renameStep, freeStep;
    for (int r = 0; r < rounds; ++r) {
        const QString work = tmp.filePath("work.tpl"), scratch = tmp.filePath(".scratch");
        if (!freshCopy(work))
            return 1;
        std::unique_ptr<CompoundFile> src, dst;
        copyStep.push_back(Seconds([&] {
            src = CompoundFile::Open(work, CompoundFile::Access::Read);
            dst = CompoundFile::CreateNew(scratch);
            return src && dst &&
                   src->CopyStorageTo(CompoundFile::kRootId, *dst, CompoundFile::kRootId);
        }));
        renameStep.push_back(Seconds([&] {
            return ::rename(QFile::encodeName(scratch).constData(),
                            QFile::encodeName(work).constData()) == 0;
        }));
        freeStep.push_back(Seconds([&] {
            src.reset(); // the old file's last reference: its space is freed
            dst.reset();
            return true;
        }));
        QFile::remove(work);
        QProcess::execute("sync", {});
    }
    const double cpListS = Median(cpList);
    std::printf("Compacting the 200 MB list file, median of %d rounds:\n", rounds);
    std::printf("  cp               %.3f s (processor %.3f s)\n", cpListS, Median(cpCpu));
    std::printf("  CompactListFile  %.3f s (processor %.3f s): %.2f x cp, %.2f x cp's processor "
                "time; the old file's space is given back after it returns\n",
                Median(compact), Median(compactCpu), Median(compact) / cpListS,
                Median(compactCpu) / Median(cpCpu));
    std::printf(
        "  its steps without the write-behind: the copy %.3f s (%.2f x cp), the rename over "
        "the old file (the file system flushes the new one) %.3f s, freeing the old one "
        "%.3f s\n",
        Median(copyStep), Median(copyStep) / cpListS, Median(renameStep), Median(freeStep));
    QFile::remove(list);
    if (onlyCompaction)
        return 0;

    // A list file of 1,000 movies of 1 to 40 KB.
    const QString many = tmp.filePath("many.tpl");
    CreateListFile(many);
    QElapsedTimer fill;
    fill.start();
    for (int i = 0; i < 1000; ++i) {
        const QString m = tmp.filePath(QStringLiteral("movie%1.swf").arg(i, 4, 10, QChar(u'0')));
        if (!MakeMovie(m, 1024 + (i * 7919) % (40 * 1024), quint32(i)) || !AddMovie(m, many))
            return 1;
        QFile::remove(m);
    }
    const double fillS = double(fill.nsecsElapsed()) / 1e9;
    std::vector<double> listing;
    for (int r = 0; r < 20; ++r) {
        listing.push_back(Seconds([&] {
            QStringList names;
            return ListEntries(many, names) && names.size() == 1000;
        }));
    }
    std::printf("List file of 1,000 movies (%.1f MB): filled in %.2f s (%.1f ms per AddMovie)\n",
                double(QFile(many).size()) / 1e6, fillS, fillS);
    std::printf("  ListEntries   %.2f ms (median of 20)\n", Median(listing) * 1000);
    return 0;
}
