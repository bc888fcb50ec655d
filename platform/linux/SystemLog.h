// The log of the Linux desktop: every line goes to standard error and to the
// system log (syslog, so the journal on systemd systems), one line per event.
#pragma once

#include "Platform.h"

namespace lumeno::platform::linux_desktop {

class SystemLog : public Log {
public:
    // Without standard error the lines go to syslog only (for a process whose
    // standard error nobody reads).
    explicit SystemLog(bool toStandardError = true);
    void write(std::string_view line) override;

private:
    bool toStandardError_;
};

} // namespace lumeno::platform::linux_desktop
