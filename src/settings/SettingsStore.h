#pragma once

#include <cstdint>
#include <string>

// The per-user store of named values that AppSettings lives in. Implementations
// never throw and never fail a read: a missing or unreadable value gives the
// default (integers) or the empty text.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual int32_t ReadInt(const std::string& name, int32_t defaultValue) = 0;
    virtual std::string ReadText(const std::string& name) = 0;
    virtual void WriteText(const std::string& name, const std::string& value) = 0;
    virtual void WriteInt(const std::string& name, int32_t value) = 0;
    // Puts what was written where it survives the process; stores that write
    // through need nothing.
    virtual void Sync() {}
};
