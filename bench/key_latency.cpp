// Key-path latency: on a private Xvfb, XTEST presses the trigger and a window
// of ours waits for the press the interception lets through (the synthetic
// Control+V in the default mode, the replayed Control+V in override mode).
// The time between the two is what a user feels: the keyboard is frozen for
// all of it. The handler stands in for the transform by keeping a core busy
// for the given time on its worker thread; with --clipboard FILE the real
// transform runs instead, as the daemon wires it, on a clipboard that xclip
// fills with FILE before every press.
//
// usage: key_latency [--work-ms N | --clipboard FILE] [--presses N] [--override]
//
// Build with -DLUMENO_BUILD_BENCHMARKS=ON; run alone on a quiet machine.
#include "AppLifecycle.h"
#include "GlobalHotKey.h"
#include "MemoryPlatform.h"
#include "X11Pasteboard.h"
#include "X11KeyEventTap.h"
#include "x11/X11TestSupport.h"

#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <thread>

using namespace lumeno;
using Clock = std::chrono::steady_clock;

namespace {

class DiscardingLog : public platform::Log {
public:
    std::atomic<int> errors{0};
    void write(std::string_view line) override
    {
        if (line.find("ERROR") != std::string_view::npos) {
            ++errors;
            std::fprintf(stderr, "%.*s\n", int(line.size()), line.data());
        }
    }
};

void keepBusy(std::chrono::microseconds duration, const std::stop_token& stop)
{
    const auto end = Clock::now() + duration;
    volatile unsigned sink = 0;
    while (Clock::now() < end && !stop.stop_requested())
        for (int i = 0; i < 1000; ++i)
            sink = sink + i;
}

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    double workMs = 0;
    int presses = 50;
    bool overrideMode = false;
    std::string clipboardFile;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--work-ms") && i + 1 < argc)
            workMs = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--clipboard") && i + 1 < argc)
            clipboardFile = argv[++i];
        else if (!std::strcmp(argv[i], "--presses") && i + 1 < argc)
            presses = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--override"))
            overrideMode = true;
        else {
            std::fprintf(stderr, "usage: key_latency [--work-ms N | --clipboard FILE] [--presses N] [--override]\n");
            return 2;
        }
    }

    testing::XvfbServer xvfb;
    if (!xvfb.start()) {
        std::fprintf(stderr, "key_latency: Xvfb did not start\n");
        return 1;
    }

    // The interception runs on its own thread, as in the daemon; every call
    // into it stays on that thread.
    DiscardingLog log;
    std::atomic<bool> registered{false}, failed{false}, stopping{false};
    std::thread eventThread([&] {
        platform::linux_desktop::X11KeyEventTap tap(log, xvfb.display());
        GlobalHotKey hotKey(tap, log);
        const auto work = std::chrono::microseconds(std::int64_t(workMs * 1000));
        const HotKeyConfiguration configuration =
            overrideMode ? HotKeyConfiguration{PasteShortcutMode::overridePasteCommand, 9, 0}
                         : HotKeyConfiguration::defaultConfiguration();
        std::unique_ptr<platform::linux_desktop::X11Pasteboard> pasteboard;
        std::unique_ptr<ClipboardManager> clipboard;
        platform::memory::MemorySettingsStore settings;
        std::unique_ptr<AppLifecycle> lifecycle;
        if (clipboardFile.empty()) {
            hotKey.registerHandler(
                [work](std::stop_token stop) {
                    keepBusy(work, stop);
                    return GlobalHotKey::Action{};
                },
                configuration);
        } else {
            pasteboard = platform::linux_desktop::X11Pasteboard::open(log, xvfb.display().c_str());
            if (!pasteboard) {
                failed = true;
                return;
            }
            clipboard = std::make_unique<ClipboardManager>(*pasteboard);
            if (overrideMode)
                settings.values["shortcutMode"] = std::string("overridePasteCommand");
            lifecycle = std::make_unique<AppLifecycle>(settings, log, hotKey, *clipboard, [] { return true; });
            lifecycle->start();
        }
        if (!hotKey.isRegistered()) {
            failed = true;
            return;
        }
        registered = true;
        while (!stopping) {
            if (tap.processEvents() != platform::linux_desktop::X11KeyEventTap::Status::ok)
                break;
            std::vector<pollfd> fds{{tap.fileDescriptor(), POLLIN, 0}};
            if (pasteboard) {
                pasteboard->processEvents();
                fds.push_back({pasteboard->fileDescriptor(), POLLIN, 0});
            }
            poll(fds.data(), fds.size(), 20);
        }
    });
    while (!registered && !failed)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (failed) {
        eventThread.join();
        std::fprintf(stderr, "key_latency: the trigger could not be registered\n");
        return 1;
    }

    testing::TestClient app(xvfb.display());
    const std::vector<std::uint32_t> modifiers =
        overrideMode ? std::vector<std::uint32_t>{XK_Control_L} : std::vector<std::uint32_t>{XK_Control_L, XK_Shift_L};
    const auto waitFor = [&](const std::function<bool()>& done) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!done() && Clock::now() < deadline) {
            pollfd fd{app.fileDescriptor(), POLLIN, 0};
            poll(&fd, 1, 5);
            app.readEvents();
        }
        return done();
    };

    std::vector<double> latencies;
    const std::string fill = "DISPLAY=" + xvfb.display() + " xclip -selection clipboard -i '" + clipboardFile + "'";
    for (int i = 0; i < presses; ++i) {
        if (!clipboardFile.empty() && std::system(fill.c_str()) != 0) {
            std::fprintf(stderr, "key_latency: xclip could not fill the clipboard\n");
            break;
        }
        // xclip's background child takes the selection a moment after it returns.
        if (!clipboardFile.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        app.clearEvents();
        app.press(modifiers);
        const auto start = Clock::now();
        app.press(XK_v);
        if (!waitFor([&] { return !app.pressesOf(XK_v).empty(); })) {
            std::fprintf(stderr, "key_latency: press %d never reached the window\n", i + 1);
            break;
        }
        latencies.push_back(milliseconds(Clock::now() - start));
        app.release(XK_v);
        app.release(modifiers);
        // Let the releases pass before the next press.
        const auto settle = Clock::now() + std::chrono::milliseconds(10);
        waitFor([&] { return Clock::now() >= settle; });
    }

    stopping = true;
    eventThread.join();
    if (latencies.size() != std::size_t(presses))
        return 1;

    std::sort(latencies.begin(), latencies.end());
    const std::size_t n = latencies.size();
    const double median = n % 2 ? latencies[n / 2] : (latencies[n / 2 - 1] + latencies[n / 2]) / 2;
    const std::string work = clipboardFile.empty() ? "work=" + std::to_string(workMs) + " ms"
                                                   : "clipboard=" + clipboardFile;
    std::printf("mode=%s %s presses=%zu: median %.2f ms, worst %.2f ms, best %.2f ms\n",
                overrideMode ? "overridePasteCommand" : "specialHotKey", work.c_str(), n, median, latencies.back(),
                latencies.front());
    return log.errors ? 1 : 0;
}
