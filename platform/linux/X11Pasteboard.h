// The clipboard of an X11 desktop: the CLIPBOARD selection, over xcb.
//
// X11 keeps no clipboard contents. The clipboard is whatever the client that
// owns the CLIPBOARD selection answers when another client asks it to convert
// the selection to a target (a format such as text/html or UTF8_STRING):
//
//  - reading asks the owner for TARGETS, then for the best target of the
//    flavour, and waits for the answer, about one second at most, so that an
//    owner that hangs or vanishes reads as an absent flavour. Large answers
//    come in pieces (the INCR protocol of the ICCCM);
//  - writing takes ownership of the selection and answers every request from
//    then on, serving large flavours in pieces too, until another client
//    takes the selection over. A writer therefore has to stay alive and keep
//    handling its X events:
//      * a long-running process (daemon, tray) calls processEvents() whenever
//        fileDescriptor() is readable, and once before each wait, as with any
//        xcb connection;
//      * a one-shot command calls serveInBackground() after writeItem(): a
//        child process takes the connection over and serves until the
//        selection is lost, as established clipboard tools do.
//
// The connection may be shared with other X work of the same process (the key
// grab): processEvents() hands every event that is not selection traffic to
// the caller, in order, including those that arrived while a read or write
// was waiting. One thread uses the object; it takes no lock.
//
// The namespace is not called "linux" because GNU dialects predefine that
// name as a macro.
#pragma once

#include "Platform.h"
#include "XcbPointer.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>
#include <xcb/xcb.h>

namespace lumeno::platform::linux_desktop {

class X11Pasteboard : public Pasteboard {
public:
    // How long a read waits for each answer of the selection owner.
    static constexpr std::chrono::milliseconds replyTimeout{1000};

    // Opens a connection of its own to `display` (nullptr: $DISPLAY). Nothing,
    // and a log line, when no X server can be reached there.
    static std::unique_ptr<X11Pasteboard> open(Log& log, const char* display = nullptr);
    // Works on a connection that the caller keeps open for as long as this
    // object lives.
    X11Pasteboard(xcb_connection_t* connection, Log& log);
    ~X11Pasteboard() override;
    X11Pasteboard(const X11Pasteboard&) = delete;
    X11Pasteboard& operator=(const X11Pasteboard&) = delete;

    // text/html or one of the plain-text targets, as valid UTF-8; nothing when
    // the clipboard is empty, offers no such target, or its owner does not
    // answer in time. While we own the selection, our own flavours.
    std::optional<std::string> readString(Flavor flavor) override;
    // Takes the CLIPBOARD selection, offering exactly these two flavours.
    void writeItem(const std::string& plain, const std::string& html) override;

    // We own the selection.
    bool ownsSelection() const { return owned_ != nullptr; }
    // We own the selection or are still sending a large flavour in pieces.
    bool isServing() const { return owned_ || !transfers_.empty(); }
    // The connection is gone (the X server quit or dropped us).
    bool hasFailed() const;

    int fileDescriptor() const;
    // Handles every event waiting on the connection, without blocking:
    // selection traffic here, everything else passed to `other` in order.
    void processEvents(const std::function<void(const xcb_generic_event_t&)>& other = {});
    // Serves until the selection is lost and every transfer has ended, or the
    // connection fails.
    void serveUntilSelectionLost();
    // Forks a child that serves until the selection is lost and then exits.
    // Returns its process id, 0 when there is nothing to serve, -1 (and a log
    // line) when no child could be started. From then on the child owns the
    // connection: this object answers nothing and must only be destroyed.
    // For a single-threaded process about to exit (a one-shot command, or a
    // daemon that wants its last clipboard to outlive it).
    pid_t serveInBackground();

private:
    using EventPointer = XcbPointer<xcb_generic_event_t>;
    using Clock = std::chrono::steady_clock;

    struct Atoms {
        xcb_atom_t clipboard, targets, timestamp, incr, utf8String, text, html, plainUtf8, plain, property,
            timeProbe;
    };
    // The two flavours we offer while we own the selection.
    struct Content {
        std::shared_ptr<const std::string> plain;
        std::shared_ptr<const std::string> html;
    };
    // A large answer being sent in pieces to one requestor.
    struct Transfer {
        xcb_window_t requestor;
        xcb_atom_t property;
        xcb_atom_t type;
        std::shared_ptr<const std::string> data;
        std::size_t offset;
        Clock::time_point lastActivity;
    };
    struct Answer {
        enum { Converted, Refused, TimedOut } outcome;
        xcb_atom_t type = XCB_NONE;
        std::string bytes;
    };

    X11Pasteboard(xcb_connection_t* connection, Log& log, bool ownsConnection);
    void internAtoms();

    bool handleEvent(const xcb_generic_event_t& event);
    void answerRequest(const xcb_selection_request_event_t& request);
    bool sendNextPiece(Transfer& transfer);
    void endTransfer(std::size_t index, bool windowAlive);
    void dropStalledTransfers();

    // Waits until an event that `wanted` accepts arrives, or the deadline.
    // Selection traffic meanwhile is handled, other events are set aside.
    EventPointer waitForEvent(Clock::time_point deadline,
                              const std::function<bool(const xcb_generic_event_t&)>& wanted);
    Answer convert(xcb_atom_t target);
    bool readProperty(Answer& answer);
    std::optional<xcb_timestamp_t> serverTime();

    xcb_connection_t* connection_;
    Log& log_;
    bool ownsConnection_;
    bool handedOver_ = false; // a background child has the connection
    Atoms atoms_{};
    xcb_window_t window_ = XCB_NONE;
    std::size_t pieceSize_ = 0;

    std::unique_ptr<Content> owned_;
    xcb_timestamp_t ownedSince_ = XCB_CURRENT_TIME;
    std::vector<Transfer> transfers_;
    std::deque<EventPointer> setAside_;

    // An owner that let a request time out, not asked again for a moment: the
    // transform reads the HTML flavour and then the plain one, and should not
    // wait twice for a client that does not answer.
    xcb_window_t silentOwner_ = XCB_NONE;
    Clock::time_point silentUntil_{};
};

} // namespace lumeno::platform::linux_desktop
