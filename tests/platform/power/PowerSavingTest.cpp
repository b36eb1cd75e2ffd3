// The saved copy of the power-saving time-outs: saved and zeroed once, put back once.

#include "platform/power/PowerSaving.h"

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <vector>

using namespace kz;

namespace {
struct Box {
    std::optional<PowerTimeouts> now = PowerTimeouts{60, 120, 30};
    std::vector<PowerTimeouts> writes;
};
class FakeSettings final : public PowerSettings {
public:
    explicit FakeSettings(Box &box) : m_box(box) {}
    std::optional<PowerTimeouts> Read() override { return m_box.now; }
    void Write(const PowerTimeouts &t) override {
        m_box.now = t;
        m_box.writes.push_back(t);
    }

private:
    Box &m_box;
};
} // namespace

TEST(PowerSaving, FirstSuspendSavesLaterOnesKeepTheCopyRestoreOnce) {
    Box box;
    PowerSaving p(std::make_unique<FakeSettings>(box));
    p.Restore();
    EXPECT_TRUE(box.writes.empty()) << "nothing saved, nothing written";
    p.Suspend();
    EXPECT_TRUE(p.HasSavedCopy());
    EXPECT_EQ(box.now, PowerTimeouts{});
    p.Suspend(); // must not save the zeros over the real values
    p.Restore();
    EXPECT_EQ(box.now, (PowerTimeouts{60, 120, 30}));
    p.Restore();
    EXPECT_EQ(box.writes.size(), 2u);
    EXPECT_FALSE(p.HasSavedCopy());
}

TEST(PowerSaving, AnUnreadableSystemIsLeftAlone) {
    Box box;
    box.now.reset();
    PowerSaving p(std::make_unique<FakeSettings>(box));
    p.Suspend();
    EXPECT_FALSE(p.HasSavedCopy());
    EXPECT_TRUE(box.writes.empty());
    PowerSaving none(nullptr);
    none.Suspend();
    none.Restore();
    EXPECT_FALSE(none.HasSavedCopy());
}

TEST(PowerSaving, WithoutADisplayTheX11SettingsAreInert) {
    const QByteArray saved = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    auto x = CreateX11PowerSettings();
    EXPECT_FALSE(x->Read().has_value());
    x->Write(PowerTimeouts{}); // no crash, nothing to write to
    if (!saved.isEmpty())
        qputenv("DISPLAY", saved);
}
