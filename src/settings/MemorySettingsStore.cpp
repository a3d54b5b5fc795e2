#include "MemorySettingsStore.h"

int32_t MemorySettingsStore::ReadInt(const std::string& name, int32_t defaultValue)
{
    readOrder.push_back(name);
    auto it = values.find(name);
    if (it == values.end())
        return defaultValue;
    if (const auto* number = std::get_if<int32_t>(&it->second))
        return *number;
    // A text where a number belongs reads like a missing value, as the registry does.
    return defaultValue;
}

std::string MemorySettingsStore::ReadText(const std::string& name)
{
    readOrder.push_back(name);
    auto it = values.find(name);
    if (it == values.end())
        return std::string();
    if (const auto* text = std::get_if<std::string>(&it->second))
        return *text;
    return std::string();
}

void MemorySettingsStore::WriteText(const std::string& name, const std::string& value)
{
    writeOrder.push_back(name);
    values[name] = value;
}

void MemorySettingsStore::WriteInt(const std::string& name, int32_t value)
{
    writeOrder.push_back(name);
    values[name] = value;
}
