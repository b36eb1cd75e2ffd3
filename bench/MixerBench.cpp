// What the sound panel's mixer costs the user-interface thread: opening it with a server and
// without one, the longest write call, and how soon a change made elsewhere is reported.

#include "platform/mixer/Mixer.h"
#include "support/PulseServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double Ms(const QElapsedTimer &t) {
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    kz::test::PulseServer server(2);
    if (!server.Running()) {
        std::fprintf(stderr, "pulseaudio did not start\n");
        return 1;
    }
    server.UseInThisProcess();
    QElapsedTimer t;
    t.start();
    std::unique_ptr<kz::Mixer> mixer = kz::CreatePulseMixer();
    std::printf("open with a server: %.2f ms (line %s)\n", Ms(t),
                mixer->Line() ? "found" : "not yet");

    double longest = 0;
    for (int i = 0; i < 200; ++i) {
        t.restart();
        if (i % 2)
            mixer->SetVolume(std::uint32_t(i * 300));
        else
            mixer->SetMute(i % 4 == 0);
        longest = std::max(longest, Ms(t));
    }
    std::printf("longest of 200 writes: %.3f ms\n", longest);

    bool changed = false;
    QObject::connect(mixer.get(), &kz::Mixer::ControlChange, [&] { changed = true; });
    server.Run({"set-sink-volume", "kz_null", "12345"});
    t.restart();
    while (!changed && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("change elsewhere reported after pactl returned: %.2f ms\n", Ms(t));
    mixer.reset();

    QTemporaryDir nowhere;
    qputenv("PULSE_SERVER", ("unix:" + nowhere.filePath("none")).toUtf8());
    t.restart();
    mixer = kz::CreatePulseMixer();
    std::printf("open without a server: %.2f ms\n", Ms(t));
    return 0;
}
