// The X11 clipboard end to end, on an Xvfb of its own, with xclip as the
// independent peer that reads what we serve and serves what we read.
#include "MemoryPlatform.h"
#include "X11Pasteboard.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using lumeno::platform::Flavor;
using lumeno::platform::linux_desktop::X11Pasteboard;
using lumeno::platform::memory::MemoryLog;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Ran {
    int status = -1; // exit code, or -1 when it had to be killed
    std::string output;
};

// Runs a program with `input` on its standard input and collects what it
// prints. While it runs, `serving` answers its clipboard requests, as the
// process that owns the selection must.
Ran run(const std::vector<std::string>& argv, const std::string& input = {}, X11Pasteboard* serving = nullptr,
        std::chrono::seconds limit = 20s)
{
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::fcntl(in[1], F_SETFL, O_NONBLOCK);
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    if (input.empty()) {
        ::close(in[1]);
        in[1] = -1;
    }

    Ran result;
    std::size_t written = 0;
    const auto deadline = Clock::now() + limit;
    char buffer[1 << 16];
    const auto drain = [&] {
        ssize_t n;
        while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
            result.output.append(buffer, std::size_t(n));
    };
    while (true) {
        if (serving)
            serving->processEvents();
        drain();
        int status;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            drain(); // a background child of the peer may hold the pipe: read what is there, no more
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        pollfd fds[3] = {
            {out[0], POLLIN, 0}, {in[1], POLLOUT, 0}, {serving ? serving->fileDescriptor() : -1, POLLIN, 0}};
        ::poll(fds, 3, 5);
        if (in[1] >= 0 && (fds[1].revents & (POLLOUT | POLLERR))) {
            const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
            if (n > 0)
                written += std::size_t(n);
            if (written == input.size() || (n < 0 && errno != EAGAIN)) {
                ::close(in[1]);
                in[1] = -1;
            }
        }
    }
    if (in[1] >= 0)
        ::close(in[1]);
    ::close(out[0]);
    return result;
}

// Text of about `size` bytes with multi-byte characters all through it.
std::string bigText(std::size_t size)
{
    std::string text;
    text.reserve(size + 64);
    for (int line = 0; text.size() < size; ++line)
        text += "line " + std::to_string(line) + " \xE2\x80\x94 caf\xC3\xA9 \xF0\x9F\x98\x80\n";
    return text;
}

// Each test has an X server of its own, so that no clipboard owner is left
// over from an earlier test.
class X11Clipboard : public testing::Test {
protected:
    void SetUp() override
    {
        if (!server_.start())
            GTEST_SKIP() << "Xvfb is not installed or did not start";
    }
    static void requireXclip()
    {
        if (lumeno::test::findProgram("xclip").empty())
            GTEST_SKIP() << "xclip is not installed";
    }

    std::unique_ptr<X11Pasteboard> open()
    {
        auto pasteboard = X11Pasteboard::open(log);
        EXPECT_TRUE(pasteboard) << "no connection to " << server_.display();
        return pasteboard;
    }

    // Waits for a client other than `previous` to own CLIPBOARD; xclip takes
    // it from a background child after its own process has exited.
    static bool waitForNewOwner(xcb_connection_t* connection, xcb_window_t previous)
    {
        const auto deadline = Clock::now() + 3s;
        while (Clock::now() < deadline) {
            const xcb_window_t now = selectionOwner(connection);
            if (now != XCB_NONE && now != previous)
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    static xcb_window_t selectionOwner(xcb_connection_t* connection)
    {
        const auto atom = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 9, "CLIPBOARD"), nullptr);
        const auto owner =
            xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
        const xcb_window_t window = owner ? owner->owner : XCB_NONE;
        std::free(atom);
        std::free(owner);
        return window;
    }
    // Puts bytes on the clipboard with xclip, as one target.
    void xclipServes(const std::string& target, const std::string& bytes)
    {
        xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
        const xcb_window_t before = selectionOwner(probe);
        ASSERT_EQ(run({"xclip", "-selection", "clipboard", "-i", "-t", target}, bytes).status, 0);
        ASSERT_TRUE(waitForNewOwner(probe, before));
        xcb_disconnect(probe);
    }

    MemoryLog log;
    lumeno::test::XvfbServer server_;
};

