// A log for the network tests that keeps every entry in order as "error: text", "data: name=value".
#pragma once
#include <algorithm>
#include <string>
#include <vector>

#include "core/LogBase.h"

class RecordingLog : public vantry::LogBase {
public:
    bool LogError(const char *text) override { return Add("error: " + std::string(text)); }
    bool LogInfo(const char *text) override { return Add("info: " + std::string(text)); }
    bool LogData(const char *name, const char *value) override {
        return Add("data: " + std::string(name) + "=" + value);
    }
    bool LogDataInt(const char *name, int32_t value) override {
        return Add("data: " + std::string(name) + "=" + std::to_string(value));
    }
    bool EnterContext(const char *name) override { return Add("enter: " + std::string(name)); }
    bool LeaveContext() override { return Add("leave"); }

    bool Has(const std::string &entry) const {
        return std::find(entries.begin(), entries.end(), entry) != entries.end();
    }
    // True when the given entries appear in this order (not necessarily adjacent).
    bool HasInOrder(const std::vector<std::string> &wanted) const {
        auto at = entries.begin();
        for (const std::string &w : wanted) {
            at = std::find(at, entries.end(), w);
            if (at == entries.end())
                return false;
            ++at;
        }
        return true;
    }
    std::string Dump() const {
        std::string all;
        for (const std::string &e : entries)
            all += e + "\n";
        return all;
    }

    std::vector<std::string> entries;

private:
    bool Add(std::string e) {
        entries.push_back(std::move(e));
        return true;
    }
};
