#include "X11Pasteboard.h"

#include "ClipboardText.h"
#include "Unicode.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace lumeno::platform::linux_desktop {

namespace {

// Answers above this size go in pieces, even where the server would take a
// bigger request (16 MB with BIG-REQUESTS): one huge request holds up every
// other client of the server while it is copied.
constexpr std::size_t largestPiece = std::size_t(1) << 20;
// A requestor that stops taking pieces for this long has gone away.
constexpr auto transferTimeout = std::chrono::seconds(5);
constexpr auto silentOwnerMemory = std::chrono::seconds(3);

std::shared_ptr<const std::string> validText(const std::string& text)
{
    return std::make_shared<const std::string>(unicode::toValidUtf8(text));
}

} // namespace

std::unique_ptr<X11Pasteboard> X11Pasteboard::open(Log& log, const char* display)
{
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        const char* name = display ? display : std::getenv("DISPLAY");
        log.write(name && *name ? "[Lumeno] ERROR: Cannot reach the X display \"" + std::string(name) + "\"."
                                : std::string("[Lumeno] ERROR: Cannot reach an X display: DISPLAY is not set."));
        return nullptr;
    }
    return std::unique_ptr<X11Pasteboard>(new X11Pasteboard(connection, log, true));
}

X11Pasteboard::X11Pasteboard(xcb_connection_t* connection, Log& log)
    : X11Pasteboard(connection, log, false)
{
}

X11Pasteboard::X11Pasteboard(xcb_connection_t* connection, Log& log, bool ownsConnection)
    : connection_(connection)
    , log_(log)
    , ownsConnection_(ownsConnection)
{
    if (xcb_connection_has_error(connection_))
        return;
    xcb_prefetch_maximum_request_length(connection_);
    internAtoms();

    // An unmapped window of our own: the selection's owner while we write,
    // and the place where owners put their answers while we read.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);

    // The maximum request length counts 4-byte units; leave room for the
    // ChangeProperty header.
    const std::size_t maxRequest = std::size_t(xcb_get_maximum_request_length(connection_)) * 4;
    pieceSize_ = std::min(largestPiece, maxRequest > 1024 ? maxRequest - 256 : std::size_t(4096));
    xcb_flush(connection_);
}

X11Pasteboard::~X11Pasteboard()
{
    if (handedOver_) {
        // The child serves on this socket now, and xcb_disconnect() would shut
        // it down for both processes. Our descriptor is pointed at /dev/null
        // first (the child keeps its own), so that the shutdown misses and the
        // connection's memory is still freed.
        if (ownsConnection_) {
            const int fd = xcb_get_file_descriptor(connection_);
            const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
            if (null >= 0 && ::dup2(null, fd) >= 0) {
                ::close(null);
                xcb_disconnect(connection_);
            } else {
                if (null >= 0)
                    ::close(null);
                ::close(fd);
            }
        }
        return;
    }
    if (!xcb_connection_has_error(connection_) && window_ != XCB_NONE) {
        xcb_destroy_window(connection_, window_);
        xcb_flush(connection_);
    }
    if (ownsConnection_)
        xcb_disconnect(connection_);
}

void X11Pasteboard::internAtoms()
{
    static constexpr const char* names[] = {
        "CLIPBOARD", "TARGETS", "TIMESTAMP", "INCR", "UTF8_STRING", "TEXT", "text/html",
        "text/plain;charset=utf-8", "text/plain", "LUMENO_SELECTION", "LUMENO_TIME",
    };
    xcb_atom_t* const slots[] = {
        &atoms_.clipboard, &atoms_.targets, &atoms_.timestamp, &atoms_.incr, &atoms_.utf8String, &atoms_.text,
        &atoms_.html, &atoms_.plainUtf8, &atoms_.plain, &atoms_.property, &atoms_.timeProbe,
    };
    static_assert(std::size(names) == std::size(slots));
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(connection_, 0, std::uint16_t(std::strlen(names[i])), names[i]);
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const auto reply = take(xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        *slots[i] = reply ? reply->atom : XCB_NONE;
    }
}

