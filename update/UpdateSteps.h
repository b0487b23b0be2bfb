#pragma once
// The parts of "Update" below RunUpdate, open to the tests so that the block loop can be run with
// images other than the carried one.
#include "ui/AppState.h"
#include "update/FirmwareImage.h"

#include <cstdint>

using FirmwareImageLoader = FirmwareImage (*)();

// RunUpdate with the image that loadImage gives; loadImage is called once, after the version
// guard and before the first command.
void RunUpdateWith(AppState& app, FirmwareImageLoader loadImage);

// Why a run stopped: the step's message, the command's result and the system error read after it.
struct UpdateFailure {
    std::uint16_t messageId = 0;
    std::int32_t result = 0;
    std::uint32_t systemError = 0;
};

// Opens the progress window, writes the image block by block and destroys the window again.
// False on the first block that fails, with failure filled in; nothing is sent after it.
bool WriteImageBlocks(AppState& app, const FirmwareImage& image, UpdateFailure& failure);

// The bar's position when remaining of size bytes are still to be sent: (size - remaining) * 100
// / size, fraction dropped; 0 for an empty image.
std::uint32_t ProgressPosition(std::uint32_t size, std::uint32_t remaining);

// Words that carry a last block of byteCount (1 to 47) bytes: the whole words, and a partly
// filled last word as well, so that no image byte is left out.
std::uint32_t LastBlockWords(std::uint32_t byteCount);

// The platform helpers shared by the update's files; a missing host or clock does nothing.
void PauseUpdate(const AppState& app, std::uint32_t milliseconds);
std::uint32_t ReadSystemError(const AppState& app);
void LoadMessage(const AppState& app, std::uint16_t messageId, char16_t* buffer);
