// The user's settings as one file, $XDG_CONFIG_HOME/lumeno/settings (by
// default ~/.config/lumeno/settings), in the format of SettingsFile.h.
//
// Reads always see the file as it is now: a read that finds the file changed
// (another inode, size or time) loads it again. A file that cannot be read or
// parsed counts as holding no values; it is reported once and left alone
// until a setting is changed, when it is kept beside the new file as
// "settings.broken". Writes replace the file atomically (a temporary file in
// the same directory, fsync, rename), so a crash leaves the old file or the
// new one, never half of one; a lock on the directory keeps two processes
// that change settings at once from losing one of the changes.
//
// Observers run after each of our own changes, and, for a process that calls
// startWatching() and then processEvents() whenever fileDescriptor() is
// readable, after every change another process makes (an editor that
// replaces the file included). A change is announced once: our own write is
// not announced a second time when its inotify event comes in.
#pragma once

#include "Platform.h"
#include "SettingsFile.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace lumeno::platform::linux_desktop {

class FileSettingsStore : public SettingsStore {
public:
    // The store of the file "settings" in `directory`, which need not exist yet.
    FileSettingsStore(std::filesystem::path directory, Log& log);
    ~FileSettingsStore() override;
    FileSettingsStore(const FileSettingsStore&) = delete;
    FileSettingsStore& operator=(const FileSettingsStore&) = delete;

    // $XDG_CONFIG_HOME/lumeno, or ~/.config/lumeno when that variable is unset,
    // empty or not an absolute path.
    static std::filesystem::path defaultDirectory();
    const std::filesystem::path& filePath() const { return path_; }

    std::optional<SettingValue> value(std::string_view key) const override;
    bool setValue(std::string_view key, const SettingValue& value) override;
    bool removeValue(std::string_view key) override;
    int addObserver(Observer observer) override;
    void removeObserver(int id) override;

    // Watches the directory for changes by other processes; creates it when
    // it is missing. False (and a log line) when that is not possible.
    bool startWatching();
    // Readable when processEvents() has work; -1 while not watching.
    int fileDescriptor() const { return inotifyFd_; }
    // Takes the pending change notices without blocking, reloads the file and
    // runs the observers when its values changed.
    void processEvents();

private:
    // What tells one version of the file from another.
    struct FileVersion {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileVersion& other) const;
    };

    void refresh() const;
    void load(int fd, const FileVersion& version) const;
    bool change(std::string_view key, const std::optional<SettingValue>& value);
    bool save(const SettingsMap& values, int folder);
    void announce();
    void addWatch();
    void logSaveError(const std::string& what, int error) const;

    std::filesystem::path directory_;
    std::filesystem::path path_;
    Log& log_;

    // The file as last loaded.
    mutable FileVersion version_;
    mutable bool loaded_ = false;
    mutable SettingsMap values_;
    mutable bool broken_ = false;
    mutable FileVersion reportedBroken_;

    // The values the observers were last told about.
    SettingsMap announced_;
    std::map<int, Observer> observers_;
    int nextObserverId_ = 1;

    int inotifyFd_ = -1;
    int watch_ = -1;
};

} // namespace lumeno::platform::linux_desktop
