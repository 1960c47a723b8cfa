#pragma once
// Collects what a key tap delivers, for tests that drive a tap directly on the test thread.

#include <vector>

#include "keyboard/KeyTap.h"

namespace tapwell::test {

struct RecordingSink final : KeyTapSink {
    std::vector<KeyTapEvent> keys;
    std::vector<bool> caps;
    int missed = 0;

    void keyEvent(const KeyTapEvent& event) override { keys.push_back(event); }
    void capsLockChanged(bool isOn) override { caps.push_back(isOn); }
    void eventsMissed() override { ++missed; }
};

}  // namespace tapwell::test
