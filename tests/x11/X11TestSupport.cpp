#include "X11TestSupport.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumeno::testing {

// ----- XvfbServer

// ----- TestClient

TestClient::TestClient(const std::string& display)
{
    int screenNumber = 0;
    connection_ = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection_))
        return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    root_ = screen->root;
    symbols_ = xcb_key_symbols_alloc(connection_);

    window_ = xcb_generate_id(connection_);
    const std::uint32_t eventMask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 200, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &eventMask);
    xcb_map_window(connection_, window_);
    // No window manager: the window is viewable at once and may take the focus.
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, XCB_CURRENT_TIME);
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

TestClient::~TestClient()
{
    if (symbols_)
        xcb_key_symbols_free(symbols_);
    xcb_disconnect(connection_);
}

bool TestClient::isConnected() const
{
    return !xcb_connection_has_error(connection_);
}

int TestClient::fileDescriptor() const
{
    return xcb_get_file_descriptor(connection_);
}

std::uint8_t TestClient::keycode(std::uint32_t keysym) const
{
    xcb_keycode_t* keycodes = xcb_key_symbols_get_keycode(symbols_, keysym);
    const std::uint8_t first = keycodes ? keycodes[0] : 0;
    std::free(keycodes);
    return first;
}

void TestClient::press(std::uint32_t keysym)
{
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, keycode(keysym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection_);
}

void TestClient::release(std::uint32_t keysym)
{
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, keycode(keysym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection_);
}

void TestClient::press(const std::vector<std::uint32_t>& keysyms)
{
    for (const auto keysym : keysyms)
        press(keysym);
}

void TestClient::release(const std::vector<std::uint32_t>& keysyms)
{
    for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it)
        release(*it);
}

bool TestClient::grab(std::uint32_t keysym, std::uint16_t modifiers)
{
    auto cookie = xcb_grab_key_checked(connection_, 0, root_, modifiers, keycode(keysym), XCB_GRAB_MODE_ASYNC,
                                       XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
    std::free(error);
    return error == nullptr;
}

bool TestClient::canGrab(std::uint32_t keysym, std::uint16_t modifiers)
{
    if (!grab(keysym, modifiers))
        return false;
    xcb_ungrab_key(connection_, keycode(keysym), root_, modifiers);
    xcb_flush(connection_);
    return true;
}

void TestClient::changeKeyboardMapping()
{
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const xcb_keysym_t keysyms[] = {XK_v, XK_V};
    xcb_change_keyboard_mapping(connection_, 1, setup->max_keycode, 2, keysyms);
    xcb_flush(connection_);
}

std::vector<TestClient::KeyEvent> TestClient::pressesOf(std::uint32_t keysym) const
{
    std::vector<KeyEvent> presses;
    for (const auto& event : events_)
        if (event.press && event.keysym == keysym)
            presses.push_back(event);
    return presses;
}

void TestClient::readEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        const int type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            events_.push_back({type == XCB_KEY_PRESS, xcb_key_symbols_get_keysym(symbols_, key->detail, 0), key->state});
        } else if (type == XCB_MAPPING_NOTIFY) {
            xcb_refresh_keyboard_mapping(symbols_, reinterpret_cast<xcb_mapping_notify_event_t*>(event));
        }
        std::free(event);
    }
}

bool pumpUntil(int tapDescriptor, const std::function<void()>& processEvents, TestClient& client,
               const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        processEvents();
        client.readEvents();
        if (done && done())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[] = {{tapDescriptor, POLLIN, 0}, {client.fileDescriptor(), POLLIN, 0}};
        poll(fds, 2, int(std::min<long>(left.count(), 10)));
    }
}

} // namespace lumeno::testing
