// What the running application does without any window: at start it checks
// that it may intercept keys (and polls once a second until it may),
// registers the transform command as the trigger's handler, and registers it
// again on every change of the settings. Driven by the daemon and the tray.
#pragma once

#include "Clipboard.h"
#include "GlobalHotKey.h"
#include "Platform.h"

#include <chrono>
#include <functional>

namespace lumeno {

class AppLifecycle {
public:
    static constexpr std::chrono::seconds trustPollInterval{1};

    // isTrusted: whether keys may be intercepted and posted now.
    AppLifecycle(platform::SettingsStore& settings, platform::Log& log, GlobalHotKey& hotKey,
                 ClipboardManager& clipboard, std::function<bool()> isTrusted);
    ~AppLifecycle();
    AppLifecycle(const AppLifecycle&) = delete;
    AppLifecycle& operator=(const AppLifecycle&) = delete;

    // The launch: log, check trust, register, watch the settings.
    void start();
    // Whether the owner's loop should call pollTrust() every trustPollInterval.
    bool isWaitingForTrust() const { return waitingForTrust_; }
    // One poll: once trusted, registers again and stops waiting.
    void pollTrust();
    // Registers the trigger with the configuration now in the settings.
    void registerGlobalHotKey();

private:
    void requestAccessibility();
    void observeSettingsChanges();

    platform::SettingsStore& settings_;
    platform::Log& log_;
    GlobalHotKey& hotKey_;
    ClipboardManager& clipboard_;
    std::function<bool()> isTrusted_;
    bool waitingForTrust_ = false;
    int settingsObserver_ = 0;
};

} // namespace lumeno
