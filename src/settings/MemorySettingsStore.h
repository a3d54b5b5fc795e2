#pragma once

#include "SettingsStore.h"

#include <map>
#include <string>
#include <variant>
#include <vector>

// A store held in memory, for tests: it keeps values of either type under each
// name (so a value of the wrong type can be planted) and records the names in
// the order they were written.
class MemorySettingsStore : public SettingsStore {
public:
    using Value = std::variant<int32_t, std::string>;

    int32_t ReadInt(const std::string& name, int32_t defaultValue) override;
    std::string ReadText(const std::string& name) override;
    void WriteText(const std::string& name, const std::string& value) override;
    void WriteInt(const std::string& name, int32_t value) override;

    void Put(const std::string& name, Value value) { values[name] = std::move(value); }
    bool Has(const std::string& name) const { return values.count(name) != 0; }
    const Value& Get(const std::string& name) const { return values.at(name); }
    const std::vector<std::string>& WriteOrder() const { return writeOrder; }
    const std::vector<std::string>& ReadOrder() const { return readOrder; }

private:
    std::map<std::string, Value> values;
    std::vector<std::string> writeOrder;
    std::vector<std::string> readOrder;
};