TEST_F(X11Clipboard, WritesBothFlavoursThatOurReaderReadsBack)
{
    struct Case {
        std::string plain, html;
    } cases[] = {
        {"h\xC3\xA9llo \xE2\x80\x94 \xF0\x9F\x98\x80\nsecond line", "<ul><li>x</li></ul>"},
        {"", ""}, // present but empty: not absent
        {bigText(3 << 20), std::string("<pre>").append(bigText(3 << 20)).append("</pre>")}, // in pieces
    };
    auto reader = open();
    for (const Case& c : cases) {
        auto writer = open();
        writer->writeItem(c.plain, c.html);
        ASSERT_TRUE(writer->ownsSelection());
        std::thread serving([&] { writer->serveUntilSelectionLost(); });
        EXPECT_EQ(reader->readString(Flavor::HTML), c.html);
        EXPECT_EQ(reader->readString(Flavor::PlainText), c.plain);
        // Taking the selection over ends the writer's serving.
        reader->writeItem("next", "<p>next</p>");
        serving.join();
        EXPECT_FALSE(writer->ownsSelection());
        EXPECT_EQ(reader->readString(Flavor::PlainText), "next"); // our own content, while we own it
    }
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(X11Clipboard, SharedConnectionHandsOtherEventsOnInOrder)
{
    // A connection shared with other X work, as the key grab may share it.
    xcb_connection_t* shared = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(shared));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(shared)).data;
    const xcb_window_t window = xcb_generate_id(shared);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(shared, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    // Each mark is a change of another property, told apart by its atom.
    const xcb_atom_t marks[] = {XCB_ATOM_WM_NAME, XCB_ATOM_WM_ICON_NAME, XCB_ATOM_WM_CLASS};
    const auto mark = [&](int n) {
        xcb_change_property(shared, XCB_PROP_MODE_REPLACE, window, marks[n - 1], XCB_ATOM_STRING, 8, 1, "x");
        xcb_flush(shared);
    };
    std::vector<int> seen;
    const auto other = [&](const xcb_generic_event_t& event) {
        if ((event.response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            return;
        const auto atom = reinterpret_cast<const xcb_property_notify_event_t&>(event).atom;
        seen.push_back(int(std::find(std::begin(marks), std::end(marks), atom) - std::begin(marks)) + 1);
    };
    {
        X11Pasteboard pasteboard(shared, log);
        auto writer = open();
        writer->writeItem("shared", "<p>shared</p>");
        std::thread serving([&] { writer->serveUntilSelectionLost(); });

        mark(1);
        mark(2);
        EXPECT_EQ(pasteboard.readString(Flavor::PlainText), "shared"); // sets the two events aside
        pasteboard.writeItem("mine", "<p>mine</p>");                   // ends the writer's serving
        serving.join();
        mark(3);
        // A round trip, so that the third event is queued before we look.
        std::free(xcb_get_input_focus_reply(shared, xcb_get_input_focus(shared), nullptr));
        const auto deadline = Clock::now() + 2s;
        while (seen.size() < 3 && Clock::now() < deadline) {
            pasteboard.processEvents(other);
            pollfd p{pasteboard.fileDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 10);
        }
        EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
        EXPECT_TRUE(pasteboard.ownsSelection());
    }
    // The pasteboard leaves the caller's connection open.
    EXPECT_FALSE(xcb_connection_has_error(shared));
    xcb_disconnect(shared);
}

TEST_F(X11Clipboard, XclipReadsEveryTargetWeOffer)
{
    requireXclip();
    auto writer = open();
    writer->writeItem("caf\xC3\xA9 \xF0\x9F\x98\x80", "<h1>T\xC3\xADtulo</h1>");
    const auto read = [&](const std::string& target) {
        return run({"xclip", "-selection", "clipboard", "-o", "-t", target}, {}, writer.get()).output;
    };
    EXPECT_EQ(read("TARGETS"),
              "TARGETS\nTIMESTAMP\ntext/html\ntext/plain;charset=utf-8\ntext/plain\nUTF8_STRING\nSTRING\nTEXT\n");
    EXPECT_EQ(read("text/html"), "<h1>T\xC3\xADtulo</h1>");
    for (const char* target : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "TEXT"})
        EXPECT_EQ(read(target), "caf\xC3\xA9 \xF0\x9F\x98\x80") << target;
    EXPECT_EQ(read("STRING"), "caf\xE9 ?"); // Latin-1, and '?' for what it lacks
    EXPECT_NE(run({"xclip", "-selection", "clipboard", "-o", "-t", "image/png"}, {}, writer.get()).status, 0);
}

TEST_F(X11Clipboard, ReadsWhatXclipServes)
{
    requireXclip();
    const std::string utf16Html = std::string("\xFF\xFE<\0b\0>\0\xE9\0<\0/\0b\0>\0=\xD8\0\xDE", 22); // <b>é</b>😀
    struct Case {
        const char* target;
        std::string bytes;
        std::optional<std::string> html, plain;
    } cases[] = {
        {"UTF8_STRING", "plain \xE2\x80\x94 text\n", std::nullopt, "plain \xE2\x80\x94 text\n"},
        {"STRING", "caf\xE9", std::nullopt, "caf\xC3\xA9"},
        {"text/plain", "bad \xFF byte", std::nullopt, "bad \xEF\xBF\xBD byte"},
        {"text/html", "<ul><li>a</li></ul>", "<ul><li>a</li></ul>", std::nullopt},
        {"text/html", "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"><ol><li>1</li></ol>",
         "<ol><li>1</li></ol>", std::nullopt},
        {"text/html", utf16Html, "<b>\xC3\xA9</b>\xF0\x9F\x98\x80", std::nullopt},
    };
    auto reader = open();
    for (const Case& c : cases) {
        xclipServes(c.target, c.bytes);
        EXPECT_EQ(reader->readString(Flavor::HTML), c.html) << c.target;
        EXPECT_EQ(reader->readString(Flavor::PlainText), c.plain) << c.target;
    }
}

TEST_F(X11Clipboard, LargeFlavoursTravelInPiecesBothWays)
{
    requireXclip();
    const std::string big = bigText(50 << 20);

    auto writer = open();
    writer->writeItem("small", big);
    auto start = Clock::now();
    const Ran served = run({"xclip", "-selection", "clipboard", "-o", "-t", "text/html"}, {}, writer.get());
    EXPECT_TRUE(served.output == big) << served.output.size() << " of " << big.size() << " bytes";
    EXPECT_LT(secondsSince(start), 10.0);
    writer.reset();

    xclipServes("UTF8_STRING", big);
    auto reader = open();
    start = Clock::now();
    const auto read = reader->readString(Flavor::PlainText);
    ASSERT_TRUE(read);
    EXPECT_TRUE(*read == big) << read->size() << " of " << big.size() << " bytes";
    EXPECT_LT(secondsSince(start), 10.0);
}

TEST_F(X11Clipboard, EmptyClipboardHasNoFlavours)
{
    auto reader = open();
    const auto start = Clock::now();
    EXPECT_EQ(reader->readString(Flavor::HTML), std::nullopt);
    EXPECT_EQ(reader->readString(Flavor::PlainText), std::nullopt);
    EXPECT_LT(secondsSince(start), 0.5);
}

TEST_F(X11Clipboard, OwnerThatNeverAnswersTimesOut)
{
    // A client that takes the selection and then never looks at its events.
    xcb_connection_t* silent = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(silent)).data;
    const xcb_window_t window = xcb_generate_id(silent);
    xcb_create_window(silent, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const auto atom = xcb_intern_atom_reply(silent, xcb_intern_atom(silent, 0, 9, "CLIPBOARD"), nullptr);
    xcb_set_selection_owner(silent, window, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    ASSERT_EQ(selectionOwner(silent), window);

    auto reader = open();
    auto start = Clock::now();
    EXPECT_EQ(reader->readString(Flavor::HTML), std::nullopt);
    EXPECT_GT(secondsSince(start), 0.9);
    EXPECT_LT(secondsSince(start), 2.0);
    // The plain-text read that follows does not wait a second time.
    start = Clock::now();
    EXPECT_EQ(reader->readString(Flavor::PlainText), std::nullopt);
    EXPECT_LT(secondsSince(start), 0.5);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("[Lumeno] ERROR: ", 0), 0u);

    // Once the owner is gone, the clipboard is simply empty.
    xcb_disconnect(silent);
    start = Clock::now();
    EXPECT_EQ(reader->readString(Flavor::HTML), std::nullopt);
    EXPECT_LT(secondsSince(start), 0.5);

    // A writer takes the selection from a silent owner all the same.
    reader->writeItem("mine", "<p>mine</p>");
    EXPECT_TRUE(reader->ownsSelection());
}

TEST_F(X11Clipboard, BackgroundServerOutlivesTheWriterUntilTheSelectionIsTaken)
{
    requireXclip();
    // The server is our grandchild; be its parent once the writer is gone, so
    // that we can wait for it.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t writerPid = ::fork();
    if (writerPid == 0) {
        ::close(fds[0]);
        MemoryLog childLog;
        auto writer = X11Pasteboard::open(childLog);
        pid_t server = -1;
        if (writer) {
            writer->writeItem("plain \xE2\x80\x94 text", "<ul><li>item</li></ul>");
            server = writer->serveInBackground();
        }
        const bool sent = ::write(fds[1], &server, sizeof server) == sizeof server;
        ::_exit(sent && server > 0 ? 0 : 1);
    }
    ::close(fds[1]);
    pid_t server = -1;
    ASSERT_EQ(::read(fds[0], &server, sizeof server), ssize_t(sizeof server));
    // The server keeps none of the writer's files open: a shell that reads
    // the output of `lumeno clipboard` sees its end at once.
    pollfd end{fds[0], POLLIN, 0};
    ASSERT_EQ(::poll(&end, 1, 2000), 1);
    char byte;
    EXPECT_EQ(::read(fds[0], &byte, 1), 0) << "the background server holds the writer's pipe";
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(writerPid, &status, 0), writerPid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_GT(server, 0);

    EXPECT_EQ(run({"xclip", "-selection", "clipboard", "-o", "-t", "text/html"}).output, "<ul><li>item</li></ul>");
    EXPECT_EQ(run({"xclip", "-selection", "clipboard", "-o"}).output, "plain \xE2\x80\x94 text");
    EXPECT_EQ(::waitpid(server, &status, WNOHANG), 0) << "the server quit while it still owned the selection";

    xclipServes("UTF8_STRING", "someone else");
    const auto deadline = Clock::now() + 3s;
    pid_t ended = 0;
    while (ended == 0 && Clock::now() < deadline) {
        ended = ::waitpid(server, &status, WNOHANG);
        std::this_thread::sleep_for(10ms);
    }
    if (ended != server) {
        ::kill(server, SIGKILL);
        ::waitpid(server, &status, 0);
    }
    EXPECT_EQ(ended, server) << "the server kept running after losing the selection";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
