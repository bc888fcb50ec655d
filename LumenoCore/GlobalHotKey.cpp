#include "GlobalHotKey.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace lumeno {

namespace {

constexpr std::int64_t vKeyCode = 9;
constexpr std::int64_t nonCommandModifiers = ModifierFlags::shift | ModifierFlags::control | ModifierFlags::option;
constexpr std::int64_t allModifiers = nonCommandModifiers | ModifierFlags::command;

// Stands in for the system's tap until one is installed.
class NoEventTap : public platform::KeyEventTap {
public:
    bool isTrusted() override { return false; }
    bool install(const std::vector<platform::KeyCombination>&, Callbacks) override { return false; }
    bool enable() override { return false; }
    void remove() override {}
    bool postPaste() override { return false; }
};

class StandardErrorLog : public platform::Log {
public:
    void write(std::string_view line) override { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); }
};

std::string describe(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace

// One handler run, shared with its worker thread so that the worker can
// finish on its own after the event thread has stopped waiting for it.
struct GlobalHotKey::Run {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    Action action;
    std::exception_ptr error;
    std::stop_source stop;

    bool waitFor(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex);
        return finished.wait_for(lock, limit, [this] { return done; });
    }
    bool isDone()
    {
        std::lock_guard lock(mutex);
        return done;
    }
};

GlobalHotKey::GlobalHotKey(platform::KeyEventTap& tap, platform::Log& log, std::chrono::milliseconds handlerTimeLimit)
    : tap_(&tap), log_(&log), handlerTimeLimit_(handlerTimeLimit)
{
}

GlobalHotKey::~GlobalHotKey()
{
    unregister();
    // The abandoned handler may still use what its owner lent it.
    if (abandoned_) {
        std::unique_lock lock(abandoned_->mutex);
        abandoned_->finished.wait(lock, [this] { return abandoned_->done; });
    }
}

GlobalHotKey& GlobalHotKey::shared()
{
    static NoEventTap noTap;
    static StandardErrorLog standardError;
    static GlobalHotKey* instance = new GlobalHotKey(noTap, standardError);
    return *instance;
}

void GlobalHotKey::installEventTap(std::unique_ptr<platform::KeyEventTap> tap, platform::Log& log)
{
    static std::unique_ptr<platform::KeyEventTap> owner;
    GlobalHotKey& instance = shared();
    instance.unregister();
    owner = std::move(tap);
    instance.tap_ = owner.get();
    instance.log_ = &log;
}

GlobalHotKey::Decision GlobalHotKey::decide(std::int64_t keyCode, std::int64_t flags,
                                            const HotKeyConfiguration& configuration)
{
    const bool isPlainPaste = keyCode == vKeyCode && (flags & allModifiers) == ModifierFlags::command;
    if (configuration.mode == PasteShortcutMode::overridePasteCommand)
        return {.runHandler = isPlainPaste, .postPaste = false, .swallow = false};

    if (keyCode != configuration.keyCode)
        return {};
    if ((flags & ModifierFlags::command) != (configuration.modifiers & ModifierFlags::command))
        return {};
    if (((flags ^ configuration.modifiers) & nonCommandModifiers) != 0)
        return {};
    // A trigger that is itself the paste command goes on and pastes; any
    // other is replaced by one.
    if (isPlainPaste)
        return {.runHandler = true, .postPaste = false, .swallow = false};
    return {.runHandler = true, .postPaste = true, .swallow = true};
}

std::vector<platform::KeyCombination> GlobalHotKey::interceptedKeys(const HotKeyConfiguration& configuration)
{
    if (configuration.mode == PasteShortcutMode::overridePasteCommand)
        return {{vKeyCode, ModifierFlags::command}};
    return {{configuration.keyCode, configuration.modifiers & allModifiers}};
}

