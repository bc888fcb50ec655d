// In-memory stand-ins for the platform services, for tests.
#pragma once

#include "Platform.h"

#include <map>
#include <vector>

namespace lumeno::platform::memory {

class MemoryPasteboard : public Pasteboard {
public:
    std::optional<std::string> text;
    std::optional<std::string> html;
    int writes = 0;
    std::vector<Flavor> reads;

    std::optional<std::string> readString(Flavor flavor) override
    {
        reads.push_back(flavor);
        return flavor == Flavor::PlainText ? text : html;
    }
    void writeItem(const std::string& plain, const std::string& htmlText) override
    {
        text = plain;
        html = htmlText;
        ++writes;
    }
};

class MemorySettingsStore : public SettingsStore {
public:
    std::map<std::string, SettingValue, std::less<>> values;
    bool failWrites = false;

    std::optional<SettingValue> value(std::string_view key) const override
    {
        const auto it = values.find(key);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    bool setValue(std::string_view key, const SettingValue& v) override
    {
        if (failWrites)
            return false;
        values.insert_or_assign(std::string(key), v);
        notify();
        return true;
    }
    bool removeValue(std::string_view key) override
    {
        if (failWrites)
            return false;
        if (const auto it = values.find(key); it != values.end())
            values.erase(it);
        notify();
        return true;
    }
    int addObserver(Observer observer) override
    {
        observers_.emplace(nextId_, std::move(observer));
        return nextId_++;
    }
    void removeObserver(int id) override { observers_.erase(id); }

    void notify()
    {
        const auto current = observers_;
        for (const auto& [id, observer] : current)
            observer();
    }

private:
    std::map<int, Observer> observers_;
    int nextId_ = 1;
};

class MemoryLog : public Log {
public:
    std::vector<std::string> lines;
    void write(std::string_view line) override { lines.emplace_back(line); }
};

} // namespace lumeno::platform::memory
