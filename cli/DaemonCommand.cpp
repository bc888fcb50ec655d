// lumeno daemon: the application without windows. Watches for the trigger on
// X11, transforms the clipboard and pastes on every press, and re-registers
// whenever the settings change, until SIGINT or SIGTERM.
#include "AppLifecycle.h"
#include "CommandLine.h"
#include "FileSettingsStore.h"
#include "SystemLog.h"
#include "X11KeyEventTap.h"
#include "X11Pasteboard.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/signalfd.h>
#include <vector>

namespace lumeno::cli {

namespace {

namespace desktop = lumeno::platform::linux_desktop;

// The X11 clipboard, connected on first use: the daemon may start before a
// display is reachable and wait for one.
class DeferredPasteboard : public platform::Pasteboard {
public:
    explicit DeferredPasteboard(platform::Log& log) : log_(log) {}

    std::optional<std::string> readString(platform::Flavor flavor) override
    {
        return connect() ? pasteboard_->readString(flavor) : std::nullopt;
    }
    void writeItem(const std::string& plain, const std::string& html) override
    {
        if (connect())
            pasteboard_->writeItem(plain, html);
    }
    desktop::X11Pasteboard* connected() const { return pasteboard_.get(); }

private:
    bool connect()
    {
        if (!pasteboard_)
            pasteboard_ = desktop::X11Pasteboard::open(log_);
        return pasteboard_ != nullptr;
    }

    platform::Log& log_;
    std::unique_ptr<desktop::X11Pasteboard> pasteboard_;
};

// SIGINT and SIGTERM as a readable descriptor.
int openSignalDescriptor()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

} // namespace

int runDaemon(int, char**)
{
    const int signals = openSignalDescriptor();
    if (signals < 0)
        return fail(std::string("cannot watch for signals: ") + std::strerror(errno), 1);

    desktop::SystemLog log;
    desktop::FileSettingsStore settings(desktop::FileSettingsStore::defaultDirectory(), log);
    settings.startWatching();
    DeferredPasteboard pasteboard(log);
    ClipboardManager clipboard(pasteboard);
    desktop::X11KeyEventTap tap(log);
    GlobalHotKey hotKey(tap, log);
    AppLifecycle app(settings, log, hotKey, clipboard, [&tap] { return tap.isTrusted(); });
    app.start();

    const auto lost = [&log] {
        log.write("[Lumeno] ERROR: The connection to the X server was lost; the daemon stops.");
        return 1;
    };
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextTrustPoll = Clock::now() + AppLifecycle::trustPollInterval;
    while (true) {
        // Events may already wait in the connections' queues.
        if (tap.processEvents() == desktop::X11KeyEventTap::Status::connectionLost)
            return lost();
        desktop::X11Pasteboard* x11 = pasteboard.connected();
        if (x11) {
            x11->processEvents();
            if (x11->hasFailed())
                return lost();
        }
        settings.processEvents();

        std::vector<pollfd> fds{{signals, POLLIN, 0}};
        for (const int fd : {tap.fileDescriptor(), x11 ? x11->fileDescriptor() : -1, settings.fileDescriptor()})
            if (fd >= 0)
                fds.push_back({fd, POLLIN, 0});
        int timeout = -1;
        if (app.isWaitingForTrust()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextTrustPoll - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR)
            return fail(std::string("cannot wait for events: ") + std::strerror(errno), 1);
        if (app.isWaitingForTrust() && Clock::now() >= nextTrustPoll) {
            app.pollTrust();
            nextTrustPoll = Clock::now() + AppLifecycle::trustPollInterval;
        }
        if (fds[0].revents & POLLIN)
            break;
    }

    log.write("[Lumeno] Stopping");
    hotKey.unregister();
    // What the last transform put on the clipboard outlives the daemon.
    if (desktop::X11Pasteboard* x11 = pasteboard.connected(); x11 && x11->ownsSelection())
        x11->serveInBackground();
    return 0;
}

} // namespace lumeno::cli