void GlobalHotKey::registerHandler(Handler handler, const HotKeyConfiguration& configuration)
{
    Preparation prepare;
    if (handler)
        prepare = [handler = std::move(handler)] { return handler; };
    registerPreparedHandler(std::move(prepare), configuration);
}

void GlobalHotKey::registerPreparedHandler(Preparation prepare, const HotKeyConfiguration& configuration)
{
    unregister();
    prepare_ = std::move(prepare);
    configuration_ = configuration;

    platform::KeyEventTap::Callbacks callbacks{
        .keyPressed =
            [this](const platform::KeyPress& press) {
                return handleEvent(press) ? platform::KeyEventTap::Disposition::swallow
                                          : platform::KeyEventTap::Disposition::passOn;
            },
        .switchedOff = [this] { reenable(); },
    };
    if (!tap_->install(interceptedKeys(configuration_), std::move(callbacks))) {
        log_->write("[Lumeno] ERROR: Failed to create event tap. Check accessibility permissions.");
        return;
    }
    installed_ = true;
    log_->write("[Lumeno] Global hotkey registered (mode=" +
                std::string(PasteShortcutModes::rawValue(configuration_.mode)) + ")");
}

void GlobalHotKey::unregister()
{
    if (!installed_)
        return;
    tap_->remove();
    installed_ = false;
}

void GlobalHotKey::pasteNow()
{
    simulatePaste();
}

void GlobalHotKey::reenable()
{
    if (!installed_)
        return;
    if (tap_->enable()) {
        log_->write("[Lumeno] Event tap re-enabled");
        return;
    }
    tap_->remove();
    installed_ = false;
    log_->write("[Lumeno] ERROR: Failed to create event tap. Check accessibility permissions.");
}

bool GlobalHotKey::handleEvent(const platform::KeyPress& press)
{
    const Decision decision = decide(press.keyCode, press.flags, configuration_);
    if (!decision.runHandler)
        return false;
    if (prepare_) {
        Handler handler;
        try {
            handler = prepare_();
        } catch (...) {
            log_->write("[Lumeno] ERROR: The transform failed (" + describe(std::current_exception()) +
                        "); the key press was passed on unchanged");
            return false;
        }
        if (handler && !runHandler(std::move(handler)))
            return false;
    }
    if (decision.postPaste)
        simulatePaste();
    return decision.swallow;
}

bool GlobalHotKey::runHandler(Handler handler)
{
    if (abandoned_) {
        if (!abandoned_->isDone()) {
            log_->write("[Lumeno] ERROR: The previous transform is still running; the key press was passed on unchanged");
            return false;
        }
        abandoned_.reset();
    }

    auto run = std::make_shared<Run>();
    auto work = [run, handler = std::move(handler)] {
        Action action;
        std::exception_ptr error;
        try {
            action = handler(run->stop.get_token());
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(run->mutex);
        run->action = std::move(action);
        run->error = error;
        run->done = true;
        run->finished.notify_all();
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error& e) {
        log_->write(std::string("[Lumeno] ERROR: The transform could not start (") + e.what() +
                    "); the key press was passed on unchanged");
        return false;
    }

    if (!run->waitFor(handlerTimeLimit_)) {
        run->stop.request_stop();
        abandoned_ = run;
        log_->write("[Lumeno] ERROR: The transform took longer than " + std::to_string(handlerTimeLimit_.count()) +
                    " ms and was abandoned; the clipboard is unchanged and the key press was passed on");
        return false;
    }

    std::exception_ptr error = run->error;
    if (!error && run->action) {
        try {
            run->action();
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (error) {
        log_->write("[Lumeno] ERROR: The transform failed (" + describe(error) +
                    "); the key press was passed on unchanged");
        return false;
    }
    return true;
}

void GlobalHotKey::simulatePaste()
{
    if (tap_->postPaste())
        log_->write("[Lumeno] Simulated Cmd+V paste");
    else
        log_->write("[Lumeno] ERROR: Failed to create paste events");
}

} // namespace lumeno
