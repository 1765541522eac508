#pragma once

// One table per enum of camsim's command line: each value with its name
// (as typed after --pattern, --fault, ...) and a description for --list.
// Names, parsing and listing all read the same table.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace camsim {

template <typename Enum> struct EnumEntry {
    Enum value;
    std::string_view name;
    std::string_view description = {};
};

template <typename Enum, std::size_t N> const EnumEntry<Enum> *FindEntry(const EnumEntry<Enum> (&table)[N], Enum value)
{
    for (const EnumEntry<Enum> &entry : table)
        if (entry.value == value)
            return &entry;
    return nullptr;
}

template <typename Enum, std::size_t N> std::string_view EntryName(const EnumEntry<Enum> (&table)[N], Enum value)
{
    const EnumEntry<Enum> *entry = FindEntry(table, value);
    return entry ? entry->name : "?";
}

template <typename Enum, std::size_t N> std::string_view EntryDescription(const EnumEntry<Enum> (&table)[N], Enum value)
{
    const EnumEntry<Enum> *entry = FindEntry(table, value);
    return entry ? entry->description : "";
}

template <typename Enum, std::size_t N>
std::optional<Enum> ParseEntry(const EnumEntry<Enum> (&table)[N], std::string_view name)
{
    for (const EnumEntry<Enum> &entry : table)
        if (entry.name == name)
            return entry.value;
    return std::nullopt;
}

// The values in table order.
template <typename Enum, std::size_t N> std::vector<Enum> EntryValues(const EnumEntry<Enum> (&table)[N])
{
    std::vector<Enum> values;
    for (const EnumEntry<Enum> &entry : table)
        values.push_back(entry.value);
    return values;
}

} // namespace camsim
