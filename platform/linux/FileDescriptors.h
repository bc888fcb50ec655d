// Whole reads and writes on a file descriptor, retried on EINTR. On failure
// errno says why.
#pragma once

#include <string>
#include <string_view>

namespace lumeno::platform::linux_desktop {

// Reads everything up to end of file into out, replacing what it held.
bool readAll(int fd, std::string& out);
bool writeAll(int fd, std::string_view data);

} // namespace lumeno::platform::linux_desktop
