// An in-memory key-event tap for tests: presses are fed in by hand, and every
// call the interception makes is recorded in order.
#pragma once

#include "Platform.h"

#include <optional>
#include <string>
#include <vector>

namespace lumeno::platform::memory {

class MemoryKeyEventTap : public KeyEventTap {
public:
    bool trusted = true;
    bool failInstall = false;
    bool failEnable = false;
    bool failPaste = false;

    bool installed = false;
    std::vector<KeyCombination> keys;
    // "install", "enable", "remove" and "paste", in the order they happened.
    std::vector<std::string> calls;

    bool isTrusted() override { return trusted; }
    bool install(const std::vector<KeyCombination>& combinations, Callbacks callbacks) override
    {
        calls.emplace_back("install");
        if (!trusted || failInstall)
            return false;
        installed = true;
        keys = combinations;
        callbacks_ = std::move(callbacks);
        return true;
    }
    bool enable() override
    {
        calls.emplace_back("enable");
        return installed && !failEnable;
    }
    void remove() override
    {
        calls.emplace_back("remove");
        installed = false;
        callbacks_ = {};
    }
    bool postPaste() override
    {
        calls.emplace_back("paste");
        return !failPaste;
    }

    // Delivers a press as the system would; nothing when nothing is installed.
    std::optional<Disposition> press(std::int64_t keyCode, std::int64_t flags)
    {
        if (!installed || !callbacks_.keyPressed)
            return std::nullopt;
        return callbacks_.keyPressed(KeyPress{keyCode, flags});
    }
    // The system switching the interception off.
    void switchOff()
    {
        if (installed && callbacks_.switchedOff)
            callbacks_.switchedOff();
    }

private:
    Callbacks callbacks_;
};

} // namespace lumeno::platform::memory
