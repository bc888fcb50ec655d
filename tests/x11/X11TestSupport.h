// For tests and benchmarks on a real X server: a private Xvfb, and a client
// that plays both the user's keyboard (through XTEST) and the focused
// application (a window that records the key events it receives).
#pragma once

#include "XvfbServer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace lumeno::testing {

// The private Xvfb that every X11 test starts.
using XvfbServer = test::XvfbServer;

class TestClient {
public:
    struct KeyEvent {
        bool press;
        std::uint32_t keysym;  // at the first level of the key
        std::uint16_t state;
    };

    // Connects, and maps a window that takes the input focus.
    explicit TestClient(const std::string& display);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool isConnected() const;
    int fileDescriptor() const;

    // The user's keyboard.
    void press(std::uint32_t keysym);
    void release(std::uint32_t keysym);
    // Press all in order, or release all in reverse order.
    void press(const std::vector<std::uint32_t>& keysyms);
    void release(const std::vector<std::uint32_t>& keysyms);
    // Whether a passive grab of the key with exactly these X modifiers
    // succeeds; the grab is dropped again at once.
    bool canGrab(std::uint32_t keysym, std::uint16_t modifiers);
    // Holds a grab, as another shortcut program would.
    bool grab(std::uint32_t keysym, std::uint16_t modifiers);
    // Puts V on a second, spare key as well.
    void changeKeyboardMapping();

    // The key events that reached the window, in order.
    const std::vector<KeyEvent>& events() const { return events_; }
    void clearEvents() { events_.clear(); }
    // Presses of `keysym` seen so far.
    std::vector<KeyEvent> pressesOf(std::uint32_t keysym) const;
    // Reads what has arrived without waiting.
    void readEvents();

private:
    std::uint8_t keycode(std::uint32_t keysym) const;

    xcb_connection_t* connection_ = nullptr;
    _XCBKeySymbols* symbols_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint32_t window_ = 0;
    std::vector<KeyEvent> events_;
};

// Waits on both connections, calling `processEvents` and reading the test
// client, until `done` holds or the time is up; returns `done()`. A null
// `done` just runs for the whole time.
bool pumpUntil(int tapDescriptor, const std::function<void()>& processEvents, TestClient& client,
               const std::function<bool()>& done, std::chrono::milliseconds timeout);

} // namespace lumeno::testing
