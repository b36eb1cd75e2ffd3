#include "platform/flash/RufflePage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

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

    QJsonObject o = RuffleLook("noScale", 0x102030);
    EXPECT_EQ(o.value("scale").toString(), "noScale");
    EXPECT_EQ(o.value("background").toString(), "#102030");
    o = RuffleLook("ShowAll", -1);
    EXPECT_EQ(o.value("background").toString(), "") << "the movie's own colour";
}

TEST(RufflePage, ScriptsCarryTheirArgumentsAsLiterals) {
    // Movies travel by address through the player's scheme, never as text in a script.
    const QString load =
        ScriptLoad(7, "kzmovie://app/movie/1/7\");x(\"", true, RuffleLook("ShowAll", -1));
    EXPECT_TRUE(load.startsWith("kzLoad(7,\"kzmovie://app/movie/1/7\\\");x(\\\"\",true,{"))
        << load.toStdString();
    EXPECT_TRUE(load.endsWith(",null,{})")) << load.toStdString();
    const QString web =
        ScriptLoad(1, "kzmovie://w1/a.swf", false, RuffleLook("ShowAll", -1), "http://h:8080\")");
    EXPECT_TRUE(web.endsWith(",\"http://h:8080\\\")\",{})")) << web.toStdString();
    // The engine's own options: a rate and one of its quality names, nothing else.
    const struct {
        double rate;
        QString quality;
        QString json;
    } options[] = {
        {48, "low", "{\"frameRate\":48,\"quality\":\"low\"}"},
        {12.5, "", "{\"frameRate\":12.5}"},
        {0, "best", "{\"quality\":\"best\"}"},
        {std::nan(""), "ultra\");x(\"", "{}"},
        {-3, "High", "{}"},
    };
    for (const auto &o : options)
        EXPECT_TRUE(ScriptLoad(1, "u", false, {}, {}, RuffleLoadOptions(o.rate, o.quality))
                        .endsWith(",null," + o.json + ")"))
            << o.json.toStdString();

    EXPECT_EQ(ScriptCall("kzPlay"), "kzPlay()");
    EXPECT_EQ(ScriptCall("kzClear", 3), "kzClear(3)");
    EXPECT_EQ(ScriptCall("kzZoom", 1.25), "kzZoom(1.25)");
    // A hostile text stays one string argument.
    EXPECT_EQ(ScriptCall("kzBackground", QString("\");alert(1);(\"")),
              "kzBackground(\"\\\");alert(1);(\\\"\")");
}

TEST(RufflePage, PageLoadsTheRuntimeBesideItAndInlinesTheChannel) {
    const QString page = RuffleHostPage("/*channel*/", 42);
    EXPECT_TRUE(page.contains("const pageToken = 42;"));
    // A movie's links go to the player, never to a window of the page.
    EXPECT_TRUE(page.contains("window.open = "));
    EXPECT_TRUE(page.contains("<script src=\"ruffle.js\"></script>"));
    // The engine's fetches of the player's scheme go through a request the scheme serves.
    EXPECT_LT(page.indexOf("window.fetch ="), page.indexOf("window.RufflePlayer.config"));
    EXPECT_TRUE(page.contains("/*channel*/"));
    EXPECT_LT(page.indexOf("/*channel*/"), page.indexOf("new QWebChannel"));
    // Ruffle's own menu and overlays stay off; sound needs no click.
    EXPECT_TRUE(page.contains("contextMenu: \"off\""));
    EXPECT_TRUE(page.contains("unmuteOverlay: \"hidden\""));
    EXPECT_TRUE(page.contains("autoplay: \"on\""));
    for (const char *fn : {"kzLoad", "kzClear", "kzOptions", "kzRestart", "kzPlay", "kzPause",
                           "kzZoom", "kzBackground", "kzGoto", "kzEpoch"})
        EXPECT_TRUE(page.contains(QString("window.%1 =").arg(fn))) << fn;
}
