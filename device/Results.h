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
// An error reply (marker 0xFF) whose code is zero: the unit refused the command without saying
// why. Any refusal must fail the command, so a zero code is replaced by this one. Its pattern
// reads ff000000 in the error-code line (the marker over an empty code); it is none of -1 to -4,
// not 1627, and above the 16 bits that the two readers of controller data can report.
inline constexpr std::int32_t ResultRefusedWithoutCode = static_cast<std::int32_t>(0xFF000000u);
