// The shortcut key codes (the V key is 9) and the X keysyms of the same keys.
// Settings keep that numbering on every system, so a stored shortcut means
// the same key everywhere; here it becomes a keysym, and the keyboard
// mapping turns the keysym into the keycodes to grab.
#pragma once

#include <cstdint>
#include <optional>

namespace lumeno::platform::linux_desktop {

// The keysym of a shortcut key code: letters, digits, punctuation, the
// function keys F1 to F20, the keypad, arrows, editing and navigation keys,
// and the volume keys. Nothing for codes without a key here (the modifier
// keys themselves, for one).
std::optional<std::uint32_t> keysymForKeyCode(std::int64_t keyCode);

} // namespace lumeno::platform::linux_desktop
