#include "X11KeyEventTap.h"

#include "HotKeySettings.h"
#include "X11KeyCodes.h"
#include "XcbPointer.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

namespace lumeno::platform::linux_desktop {

namespace {

// Caps lock travels in the flags as on every system; the decision ignores it.
constexpr std::int64_t capsLockFlag = 0x10000;

std::string describe(const KeyCombination& key)
{
    std::string text;
    if (key.modifiers & ModifierFlags::control)
        text += "Super+";
    if (key.modifiers & ModifierFlags::option)
        text += "Alt+";
    if (key.modifiers & ModifierFlags::command)
        text += "Control+";
    if (key.modifiers & ModifierFlags::shift)
        text += "Shift+";
    const auto keysym = keysymForKeyCode(key.keyCode);
    if (keysym && *keysym > 0x20 && *keysym < 0x7f)
        text += char(std::toupper(int(*keysym)));
    else
        text += "key code " + std::to_string(key.keyCode);
    return text;
}

} // namespace

X11KeyEventTap::X11KeyEventTap(Log& log, std::string displayName) : log_(&log), displayName_(std::move(displayName)) {}

X11KeyEventTap::~X11KeyEventTap()
{
    remove();
    if (symbols_)
        xcb_key_symbols_free(symbols_);
    if (connection_)
        xcb_disconnect(connection_);
}

bool X11KeyEventTap::isConnected() const
{
    return connection_ && !xcb_connection_has_error(connection_);
}

bool X11KeyEventTap::connect()
{
    if (connection_)
        return isConnected();
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName_.empty() ? nullptr : displayName_.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    connection_ = connection;
    root_ = screens.data->root;
    symbols_ = xcb_key_symbols_alloc(connection_);
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection_, &xcb_test_id);
    hasXTest_ = xtest && xtest->present;
    readModifierMapping();
    return isConnected();
}

bool X11KeyEventTap::isTrusted()
{
    return connect() && hasXTest_;
}

int X11KeyEventTap::fileDescriptor() const
{
    return connection_ ? xcb_get_file_descriptor(connection_) : -1;
}

void X11KeyEventTap::readModifierMapping()
{
    altMask_ = XCB_MOD_MASK_1;
    superMask_ = XCB_MOD_MASK_4;
    numLockMask_ = 0;
    modifierKeys_.clear();
    XcbPointer<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr));
    if (!mapping)
        return;
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    // Rows: Shift, Lock, Control, Mod1 to Mod5.
    for (int row = 0; row < 8; ++row) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[row * perModifier + i];
            if (keycode == 0)
                continue;
            const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(symbols_, keycode, 0);
            const auto mask = std::uint16_t(1u << row);
            if (keysym == XK_Num_Lock)
                numLockMask_ = mask;
            else if (row >= 3 && (keysym == XK_Alt_L || keysym == XK_Alt_R || keysym == XK_Meta_L))
                altMask_ = mask;
            else if (row >= 3 && (keysym == XK_Super_L || keysym == XK_Super_R))
                superMask_ = mask;
            if (row != 1 && keysym != XK_Num_Lock)
                modifierKeys_.push_back(keycode);
        }
    }
}

std::uint16_t X11KeyEventTap::maskForModifiers(std::int64_t modifiers) const
{
    std::uint16_t mask = 0;
    if (modifiers & ModifierFlags::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & ModifierFlags::command)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & ModifierFlags::control)
        mask |= superMask_;
    if (modifiers & ModifierFlags::option)
        mask |= altMask_;
    return mask;
}

std::int64_t X11KeyEventTap::flagsForState(std::uint16_t state) const
{
    std::int64_t flags = 0;
    if (state & XCB_MOD_MASK_SHIFT)
        flags |= ModifierFlags::shift;
    if (state & XCB_MOD_MASK_CONTROL)
        flags |= ModifierFlags::command;
    if (state & superMask_)
        flags |= ModifierFlags::control;
    if (state & altMask_)
        flags |= ModifierFlags::option;
    if (state & XCB_MOD_MASK_LOCK)
        flags |= capsLockFlag;
    return flags;
}

std::vector<std::uint8_t> X11KeyEventTap::keycodesFor(std::uint32_t keysym) const
{
    std::vector<std::uint8_t> result;
    XcbPointer<xcb_keycode_t> keycodes(xcb_key_symbols_get_keycode(symbols_, keysym));
    for (const xcb_keycode_t* k = keycodes.get(); k && *k != XCB_NO_SYMBOL; ++k)
        if (std::find(result.begin(), result.end(), *k) == result.end())
            result.push_back(*k);
    return result;
}