bool X11Pasteboard::hasFailed() const { return handedOver_ || xcb_connection_has_error(connection_) != 0; }

int X11Pasteboard::fileDescriptor() const { return xcb_get_file_descriptor(connection_); }

// --- Reading -------------------------------------------------------------------

std::optional<std::string> X11Pasteboard::readString(Flavor flavor)
{
    if (hasFailed())
        return std::nullopt;
    // Asked every time: another client may have taken the selection from us
    // while its SelectionClear is still on the way.
    const auto owner = take(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, atoms_.clipboard), nullptr));
    if (owner && owner->owner == window_ && owned_)
        return *(flavor == Flavor::HTML ? owned_->html : owned_->plain);
    owned_.reset();
    if (!owner || owner->owner == XCB_NONE)
        return std::nullopt;
    if (owner->owner == silentOwner_ && Clock::now() < silentUntil_)
        return std::nullopt;

    const auto timedOut = [&] {
        silentOwner_ = owner->owner;
        silentUntil_ = Clock::now() + silentOwnerMemory;
        log_.write("[Lumeno] ERROR: The application that holds the clipboard did not answer within a second.");
        return std::nullopt;
    };

    // Our preference among the targets that carry the flavour.
    std::vector<xcb_atom_t> candidates = flavor == Flavor::HTML
                                             ? std::vector<xcb_atom_t>{atoms_.html}
                                             : std::vector<xcb_atom_t>{atoms_.plainUtf8, atoms_.utf8String,
                                                                       atoms_.plain, XCB_ATOM_STRING};
    const Answer targets = convert(atoms_.targets);
    if (targets.outcome == Answer::TimedOut)
        return timedOut();
    // An owner that cannot list its targets is asked for each candidate.
    if (targets.outcome == Answer::Converted) {
        std::vector<xcb_atom_t> offered(targets.bytes.size() / sizeof(xcb_atom_t));
        std::memcpy(offered.data(), targets.bytes.data(), offered.size() * sizeof(xcb_atom_t));
        std::erase_if(candidates,
                      [&](xcb_atom_t a) { return std::find(offered.begin(), offered.end(), a) == offered.end(); });
    }
    for (const xcb_atom_t target : candidates) {
        const Answer answer = convert(target);
        if (answer.outcome == Answer::TimedOut)
            return timedOut();
        if (answer.outcome == Answer::Refused)
            continue;
        if (flavor == Flavor::HTML)
            return ClipboardText::decodeHtml(answer.bytes);
        if (answer.type == XCB_ATOM_STRING)
            return ClipboardText::decodeLatin1(answer.bytes);
        return unicode::toValidUtf8(answer.bytes);
    }
    return std::nullopt;
}

X11Pasteboard::Answer X11Pasteboard::convert(xcb_atom_t target)
{
    xcb_convert_selection(connection_, window_, atoms_.clipboard, target, atoms_.property, XCB_CURRENT_TIME);
    xcb_flush(connection_);
    const auto notify = waitForEvent(Clock::now() + replyTimeout, [&](const xcb_generic_event_t& event) {
        if (eventType(event) != XCB_SELECTION_NOTIFY)
            return false;
        const auto& n = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
        return n.requestor == window_ && n.selection == atoms_.clipboard && n.target == target;
    });
    if (!notify)
        return {Answer::TimedOut, XCB_NONE, {}};
    if (reinterpret_cast<const xcb_selection_notify_event_t&>(*notify).property == XCB_NONE)
        return {Answer::Refused, XCB_NONE, {}};
    Answer answer{Answer::Converted, XCB_NONE, {}};
    if (!readProperty(answer))
        return {Answer::TimedOut, XCB_NONE, {}};
    return answer;
}

