#pragma once

// One table per enum of camsim's command line: each value with its name
// (as typed after --pattern, --fault, ...) and a description for --list.
// Names, parsing and listing all read the same table.
//
// An enum takes part by declaring its table and, next to it,
//   constexpr std::span<const EnumEntry<E>> EnumTable(E) { return kTable; }
// which NameOf() and ParseName() find by argument-dependent lookup.

#include <optional>
#include <span>
#include <string_view>

namespace camsim {

template <typename Enum> struct EnumEntry {
    Enum value;
    std::string_view name;
    std::string_view description = {};
};

template <typename Enum> constexpr std::string_view NameOf(Enum value)
{
    for (const EnumEntry<Enum> &entry : EnumTable(Enum {}))
        if (entry.value == value)
            return entry.name;
    return "?";
}

template <typename Enum> constexpr std::optional<Enum> ParseName(std::string_view name)
{
    for (const EnumEntry<Enum> &entry : EnumTable(Enum {}))
        if (entry.name == name)
            return entry.value;
    return std::nullopt;
}

} // namespace camsim