bool X11KeyEventTap::planGrabs(std::vector<Grab>& grabs, std::map<std::uint8_t, std::int64_t>& keyCodes) const
{
    std::vector<std::uint16_t> lockVariants{0, XCB_MOD_MASK_LOCK};
    if (numLockMask_)
        lockVariants.insert(lockVariants.end(), {numLockMask_, std::uint16_t(numLockMask_ | XCB_MOD_MASK_LOCK)});

    for (const auto& key : keys_) {
        const auto keysym = keysymForKeyCode(key.keyCode);
        const auto keycodes = keysym ? keycodesFor(*keysym) : std::vector<std::uint8_t>{};
        if (keycodes.empty()) {
            log_->write("[Lumeno] ERROR: Key code " + std::to_string(key.keyCode) +
                        " has no key on this keyboard; choose another shortcut.");
            return false;
        }
        for (const auto keycode : keycodes) {
            keyCodes[keycode] = key.keyCode;
            for (const auto variant : lockVariants)
                grabs.push_back({keycode, std::uint16_t(maskForModifiers(key.modifiers) | variant)});
        }
    }
    return true;
}

bool X11KeyEventTap::grabAll()
{
    std::vector<Grab> grabs;
    std::map<std::uint8_t, std::int64_t> keyCodes;
    if (!planGrabs(grabs, keyCodes))
        return false;

    std::vector<xcb_void_cookie_t> cookies;
    for (const auto& grab : grabs)
        cookies.push_back(xcb_grab_key_checked(connection_, 0, root_, grab.modifiers, grab.keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
    bool refused = false;
    for (auto cookie : cookies)
        if (XcbPointer<xcb_generic_error_t> error{xcb_request_check(connection_, cookie)})
            refused = true;
    grabs_ = std::move(grabs);
    if (refused) {
        // Ungrabbing a combination another client holds leaves its grab alone.
        // Wait for the server, so that a refused registration has let go of
        // every variant by the time it is reported.
        ungrabAll();
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        std::string names;
        for (const auto& key : keys_)
            names += (names.empty() ? "" : ", ") + describe(key);
        log_->write("[Lumeno] ERROR: Another program already uses " + names +
                    " as a shortcut; free it there or choose another shortcut.");
        return false;
    }
    keyCodeByKeycode_ = std::move(keyCodes);
    return true;
}

void X11KeyEventTap::ungrabAll()
{
    for (const auto& grab : grabs_)
        xcb_ungrab_key(connection_, grab.keycode, root_, grab.modifiers);
    grabs_.clear();
    keyCodeByKeycode_.clear();
}

bool X11KeyEventTap::install(const std::vector<KeyCombination>& keys, Callbacks callbacks)
{
    remove();
    if (!isTrusted())
        return false;
    keys_ = keys;
    if (!grabAll()) {
        keys_.clear();
        xcb_flush(connection_);
        return false;
    }
    installed_ = armed_ = true;
    callbacks_ = std::move(callbacks);
    xcb_flush(connection_);
    return true;
}

bool X11KeyEventTap::enable()
{
    if (!installed_ || !isConnected())
        return false;
    if (!armed_)
        armed_ = grabAll();
    xcb_flush(connection_);
    return armed_;
}

void X11KeyEventTap::remove()
{
    if (armed_ && isConnected()) {
        ungrabAll();
        xcb_flush(connection_);
    }
    grabs_.clear();
    keyCodeByKeycode_.clear();
    installed_ = armed_ = switchedOffPending_ = false;
    keys_.clear();
    callbacks_ = {};
}

X11KeyEventTap::Status X11KeyEventTap::processEvents()
{
    if (!connection_)
        return Status::ok;
    while (XcbPointer<xcb_generic_event_t> event{xcb_poll_for_event(connection_)}) {
        switch (eventType(*event)) {
        case XCB_KEY_PRESS: {
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event.get());
            handleKeyPress(press->detail, press->state, press->time);
            break;
        }
        case XCB_MAPPING_NOTIFY:
            handleMappingChange(reinterpret_cast<xcb_mapping_notify_event_t*>(event.get()));
            break;
        default:
            // Errors of unchecked requests (an AllowEvents that came too
            // late, say) and every other event need no answer.
            break;
        }
    }
    if (switchedOffPending_) {
        switchedOffPending_ = false;
        if (installed_ && callbacks_.switchedOff) {
            const auto switchedOff = callbacks_.switchedOff;
            switchedOff();
        }
    }
    return isConnected() ? Status::ok : Status::connectionLost;
}

void X11KeyEventTap::handleKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time)
{
    holdingPress_ = true;
    heldPressTime_ = time;
    Disposition disposition = Disposition::passOn;
    const auto key = keyCodeByKeycode_.find(keycode);
    if (armed_ && key != keyCodeByKeycode_.end() && callbacks_.keyPressed) {
        // A copy: the callback may register anew and so replace callbacks_.
        const auto keyPressed = callbacks_.keyPressed;
        try {
            disposition = keyPressed(KeyPress{key->second, flagsForState(state)});
        } catch (...) {
            // The keyboard must not stay frozen, whatever went wrong.
            disposition = Disposition::passOn;
        }
    }
    if (holdingPress_)
        releaseHeldPress(disposition);
    xcb_flush(connection_);
}