// Takes the answer out of our window's property, deleting it, and, when the
// owner sends it in pieces, each piece after it: the owner writes the next
// piece once we delete the last one, and a piece of length zero ends it.
bool X11Pasteboard::readProperty(Answer& answer)
{
    const auto getProperty = [&] {
        return take(xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 1, window_, atoms_.property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
            nullptr));
    };
    auto reply = getProperty();
    if (!reply)
        return false;
    if (reply->type != atoms_.incr) {
        answer.type = reply->type;
        answer.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                            std::size_t(xcb_get_property_value_length(reply.get())));
        return true;
    }
    if (xcb_get_property_value_length(reply.get()) >= 4) {
        std::uint32_t announced;
        std::memcpy(&announced, xcb_get_property_value(reply.get()), 4);
        answer.bytes.reserve(std::min<std::size_t>(announced, std::size_t(1) << 30));
    }
    while (true) {
        const auto newValue = waitForEvent(Clock::now() + replyTimeout, [&](const xcb_generic_event_t& event) {
            if (eventType(event) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            return p.window == window_ && p.atom == atoms_.property && p.state == XCB_PROPERTY_NEW_VALUE;
        });
        if (!newValue)
            return false;
        const auto piece = getProperty();
        if (!piece)
            return false;
        const int length = xcb_get_property_value_length(piece.get());
        answer.type = piece->type;
        if (length == 0)
            return true;
        answer.bytes.append(static_cast<const char*>(xcb_get_property_value(piece.get())), std::size_t(length));
    }
}

X11Pasteboard::EventPointer X11Pasteboard::waitForEvent(Clock::time_point deadline,
                                                        const std::function<bool(const xcb_generic_event_t&)>& wanted)
{
    while (true) {
        if (xcb_generic_event_t* raw = xcb_poll_for_event(connection_)) {
            EventPointer event(raw);
            if (wanted(*event))
                return event;
            // Someone may ask us for our own selection while we wait.
            if (!handleEvent(*event))
                setAside_.push_back(std::move(event));
            continue;
        }
        if (xcb_connection_has_error(connection_))
            return {};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return {};
        pollfd descriptor{xcb_get_file_descriptor(connection_), POLLIN, 0};
        ::poll(&descriptor, 1, static_cast<int>(left));
    }
}

// --- Writing -------------------------------------------------------------------

std::optional<xcb_timestamp_t> X11Pasteboard::serverTime()
{
    // Appending nothing to a property changes nothing but still makes the
    // server send a PropertyNotify, which carries the server's time. The ICCCM
    // wants that time, not CurrentTime, for taking a selection.
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, atoms_.timeProbe, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    xcb_flush(connection_);
    const auto notify = waitForEvent(Clock::now() + replyTimeout, [&](const xcb_generic_event_t& event) {
        if (eventType(event) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        return p.window == window_ && p.atom == atoms_.timeProbe;
    });
    if (!notify)
        return std::nullopt;
    return reinterpret_cast<const xcb_property_notify_event_t&>(*notify).time;
}

void X11Pasteboard::writeItem(const std::string& plain, const std::string& html)
{
    if (hasFailed()) {
        log_.write("[Lumeno] ERROR: Cannot write the clipboard: the connection to the X display is closed.");
        return;
    }
    auto content = std::make_unique<Content>(Content{validText(plain), validText(html)});
    const auto time = serverTime();
    if (!time) {
        log_.write("[Lumeno] ERROR: Cannot write the clipboard: the X display does not answer.");
        return;
    }
    xcb_set_selection_owner(connection_, window_, atoms_.clipboard, *time);
    const auto owner = take(xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, atoms_.clipboard), nullptr));
    if (!owner || owner->owner != window_) {
        owned_.reset();
        log_.write("[Lumeno] ERROR: Cannot write the clipboard: the X server did not give us the selection.");
        return;
    }
    owned_ = std::move(content);
    ownedSince_ = *time;
}

