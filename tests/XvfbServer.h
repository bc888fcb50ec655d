// A private X server for tests that need a display: Xvfb on a display number
// it picks itself (-displayfd), so that tests run side by side and on machines
// without a desktop. DISPLAY points at it while it runs.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace lumeno::test {

// The full path of a program found on PATH, or empty.
inline std::string findProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::filesystem::path candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return {};
}

class XvfbServer {
public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer() { stop(); }

    // False when Xvfb is not installed or did not come up within a few seconds.
    bool start()
    {
        const std::string xvfb = findProgram("Xvfb");
        if (xvfb.empty())
            return false;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::dup2(fds[1], 3); // dup2 clears close-on-exec
            ::execl(xvfb.c_str(), "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "320x240x24",
                    "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid_ > 0 && (number.empty() || number.back() != '\n')) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{fds[0], POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
                break;
            char c;
            if (::read(fds[0], &c, 1) != 1)
                break;
            number += c;
        }
        ::close(fds[0]);
        if (number.empty() || number.back() != '\n') {
            stop();
            return false;
        }
        number.pop_back();
        display_ = ':' + number;
        ::setenv("DISPLAY", display_.c_str(), 1);
        return true;
    }

    void stop()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        int status;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

} // namespace lumeno::test
