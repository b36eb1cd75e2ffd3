#pragma once
// A play host for controller tests: rows, results and frame flags set by the test, and a log
// of what the controller asked of the frame, the list bar and the view.

#include "playback/PlayHost.h"

#include <QList>
#include <QPair>
#include <QSize>
#include <QStringList>

namespace kz::test {

class FakePlayHost final : public PlayHost {
public:
    QList<QPair<QString, QString>> rows;
    QStringList results;
    bool netView = false, autoClose = false, closeAtEnd = false;
    bool fullScreen = false, actualSize = false;
    std::uint32_t backColour = 0x00336699;

    QStringList log; // "close", "visible 2", "redraw", "browser shown", "capture", …
    QString info;
    std::uint32_t infoText = 0, infoBack = 0;
    QSize stage;
    int progress = -1;
    int zoom = -1;
    int state = -1;

    int PlayListRowCount() const override { return int(rows.size()); }
    QString PlayListText(int row, int column) const override {
        if (row < 0 || row >= rows.size())
            return {};
        return column == 0 ? rows[row].first : rows[row].second;
    }
    void EnsurePlayListRowVisible(int row) override {
        log << QStringLiteral("visible %1").arg(row);
    }
    void RedrawPlayList() override { log << "redraw"; }
    QStringList NetResultList() const override { return results; }
    bool NetSearchViewShown() const override { return netView; }
    // The frame's rule, as the frame has it.
    bool CloseAtEndOfPlayList() override {
        if (!autoClose || !closeAtEnd)
            return false;
        log << "close";
        return true;
    }
    bool FullScreen() const override { return fullScreen; }
    bool ActualSize() const override { return actualSize; }
    void ToggleFullScreen() override {
        fullScreen = !fullScreen;
        log << "toggle full screen";
    }
    void ToggleActualSize() override {
        actualSize = !actualSize;
        log << "toggle actual size";
    }
    void ActivateFrame() override { log << "activate"; }
    void SetInfoText(const QString &text) override { info = text; }
    void SetInfoColours(std::uint32_t text, std::uint32_t back) override {
        infoText = text;
        infoBack = back;
    }
    std::uint32_t BackColour() const override { return backColour; }
    void SetZoom(int percent) override { zoom = percent; }
    void LayOutMovie(QSize s) override { stage = s; }
    void ShowBrowser() override { log << "browser shown"; }
    void HideBrowser() override { log << "browser hidden"; }
    void SetLoadingProgress(int percent) override { progress = percent; }
    void Capture() override { log << "capture"; }
    void PlayStateChanged(int s) override { state = s; }
};

} // namespace kz::test
