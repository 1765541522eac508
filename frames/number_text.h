#pragma once

#include <cstdint>
#include <string>

// A whole number with commas between thousands: 34408 -> "34,408".
std::string Count(std::uint64_t value);
