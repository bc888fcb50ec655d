// The trigger: recognises the configured key press, runs the handler while
// the press is held back, then either lets the press through or swallows it
// and posts the paste command in its place.
#pragma once

#include "HotKeySettings.h"
#include "Platform.h"

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <vector>

namespace lumeno {

class GlobalHotKey {
public:
    // What a recognised trigger does, in two steps. The handler runs on a
    // worker thread while the key press waits; once `stop` is requested its
    // result is no longer wanted and it may return early. The action it
    // returns (which may be empty) runs on the event thread before the key
    // press is released, and only when the handler finished within the time
    // limit: writes that must not happen after an abandoned run, such as the
    // clipboard write, belong there.
    using Action = std::function<void()>;
    using Handler = std::function<Action(std::stop_token stop)>;
    // For work that needs something only the event thread may touch (such as
    // a clipboard connection): runs on the event thread when the trigger is
    // recognised and returns the handler for the worker, or an empty one when
    // there is nothing to do.
    using Preparation = std::function<Handler()>;

    // What a key press leads to.
    struct Decision {
        bool runHandler = false;
        bool postPaste = false;
        bool swallow = false;
        friend bool operator==(const Decision&, const Decision&) = default;
    };

    static constexpr std::chrono::milliseconds defaultHandlerTimeLimit{1000};

    GlobalHotKey(platform::KeyEventTap& tap, platform::Log& log,
                 std::chrono::milliseconds handlerTimeLimit = defaultHandlerTimeLimit);
    ~GlobalHotKey();
    GlobalHotKey(const GlobalHotKey&) = delete;
    GlobalHotKey& operator=(const GlobalHotKey&) = delete;

    // The process's instance, never destroyed. Entry points install the
    // system's tap and the log once at start; until then every registration
    // fails.
    static GlobalHotKey& shared();
    static void installEventTap(std::unique_ptr<platform::KeyEventTap> tap, platform::Log& log);

    // Replaces any earlier registration: the earlier interception is removed
    // first, then handler and configuration are stored (also when the new
    // interception cannot be installed).
    void registerHandler(Handler handler, const HotKeyConfiguration& configuration);
    // The same with a handler prepared on the event thread at each trigger.
    void registerPreparedHandler(Preparation prepare, const HotKeyConfiguration& configuration);
    // Removes the interception; handler and configuration stay stored.
    void unregister();
    // Posts the paste command at once.
    void pasteNow();

    bool isRegistered() const { return installed_; }

    // The decision over one key press: the four modifier bits are compared
    // exactly and every other flag bit is ignored.
    static Decision decide(std::int64_t keyCode, std::int64_t flags, const HotKeyConfiguration& configuration);
    // The presses the tap must deliver for a configuration.
    static std::vector<platform::KeyCombination> interceptedKeys(const HotKeyConfiguration& configuration);

private:
    struct Run;

    // True swallows the press.
    bool handleEvent(const platform::KeyPress& press);
    // False when the handler failed or overran: the press then goes on unchanged.
    bool runHandler(Handler handler);
    void simulatePaste();
    void reenable();

    platform::KeyEventTap* tap_;
    platform::Log* log_;
    std::chrono::milliseconds handlerTimeLimit_;
    bool installed_ = false;
    Preparation prepare_;
    HotKeyConfiguration configuration_ = HotKeyConfiguration::defaultConfiguration();
    // The run abandoned at the time limit, while it is still going.
    std::shared_ptr<Run> abandoned_;
};

} // namespace lumeno
