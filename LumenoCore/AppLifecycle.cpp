#include "AppLifecycle.h"

#include "HotKeySettings.h"
#include "TransformCommand.h"

namespace lumeno {

AppLifecycle::AppLifecycle(platform::SettingsStore& settings, platform::Log& log, GlobalHotKey& hotKey,
                           ClipboardManager& clipboard, std::function<bool()> isTrusted)
    : settings_(settings), log_(log), hotKey_(hotKey), clipboard_(clipboard), isTrusted_(std::move(isTrusted))
{
}

AppLifecycle::~AppLifecycle()
{
    if (settingsObserver_)
        settings_.removeObserver(settingsObserver_);
}

void AppLifecycle::start()
{
    log_.write("[Lumeno] App launched");
    requestAccessibility();
    registerGlobalHotKey();
    observeSettingsChanges();
}

void AppLifecycle::requestAccessibility()
{
    const bool trusted = isTrusted_();
    log_.write(std::string("[Lumeno] Accessibility trusted: ") + (trusted ? "true" : "false"));
    if (trusted)
        return;
    log_.write("[Lumeno] Waiting for accessibility grant...");
    waitingForTrust_ = true;
}

void AppLifecycle::pollTrust()
{
    if (!waitingForTrust_ || !isTrusted_())
        return;
    log_.write("[Lumeno] Accessibility granted \xE2\x80\x94 registering hotkey");
    waitingForTrust_ = false;
    registerGlobalHotKey();
}

void AppLifecycle::registerGlobalHotKey()
{
    const HotKeyConfiguration configuration = HotKeySettings::load(settings_);
    log_.write("[Lumeno] Registering hotkey mode=" + std::string(PasteShortcutModes::rawValue(configuration.mode)));
    // The clipboard is read and written on the event thread; only the
    // conversion runs on the worker, so an abandoned one leaves the clipboard
    // as it was.
    hotKey_.registerPreparedHandler(
        [this]() -> GlobalHotKey::Handler {
            std::optional<TransformCommand::Source> source = TransformCommand::readSourceReporting(clipboard_, &log_);
            if (!source)
                return {};
            const bool replaceEmDash = settings_.boolValue("replaceEmDash");
            return [this, source = std::move(*source), replaceEmDash](std::stop_token) -> GlobalHotKey::Action {
                auto result = std::make_shared<TransformCommand::Result>(TransformCommand::convert(source, replaceEmDash));
                return [this, result] { TransformCommand::writeReporting(clipboard_, *result, &log_); };
            };
        },
        configuration);
}

void AppLifecycle::observeSettingsChanges()
{
    if (settingsObserver_)
        settings_.removeObserver(settingsObserver_);
    settingsObserver_ = settings_.addObserver([this] { registerGlobalHotKey(); });
}

} // namespace lumeno
