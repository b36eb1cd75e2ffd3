#pragma once
// The frame's controls for widget tests: the fake Flash and browser controls, everything else as
// the frame makes it.

#include "shell/MainFrm.h"
#include "support/FakeFlashControl.h"

namespace kz::test {

inline ControlFactory FakeControls() {
    ControlFactory f;
    f.flash = [](QWidget *p) { return new FakeFlashControl(p); };
    f.browser = [](QWidget *p) { return new FakeBrowserControl(p); };
    return f;
}

} // namespace kz::test
