#include "FileSettingsStore.h"

#include "FileDescriptors.h"
#include "Unicode.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace lumeno::platform::linux_desktop {

namespace {

constexpr const char* fileName = "settings";
constexpr const char* brokenSuffix = ".broken";

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

} // namespace

bool FileSettingsStore::FileVersion::operator==(const FileVersion& other) const
{
    if (exists != other.exists)
        return false;
    return !exists
           || (device == other.device && inode == other.inode && size == other.size
               && sameTime(modified, other.modified) && sameTime(changed, other.changed));
}

FileSettingsStore::FileSettingsStore(std::filesystem::path directory, Log& log)
    : directory_(std::move(directory))
    , path_(directory_ / fileName)
    , log_(log)
{
    refresh();
    announced_ = values_;
}

FileSettingsStore::~FileSettingsStore()
{
    if (inotifyFd_ >= 0)
        ::close(inotifyFd_);
}

std::filesystem::path FileSettingsStore::defaultDirectory()
{
    // The XDG base directory rules: a relative XDG_CONFIG_HOME is ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::filesystem::path(config) / "lumeno";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = getpwuid(getuid());
        home = user && user->pw_dir ? user->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".config" / "lumeno";
}

std::optional<SettingValue> FileSettingsStore::value(std::string_view key) const
{
    refresh();
    const auto it = values_.find(key);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

void FileSettingsStore::refresh() const
{
    struct stat info;
    FileVersion current;
    if (::stat(path_.c_str(), &info) == 0)
        current = {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    if (loaded_ && current == version_)
        return;

    loaded_ = true;
    values_.clear();
    broken_ = false;
    version_ = {};
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return;
        const int error = errno;
        broken_ = true;
        version_ = current;
        if (!(reportedBroken_ == current)) {
            reportedBroken_ = current;
            log_.write("[Lumeno] ERROR: Cannot read the settings file " + path_.string() + ": "
                       + std::strerror(error) + "; using the defaults until a setting is changed.");
        }
        return;
    }
    load(fd, current);
    ::close(fd);
}

void FileSettingsStore::load(int fd, const FileVersion& statted) const
{
    // The version of the file actually read, which a rename may have made
    // newer than the one stat() saw.
    struct stat info;
    version_ = ::fstat(fd, &info) == 0
                   ? FileVersion{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim}
                   : statted;
    std::string text;
    ParsedSettings parsed;
    if (readAll(fd, text)) {
        parsed = parseSettings(text);
    } else {
        parsed.valid = false;
        parsed.error = std::strerror(errno);
    }
    if (parsed.valid) {
        values_ = std::move(parsed.values);
        return;
    }
    broken_ = true;
    if (!(reportedBroken_ == version_)) {
        reportedBroken_ = version_;
        const std::string where = parsed.errorLine ? "line " + std::to_string(parsed.errorLine) + ": " : "";
        log_.write("[Lumeno] ERROR: The settings file " + path_.string() + " is not valid (" + where + parsed.error
                   + "); using the defaults until a setting is changed.");
    }
}

void FileSettingsStore::logSaveError(const std::string& what, int error) const
{
    log_.write("[Lumeno] ERROR: Cannot save settings to " + path_.string() + " (" + what + ": "
               + std::strerror(error) + "); check that " + directory_.string() + " is a writable folder.");
}

bool FileSettingsStore::save(const SettingsMap& values, int folder)
{
    std::string temporary = (directory_ / ".settings.XXXXXX").string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        logSaveError("cannot create a file in the folder", errno);
        return false;
    }
    const auto fail = [&](const std::string& what, int error) {
        ::unlink(temporary.c_str());
        logSaveError(what, error);
        return false;
    };
    bool written = writeAll(fd, serializeSettings(values)) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written)
        return fail("cannot write the new file", error);

    if (broken_ && version_.exists) {
        const std::string kept = path_.string() + brokenSuffix;
        if (::rename(path_.c_str(), kept.c_str()) != 0)
            return fail("cannot keep the unreadable file as " + kept, errno);
        log_.write("[Lumeno] Kept the settings file that could not be read as " + kept);
    }
    if (::rename(temporary.c_str(), path_.c_str()) != 0)
        return fail("cannot replace the file", errno);

    ::fsync(folder); // the rename itself must reach the disk too

    values_ = values;
    broken_ = false;
    struct stat info;
    version_ = ::stat(path_.c_str(), &info) == 0
                   ? FileVersion{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim}
                   : FileVersion{};
    return true;
}

