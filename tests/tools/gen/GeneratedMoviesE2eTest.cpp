// The program's own movies, as shipped in the program directory, render in the real Flash
// control: the samples animate, the fallbacks draw their message.

#include "platform/Paths.h"
#include "platform/flash/ShockwaveFlash.h"
#include "playlist/ListFile.h"
#include "support/E2eSupport.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <set>

using namespace kz;

namespace {

using namespace kz::test;

struct Shots {
    QImage first, last;
    int differing = 0;
};

Shots Render(const QString &movie, const QString &name) {
    QWidget window;
    window.resize(480, 400);
    auto *flash = new CMedia(&window);
    flash->setGeometry(0, 0, 480, 400);
    window.show();
    Shots s;
    if (!PumpUntil([&] { return flash->PageReady(); }, 30000))
        return s;
    QSignalSpy ready(flash, &FlashControl::MovieReady);
    flash->LoadMovie(0, movie);
    if (!PumpUntil([&] { return ready.count() > 0; }, 30000))
        return s;
    QImage previous;
    for (int i = 0; i < 6; ++i) {
        PumpUntil([] { return false; }, 250);
        const QImage shot = flash->grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (i == 0)
            s.first = shot;
        else
            s.differing += shot != previous;
        previous = shot;
    }
    s.last = previous;
    s.last.save(QDir::temp().filePath("kz-generated-" + name + ".png"));
    return s;
}

} // namespace

TEST(GeneratedMoviesE2e, FallbacksDrawTheirMessage) {
    for (const char *name : {"nonexist", "errorfmat"}) {
        const Shots s =
            Render(QDir(test::BinDir()).filePath(QStringLiteral("inflash/%1.swf").arg(name)), name);
        ASSERT_FALSE(s.last.isNull()) << name;
        EXPECT_GT(DistinctColours(s.last), 20) << name << ": not one colour";
        EXPECT_GT(s.differing, 0) << name << ": the marker moves";
    }
}

TEST(GeneratedMoviesE2e, SamplesInTheSampleListAnimate) {
    QTemporaryDir tmp;
    const QString list = QDir(test::BinDir()).filePath("sample.tpl");
    QStringList names;
    ASSERT_TRUE(ListEntries(list, names));
    ASSERT_EQ(names.size(), 3);
    for (int i = 0; i < names.size(); ++i) {
        const QString out = tmp.filePath(names[i]);
        ASSERT_TRUE(ExtractEntry(out, names[i], list));
        const Shots s = Render(out, QStringLiteral("sample%1").arg(i));
        ASSERT_FALSE(s.last.isNull()) << names[i].toStdString();
        EXPECT_GT(DistinctColours(s.last), 3) << names[i].toStdString();
        EXPECT_GE(s.differing, 3) << names[i].toStdString() << ": shots differ over time";
    }
}
