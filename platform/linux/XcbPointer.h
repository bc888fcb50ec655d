// Ownership of what xcb hands out with malloc (replies, events, errors, key
// code lists), and the event type without the "sent by a client" bit.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace lumeno::platform::linux_desktop {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
using XcbPointer = std::unique_ptr<T, FreeDeleter>;

template <typename T>
XcbPointer<T> take(T* reply)
{
    return XcbPointer<T>(reply);
}

inline std::uint8_t eventType(const xcb_generic_event_t& event) { return event.response_type & 0x7F; }

} // namespace lumeno::platform::linux_desktop
