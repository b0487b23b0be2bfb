#pragma once
// Result codes of every device operation. Any value not named here is an error code reported by
// the unit and passed on unchanged; callers treat every nonzero code as failure.
#include <cstdint>

inline constexpr std::int32_t ResultSuccess = 0;
inline constexpr std::int32_t ResultRefused = -1;
inline constexpr std::int32_t ResultWriteFailed = -2;
inline constexpr std::int32_t ResultReadFailed = -3;
inline constexpr std::int32_t ResultNoUnitFound = -4;
inline constexpr std::int32_t ResultEchoMismatch = 1627; // ERROR_FUNCTION_FAILED
