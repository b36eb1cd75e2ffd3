// The Debian package: CPack makes it from the build, and dpkg-deb reads it back with its
// dependencies, its maintainer scripts and the installed layout. Skipped with KZ_SKIP_PACKAGE=1
// (it compresses the whole program, Ruffle included).

#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

int RunProgram(const QString &program, const QStringList &args, QByteArray *output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    *output = p.readAll();
    return p.exitCode();
}

} // namespace

TEST(PackageE2e, CpackMakesADebianPackageDpkgReads) {
    if (qEnvironmentVariableIntValue("KZ_SKIP_PACKAGE"))
        GTEST_SKIP() << "KZ_SKIP_PACKAGE is set";
    QTemporaryDir out;
    QByteArray log;
    ASSERT_EQ(RunProgram(QStringLiteral(KZ_CPACK_COMMAND),
                         {"-G", "DEB", "--config",
                          QStringLiteral(KZ_BUILD_DIR "/CPackConfig.cmake"), "-B", out.path()},
                         &log),
              0)
        << log.toStdString();
    const QStringList debs = QDir(out.path()).entryList({"*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << log.toStdString();
    const QString deb = out.filePath(debs.first());

    QByteArray info;
    ASSERT_EQ(RunProgram("dpkg-deb", {"--info", deb}, &info), 0) << info.toStdString();
    EXPECT_TRUE(info.contains("Package: kzplayer")) << info.toStdString();
    for (const char *dependency :
         {"libqt6webenginecore6 ", "libqt6webenginecore6-bin", "libqt6widgets6", "libssl3", "libc6",
          "xdg-utils", "shared-mime-info", "libqt6sql6-sqlite"})
        EXPECT_TRUE(info.contains(dependency)) << dependency << "\n" << info.toStdString();
    EXPECT_TRUE(info.contains(" postinst")) << info.toStdString();
    EXPECT_TRUE(info.contains(" postrm")) << info.toStdString();

    QByteArray contents;
    ASSERT_EQ(RunProgram("dpkg-deb", {"--contents", deb}, &contents), 0);
    for (const char *entry :
         {"./usr/bin/KZPlayer -> ../lib/kzplayer/KZPlayer",
          "./usr/bin/kztool -> ../lib/kzplayer/kztool", "./usr/lib/kzplayer/KZPlayer",
          "./usr/lib/kzplayer/Vantrel.dat", "./usr/lib/kzplayer/VSaver.data",
          "./usr/lib/kzplayer/sample.tpl", "./usr/lib/kzplayer/ruffle/ruffle.js",
          "./usr/lib/kzplayer/inweb/bindex.html", "./usr/share/applications/kzplayer.desktop",
          "./usr/share/icons/hicolor/64x64/apps/kzplayer.png",
          "./usr/share/mime/packages/kzplayer.xml"})
        EXPECT_TRUE(contents.contains(entry)) << entry;
}