void X11KeyEventTap::releaseHeldPress(Disposition disposition)
{
    holdingPress_ = false;
    if (disposition == Disposition::passOn) {
        // The press goes to the focused window as if it had not been grabbed,
        // and the grab it activated ends.
        xcb_allow_events(connection_, XCB_ALLOW_REPLAY_KEYBOARD, heldPressTime_);
        return;
    }
    // The grab activated by the press would last until the key comes up and
    // take every key event until then, the paste's included.
    xcb_allow_events(connection_, XCB_ALLOW_ASYNC_KEYBOARD, heldPressTime_);
    xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
}

void X11KeyEventTap::handleMappingChange(xcb_mapping_notify_event_t* event)
{
    if (event->request == XCB_MAPPING_POINTER)
        return;
    xcb_refresh_keyboard_mapping(symbols_, event);
    readModifierMapping();
    // The grabs name keycodes, which may now stand for other keys. Servers
    // also announce a change whenever input switches between keyboards, so
    // most notices change nothing here.
    std::vector<Grab> grabs;
    std::map<std::uint8_t, std::int64_t> keyCodes;
    if (armed_ && (!planGrabs(grabs, keyCodes) || grabs != grabs_)) {
        ungrabAll();
        armed_ = false;
        switchedOffPending_ = true;
    }
}

std::vector<std::uint8_t> X11KeyEventTap::heldModifierKeys(std::uint8_t otherKey, bool& otherKeyIsDown)
{
    std::vector<std::uint8_t> held;
    otherKeyIsDown = false;
    XcbPointer<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr));
    if (!keymap)
        return held;
    const auto isDown = [&](std::uint8_t keycode) { return (keymap->keys[keycode / 8] & (1u << (keycode % 8))) != 0; };
    for (const auto keycode : modifierKeys_)
        if (isDown(keycode))
            held.push_back(keycode);
    otherKeyIsDown = isDown(otherKey);
    return held;
}

void X11KeyEventTap::fakeKey(bool press, std::uint8_t keycode)
{
    xcb_test_fake_input(connection_, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE, 0,
                        0, 0);
}

bool X11KeyEventTap::postPaste()
{
    if (!isTrusted())
        return false;
    const auto vKeys = keycodesFor(XK_v);
    auto controlKeys = keycodesFor(XK_Control_L);
    if (controlKeys.empty())
        controlKeys = keycodesFor(XK_Control_R);
    if (vKeys.empty() || controlKeys.empty())
        return false;
    const std::uint8_t v = vKeys.front();
    const std::uint8_t control = controlKeys.front();

    if (holdingPress_)
        releaseHeldPress(Disposition::swallow);
    // The server handles the fake input before any later request, so the
    // paste has passed by the time the grabs are back.
    const bool regrab = armed_;
    if (regrab)
        ungrabAll();

    bool vIsDown = false;
    const auto held = heldModifierKeys(v, vIsDown);
    for (const auto keycode : held)
        fakeKey(false, keycode);
    // The server drops a press of a key that is already down on the same
    // device, as the V of a trigger held on the keyboard we post through.
    if (vIsDown)
        fakeKey(false, v);
    fakeKey(true, control);
    fakeKey(true, v);
    fakeKey(false, v);
    fakeKey(false, control);

    // Press again only what the releases above actually let go of: a key
    // that stayed down belongs to another device and must not be pressed on
    // this one, where nothing would ever release it.
    const std::vector<std::uint8_t> stillHeld = heldModifierKeys(v, vIsDown);
    for (const auto keycode : held)
        if (std::find(stillHeld.begin(), stillHeld.end(), keycode) == stillHeld.end())
            fakeKey(true, keycode);

    if (regrab && !grabAll()) {
        armed_ = false;
        switchedOffPending_ = true;
    }
    xcb_flush(connection_);
    return true;
}

} // namespace lumeno::platform::linux_desktop
