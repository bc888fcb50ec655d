#include "SystemLog.h"

#include "FileDescriptors.h"

#include <string>
#include <syslog.h>
#include <unistd.h>

namespace lumeno::platform::linux_desktop {

SystemLog::SystemLog(bool toStandardError)
    : toStandardError_(toStandardError)
{
    openlog("lumeno", LOG_PID, LOG_USER);
}

void SystemLog::write(std::string_view line)
{
    // One event, one line: a line break inside (a file name can hold one)
    // must not start a second entry.
    std::string text(line);
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    const int priority = text.find("ERROR: ") != std::string::npos ? LOG_ERR : LOG_INFO;
    syslog(priority, "%s", text.c_str());
    if (toStandardError_) {
        // One write() per line, so lines of concurrent processes do not mix.
        text += '\n';
        writeAll(STDERR_FILENO, text);
    }
}

} // namespace lumeno::platform::linux_desktop
