#include "platform/flash/RufflePage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace kz;

TEST(RufflePage, OptionsFollowTheControlsScaleAndColour) {
    EXPECT_EQ(RuffleScaleMode("ShowAll"), "showAll");
    EXPECT_EQ(RuffleScaleMode("noScale"), "noScale");
    EXPECT_EQ(RuffleScaleMode("NOSCALE"), "noScale");
    EXPECT_EQ(RuffleScaleMode("ExactFit"), "exactFit");
    EXPECT_EQ(RuffleScaleMode("whatever"), "showAll");

    EXPECT_EQ(CssColor(0xFF8000), "#ff8000");
    EXPECT_EQ(CssColor(0), "#000000");
    EXPECT_EQ(CssColor(0x7F000001), "#000001");
    EXPECT_EQ(CssColor(-1), "");

    QJsonObject o = RuffleLoadOptions("noScale", 0x102030);
    EXPECT_EQ(o.value("scale").toString(), "noScale");
    EXPECT_EQ(o.value("backgroundColor").toString(), "#102030");
    o = RuffleLoadOptions("ShowAll", -1);
    EXPECT_TRUE(o.value("backgroundColor").isNull()) << "the movie's own colour";
}

TEST(RufflePage, ScriptsCarryTheirArgumentsAsLiterals) {
    const QByteArray movie("FWS\x0a\"'</script>\n", 16);
    const QString load = ScriptLoad(7, movie, RuffleLoadOptions("ShowAll", -1));
    EXPECT_TRUE(load.startsWith("kzLoad(7,\"" + QString::fromLatin1(movie.toBase64()) + "\",{"));
    EXPECT_FALSE(load.contains("</script>")) << "bytes travel as base64 only";

    EXPECT_EQ(ScriptCall("kzPlay"), "kzPlay()");
    EXPECT_EQ(ScriptCall("kzClear", 3), "kzClear(3)");
    EXPECT_EQ(ScriptCall("kzZoom", 1.25), "kzZoom(1.25)");
    // A hostile text stays one string argument.
    EXPECT_EQ(ScriptCall("kzBackground", QString("\");alert(1);(\"")),
              "kzBackground(\"\\\");alert(1);(\\\"\")");
}

TEST(RufflePage, PageLoadsTheRuntimeBesideItAndInlinesTheChannel) {
    const QString page = RuffleHostPage("/*channel*/");
    EXPECT_TRUE(page.contains("<script src=\"ruffle.js\"></script>"));
    EXPECT_TRUE(page.contains("/*channel*/"));
    EXPECT_LT(page.indexOf("/*channel*/"), page.indexOf("new QWebChannel"));
    // Ruffle's own menu and overlays stay off; sound needs no click.
    EXPECT_TRUE(page.contains("contextMenu: \"off\""));
    EXPECT_TRUE(page.contains("unmuteOverlay: \"hidden\""));
    EXPECT_TRUE(page.contains("autoplay: \"on\""));
    for (const char *fn : {"kzLoad", "kzClear", "kzOptions", "kzRestart", "kzPlay", "kzPause",
                           "kzZoom", "kzBackground"})
        EXPECT_TRUE(page.contains(QString("window.%1 =").arg(fn))) << fn;
}
