// Key interception and the synthetic paste on an X11 display, over xcb.
//
// Each intercepted combination is a passive grab on the root window, made
// once for every caps lock and num lock state, with the keyboard in
// synchronous mode: the server holds the keyboard at the grabbed press until
// the callback has decided, then either replays the press to the focused
// window or swallows it. The paste goes through XTEST.
//
// On Linux the shortcut modifiers mean: command = Control, control = Super,
// option = Alt, shift = Shift.
#pragma once

#include "Platform.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;
struct xcb_mapping_notify_event_t;

namespace lumeno::platform::linux_desktop {

class X11KeyEventTap : public KeyEventTap {
public:
    // Connects lazily, on the first call that needs the display. An empty
    // name means $DISPLAY. Grab failures are explained on `log`.
    explicit X11KeyEventTap(Log& log, std::string displayName = {});
    ~X11KeyEventTap() override;
    X11KeyEventTap(const X11KeyEventTap&) = delete;
    X11KeyEventTap& operator=(const X11KeyEventTap&) = delete;

    // Trusted when the display is reachable and offers XTEST. Until a first
    // connection succeeds, every call tries again; a connection once made is
    // never replaced.
    bool isTrusted() override;
    // False when not trusted, when a key code has no key on this keyboard,
    // or when another client already grabbed one of the combinations.
    bool install(const std::vector<KeyCombination>& keys, Callbacks callbacks) override;
    bool enable() override;
    void remove() override;
    // Control down, V down, V up, Control up through XTEST. Modifier keys the
    // user still holds are released first and pressed again after, so the
    // focused window sees Control+V alone; our grabs are lifted meanwhile so
    // that the paste is never taken for a trigger.
    bool postPaste() override;

    // Integration into the owner's event loop: wait for `fileDescriptor()`
    // to be readable, call processEvents(), and call it once more before
    // every wait (replies awaited inside other calls may have queued events).
    // The key callbacks run inside processEvents().
    int fileDescriptor() const;  // -1 while not connected
    enum class Status { ok, connectionLost };
    Status processEvents();

private:
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t modifiers;
        friend bool operator==(const Grab&, const Grab&) = default;
    };

    bool connect();
    bool isConnected() const;
    void readModifierMapping();
    // The grabs the installed keys need under the current mapping; false
    // (and a log line) when a key is not on the keyboard.
    bool planGrabs(std::vector<Grab>& grabs, std::map<std::uint8_t, std::int64_t>& keyCodes) const;
    bool grabAll();
    void ungrabAll();
    void handleKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time);
    void handleMappingChange(xcb_mapping_notify_event_t* event);
    void releaseHeldPress(Disposition disposition);
    std::uint16_t maskForModifiers(std::int64_t modifiers) const;
    std::int64_t flagsForState(std::uint16_t state) const;
    std::vector<std::uint8_t> keycodesFor(std::uint32_t keysym) const;
    // The modifier keys down now (the lock keys aside), and whether
    // `otherKey` is down too.
    std::vector<std::uint8_t> heldModifierKeys(std::uint8_t otherKey, bool& otherKeyIsDown);
    void fakeKey(bool press, std::uint8_t keycode);

    Log* log_;
    std::string displayName_;
    xcb_connection_t* connection_ = nullptr;
    _XCBKeySymbols* symbols_ = nullptr;
    std::uint32_t root_ = 0;
    bool everConnected_ = false;
    bool hasXTest_ = false;

    // Modifier bits of this server's mapping.
    std::uint16_t altMask_ = 0;
    std::uint16_t superMask_ = 0;
    std::uint16_t numLockMask_ = 0;
    // Keys whose release would clear a held modifier: every modifier key
    // but the lock keys.
    std::vector<std::uint8_t> modifierKeys_;

    bool installed_ = false;
    bool armed_ = false;
    bool switchedOffPending_ = false;
    std::vector<KeyCombination> keys_;
    Callbacks callbacks_;
    std::vector<Grab> grabs_;
    std::map<std::uint8_t, std::int64_t> keyCodeByKeycode_;

    // The press the keyboard is frozen at while the callback runs.
    bool holdingPress_ = false;
    std::uint32_t heldPressTime_ = 0;
};

} // namespace lumeno::platform::linux_desktop
