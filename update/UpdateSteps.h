#pragma once
// The parts of "Update" below RunUpdate, open to the tests so that the block loop can be run with
// images other than the carried one.
#include "ui/AppState.h"
#include "update/FirmwareImage.h"

#include <cstdint>
#include <optional>

using FirmwareImageLoader = FirmwareImage (*)();

// RunUpdate with the image that loadImage gives; loadImage is called once, after the version
// guard and before the first command.
void RunUpdateWith(AppState& app, FirmwareImageLoader loadImage);

// Why a run stopped: the step's message, the command's result (none when nothing reached the
// unit) and the system error of the write or read that failed (0 when the unit refused).
struct UpdateFailure {
    std::uint16_t messageId = 0;
    std::optional<std::int32_t> result;
    std::uint32_t systemError = 0;
};

// The failure of a command that returned result: its code is shown unless the command was
// refused before anything was sent (ResultRefused without an answer); a unit's own code
// 0xFFFFFFFF is shown like any other.
UpdateFailure CommandFailure(const UnitConnection& unit, std::uint16_t messageId,
                             std::int32_t result);
// The same during a run: when the connection the run used is gone, the report says so (40022),
// and when the PC goes to sleep, that (40037), each with the failed command's code line. A
// transfer that failed first finds out whether the connection is gone (IsConnectionGone).
UpdateFailure CommandFailure(const AppState& app, std::uint16_t messageId, std::int32_t result);

// Windows fails a transfer to a pulled unit at once, with the stack's own status (often
// ERROR_GEN_FAILURE), and delivers the removal up to some hundred milliseconds later. So the
// connection counts as gone when its removal has been noted, when the system says it is not
// connected or no longer lists its path, or when its removal comes within this wait (which ends
// at the removal's notice). A unit pulled and plugged in again meanwhile is a new connection.
inline constexpr std::uint32_t RemovalNoticeMilliseconds = 1000;
bool IsConnectionGone(const AppState& app);

// True once the open unit's removal or a suspend of the system has been noted during the run,
// whose next command must then not be sent: failure is set to the report that names it, without
// a code line (no command failed).
bool StopsForLostUnit(const AppState& app, UpdateFailure& failure);

// Opens the progress window inside the pause after the address (started by the caller), writes
// the image block by block and destroys the window again.
// False on the first block that fails, with failure filled in; nothing is sent after it.
bool WriteImageBlocks(AppState& app, const FirmwareImage& image, PauseDeadline addressPause,
                      UpdateFailure& failure);

// The bar's position when remaining of size bytes are still to be sent: (size - remaining) * 100
// / size, fraction dropped; 0 for an empty image.
std::uint32_t ProgressPosition(std::uint32_t size, std::uint32_t remaining);

// Words that carry a last block of byteCount (1 to 47) bytes: the whole words, and a partly
// filled last word as well, so that no image byte is left out.
std::uint32_t LastBlockWords(std::uint32_t byteCount);
