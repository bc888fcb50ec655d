#include "FileDescriptors.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace lumeno::platform::linux_desktop {

bool readAll(int fd, std::string& out)
{
    out.clear();
    // A regular file is read into one buffer of its size.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        out.resize(static_cast<std::size_t>(st.st_size) + (1 << 16));
    std::size_t used = 0;
    while (true) {
        if (out.size() - used < (1 << 16))
            out.resize(std::max<std::size_t>(out.size() * 2, used + (1 << 16)));
        const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
        if (n > 0) {
            used += static_cast<std::size_t>(n);
        } else if (n == 0) {
            out.resize(used);
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n > 0)
            data.remove_prefix(static_cast<std::size_t>(n));
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return true;
}

} // namespace lumeno::platform::linux_desktop