bool FileSettingsStore::setValue(std::string_view key, const SettingValue& value)
{
    if (!isValidSettingKey(key)) {
        log_.write("[Lumeno] ERROR: Cannot save the setting \"" + unicode::toValidUtf8(key)
                   + "\": a setting's name is ASCII letters, digits, '_', '.' and '-'.");
        return false;
    }
    if (const std::string* text = std::get_if<std::string>(&value))
        return change(key, SettingValue(unicode::toValidUtf8(*text)));
    return change(key, value);
}

bool FileSettingsStore::removeValue(std::string_view key)
{
    // Removing what is not there changes nothing, and an unreadable file
    // stays as it is.
    refresh();
    if (values_.find(key) == values_.end())
        return true;
    return change(key, std::nullopt);
}

bool FileSettingsStore::change(std::string_view key, const std::optional<SettingValue>& value)
{
    std::error_code ec;
    std::filesystem::create_directories(directory_, ec);
    if (ec) {
        logSaveError("cannot create the folder", ec.value());
        return false;
    }
    const int folder = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        logSaveError("cannot open the folder", errno);
        return false;
    }
    // Another process (the command line while the tray runs) may change a
    // setting at the same moment: the lock on the folder keeps its change
    // from being lost between our reading the file and replacing it.
    while (::flock(folder, LOCK_EX) != 0 && errno == EINTR) {
    }
    refresh();
    SettingsMap next = values_;
    if (value)
        next.insert_or_assign(std::string(key), *value);
    else if (const auto it = next.find(key); it != next.end())
        next.erase(it);
    const bool saved = save(next, folder);
    ::close(folder);
    if (saved)
        announce();
    return saved;
}

int FileSettingsStore::addObserver(Observer observer)
{
    observers_.emplace(nextObserverId_, std::move(observer));
    return nextObserverId_++;
}

void FileSettingsStore::removeObserver(int id) { observers_.erase(id); }

void FileSettingsStore::announce()
{
    announced_ = values_;
    // A copy, so that an observer may add or remove observers.
    const auto current = observers_;
    for (const auto& [id, observer] : current)
        observer();
}

bool FileSettingsStore::startWatching()
{
    if (inotifyFd_ >= 0)
        return watch_ >= 0;
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ < 0) {
        log_.write(std::string("[Lumeno] ERROR: Cannot watch the settings file for changes: ") + std::strerror(errno));
        return false;
    }
    addWatch();
    return watch_ >= 0;
}

void FileSettingsStore::addWatch()
{
    std::error_code ec;
    std::filesystem::create_directories(directory_, ec);
    // Watching the folder, not the file: editors and our own saves replace the
    // file by a rename, which a watch on the old file would never see.
    watch_ = ::inotify_add_watch(inotifyFd_, directory_.c_str(),
                                 IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_MOVE_SELF
                                     | IN_DELETE_SELF | IN_ONLYDIR);
    if (watch_ < 0)
        log_.write("[Lumeno] ERROR: Cannot watch " + directory_.string() + " for settings changes: "
                   + std::strerror(ec ? ec.value() : errno));
}

void FileSettingsStore::processEvents()
{
    if (inotifyFd_ < 0)
        return;
    bool changed = false;
    bool watchGone = false;
    alignas(inotify_event) char buffer[4096];
    while (true) {
        const ssize_t n = ::read(inotifyFd_, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        for (ssize_t offset = 0; offset < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW)
                changed = true;
            if (event->len > 0 && std::strcmp(event->name, fileName) == 0)
                changed = true;
            // A moved folder keeps its watch; watch the path again instead.
            if (event->mask & IN_MOVE_SELF)
                ::inotify_rm_watch(inotifyFd_, event->wd);
            if (event->mask & IN_IGNORED) {
                watchGone = true;
                changed = true;
            }
        }
    }
    if (watchGone) {
        watch_ = -1;
        addWatch();
    }
    if (!changed)
        return;
    refresh();
    if (values_ != announced_)
        announce();
}

} // namespace lumeno::platform::linux_desktop