void X11Pasteboard::answerRequest(const xcb_selection_request_event_t& request)
{
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = XCB_NONE; // refused, unless a target below fits
    // Clients older than the ICCCM name no property; the target serves as one.
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    const Atoms& a = atoms_;

    if (owned_ && request.selection == a.clipboard) {
        std::shared_ptr<const std::string> data;
        xcb_atom_t type = request.target;
        if (request.target == a.targets) {
            const xcb_atom_t offered[] = {a.targets, a.timestamp, a.html,          a.plainUtf8,
                                          a.plain,   a.utf8String, XCB_ATOM_STRING, a.text};
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32,
                                std::uint32_t(std::size(offered)), offered);
            notify.property = property;
        } else if (request.target == a.timestamp) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_INTEGER,
                                32, 1, &ownedSince_);
            notify.property = property;
        } else if (request.target == a.html) {
            data = owned_->html;
        } else if (request.target == a.plainUtf8 || request.target == a.plain || request.target == a.utf8String) {
            data = owned_->plain;
        } else if (request.target == a.text) {
            // TEXT lets the owner choose the encoding.
            data = owned_->plain;
            type = a.utf8String;
        } else if (request.target == XCB_ATOM_STRING) {
            data = std::make_shared<const std::string>(ClipboardText::encodeLatin1(*owned_->plain));
        }

        if (data && data->size() > pieceSize_) {
            // Too large for one request: announce its size with an INCR
            // property, then send a piece each time the requestor deletes the
            // property (see handleEvent), and a piece of length zero at the end.
            std::erase_if(transfers_, [&](const Transfer& t) {
                return t.requestor == request.requestor && t.property == property;
            });
            const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(connection_, request.requestor, XCB_CW_EVENT_MASK, &events);
            const auto size = std::uint32_t(std::min<std::size_t>(data->size(), UINT32_MAX));
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, a.incr, 32, 1,
                                &size);
            transfers_.push_back({request.requestor, property, type, std::move(data), 0, Clock::now()});
            notify.property = property;
        } else if (data) {
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request.requestor, property, type, 8,
                                std::uint32_t(data->size()), data->data());
            notify.property = property;
        }
    }

    // SendEvent copies 32 bytes, more than the event structure holds.
    char event[32] = {};
    std::memcpy(event, &notify, sizeof notify);
    xcb_send_event(connection_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, event);
    xcb_flush(connection_);
}

// Sends the next piece, or the empty piece that ends the transfer; true when
// the transfer is over.
bool X11Pasteboard::sendNextPiece(Transfer& transfer)
{
    const std::size_t length = std::min(pieceSize_, transfer.data->size() - transfer.offset);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, transfer.requestor, transfer.property, transfer.type, 8,
                        std::uint32_t(length), transfer.data->data() + transfer.offset);
    transfer.offset += length;
    transfer.lastActivity = Clock::now();
    return length == 0;
}

void X11Pasteboard::endTransfer(std::size_t index, bool windowAlive)
{
    const xcb_window_t requestor = transfers_[index].requestor;
    transfers_.erase(transfers_.begin() + std::ptrdiff_t(index));
    const bool stillWatched = std::any_of(transfers_.begin(), transfers_.end(),
                                          [&](const Transfer& t) { return t.requestor == requestor; });
    if (windowAlive && !stillWatched) {
        const std::uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(connection_, requestor, XCB_CW_EVENT_MASK, &none);
    }
}

// --- Events --------------------------------------------------------------------

bool X11Pasteboard::handleEvent(const xcb_generic_event_t& event)
{
    switch (eventType(event)) {
    case XCB_SELECTION_REQUEST: {
        const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(event);
        if (request.owner != window_)
            return false;
        answerRequest(request);
        return true;
    }
    case XCB_SELECTION_CLEAR: {
        const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
        if (clear.owner != window_)
            return false;
        // A notice about an ownership older than the current one is stale.
        if (clear.selection == atoms_.clipboard && clear.time >= ownedSince_)
            owned_.reset();
        return true;
    }
    case XCB_SELECTION_NOTIFY:
        // An answer that came after its read gave up.
        return reinterpret_cast<const xcb_selection_notify_event_t&>(event).requestor == window_;
    case XCB_PROPERTY_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (notify.window == window_)
            return true; // the reads wait for these themselves
        bool watched = false;
        for (std::size_t i = 0; i < transfers_.size(); ++i) {
            Transfer& transfer = transfers_[i];
            if (transfer.requestor != notify.window)
                continue;
            watched = true;
            if (notify.state == XCB_PROPERTY_DELETE && transfer.property == notify.atom) {
                if (sendNextPiece(transfer))
                    endTransfer(i, true);
                xcb_flush(connection_);
                break;
            }
        }
        return watched;
    }
    case 0: {
        // An error; one about a requestor's window means the requestor is gone.
        const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
        bool ours = false;
        for (std::size_t i = transfers_.size(); i-- > 0;) {
            if (transfers_[i].requestor == error.resource_id) {
                endTransfer(i, false);
                ours = true;
            }
        }
        return ours;
    }
    default:
        return false;
    }
}

void X11Pasteboard::dropStalledTransfers()
{
    const auto now = Clock::now();
    for (std::size_t i = transfers_.size(); i-- > 0;)
        if (now - transfers_[i].lastActivity > transferTimeout)
            endTransfer(i, true);
}

void X11Pasteboard::processEvents(const std::function<void(const xcb_generic_event_t&)>& other)
{
    if (handedOver_)
        return;
    // `other` may read or write the clipboard (the key grab runs the
    // transform), and events that come in meanwhile are set aside: they are
    // older than anything still queued, so they go first.
    while (true) {
        if (!setAside_.empty()) {
            const EventPointer event = std::move(setAside_.front());
            setAside_.pop_front();
            if (other)
                other(*event);
            continue;
        }
        xcb_generic_event_t* raw = xcb_poll_for_event(connection_);
        if (!raw)
            break;
        const EventPointer event(raw);
        if (!handleEvent(*event) && other)
            other(*event);
    }
    dropStalledTransfers();
    xcb_flush(connection_);
}

// --- Serving -------------------------------------------------------------------

void X11Pasteboard::serveUntilSelectionLost()
{
    while (!hasFailed()) {
        processEvents();
        if (!isServing() || hasFailed())
            return;
        // Wake now and then while a transfer runs, to notice a stalled one.
        pollfd descriptor{xcb_get_file_descriptor(connection_), POLLIN, 0};
        ::poll(&descriptor, 1, transfers_.empty() ? -1 : 1000);
    }
}

pid_t X11Pasteboard::serveInBackground()
{
    if (hasFailed() || !isServing())
        return 0;
    xcb_flush(connection_);
    const pid_t child = ::fork();
    if (child < 0) {
        log_.write(std::string("[Lumeno] ERROR: Cannot keep serving the clipboard in the background: ")
                   + std::strerror(errno));
        return -1;
    }
    if (child > 0) {
        handedOver_ = true;
        return child;
    }

    // The child: leave the terminal's session and hold on to nothing of the
    // caller's but the X connection, so that a shell waiting for the output
    // of the command, or for a file to close, does not wait for us.
    ::setsid();
    std::signal(SIGHUP, SIG_IGN);
    if (::chdir("/") != 0) {
        // Staying in the caller's folder only keeps it busy; serve anyway.
    }
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    }
    const int keep = xcb_get_file_descriptor(connection_);
    if (keep > 3)
        ::close_range(3, unsigned(keep) - 1, 0);
    ::close_range(unsigned(keep) + 1, ~0U, 0);

    serveUntilSelectionLost();
    ::_exit(0);
}

} // namespace lumeno::platform::linux_desktop
