// The writing phase of an update: the progress window and the image in 48-byte blocks.
#include "device/Commands.h"
#include "device/Results.h"
#include "ui/MessageIds.h"
#include "ui/WindowGeometry.h"
#include "update/UpdateProcedure.h"
#include "update/UpdateShared.h"
#include "update/UpdateSteps.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

struct ProgressState {
    HostWindow dialog = 0;
    HostWindow progress = 0; // 0 when the window could not be created
    HostWindow remembered = 0;
    std::uint32_t shown = 0; // the bar's position on screen
};

bool IsUpdateWindow(const ProgressState& state, HostWindow window) {
    return window != 0 && (window == state.dialog || window == state.progress);
}

void RaiseBoth(const DialogHost& dialog, const ProgressState& state) {
    dialog.RaiseWindow(dialog.context, state.dialog);
    if (state.progress != 0) {
        dialog.RaiseWindow(dialog.context, state.progress);
    }
}

// A top-level progress window of 400 x 50 at 96 DPI, grown with the dialog's DPI above it (its
// caption grows too, and would leave a fixed-size bar a hairline), centred on the dialog, bar at
// 0, both windows on top.
void OpenProgressWindow(const DialogHost& dialog, ProgressState& state) {
    state.dialog = dialog.GetDialogWindow(dialog.context);
    const std::int32_t dpi = std::max(dialog.GetDialogDpi(dialog.context), BaseDpi);
    const std::int32_t width = ScaleForDpi(ProgressWindowWidth, dpi);
    const std::int32_t height = ScaleForDpi(ProgressWindowHeight, dpi);
    const WindowOrigin origin = CentreOn(dialog.GetDialogRect(dialog.context), width, height);
    char16_t title[MessageBufferSize];
    dialog.LoadMessageText(dialog.context, MessageProgressTitle, title, MessageBufferSize);
    // A window that cannot be created leaves the bar out; the blocks are written all the same.
    state.progress =
        dialog.CreateProgressWindow(dialog.context, title, origin.x, origin.y, width, height);
    if (state.progress != 0) {
        dialog.SetProgressPosition(dialog.context, state.progress, 0);
    }
    RaiseBoth(dialog, state);
}

// Each position set repaints the bar, which costs more than a block's exchange; the position
// takes only 101 values over the 1,736 blocks, so it is sent only when it moves. The window
// opens at 0 and only the last block reaches 100, so both ends are always shown.
void ShowProgress(const DialogHost& dialog, ProgressState& state, std::uint32_t position) {
    if (state.progress != 0 && position != state.shown) {
        dialog.SetProgressPosition(dialog.context, state.progress, position);
        state.shown = position;
    }
}

// Brings the two windows to the front once, after the first block at whose end one of them has
// the user's focus; a user who works elsewhere meanwhile is not disturbed.
void CheckForeground(const DialogHost& dialog, ProgressState& state) {
    if (IsUpdateWindow(state, state.remembered)) {
        return;
    }
    const HostWindow foreground = dialog.GetForegroundWindow(dialog.context);
    if (!IsUpdateWindow(state, foreground)) {
        return;
    }
    state.remembered = foreground;
    RaiseBoth(dialog, state);
    dialog.ShowWindowNormal(dialog.context, state.dialog);
    if (state.progress != 0) {
        dialog.ShowWindowNormal(dialog.context, state.progress);
    }
}

void CloseProgressWindow(const DialogHost& dialog, const ProgressState& state) {
    if (state.progress != 0) {
        dialog.DestroyWindow(dialog.context, state.progress);
    }
}

} // namespace

std::uint32_t ProgressPosition(std::uint32_t size, std::uint32_t remaining) {
    if (size == 0) {
        return 0;
    }
    // Equal to the 32-bit product for every image up to 42,949,672 bytes, and still right beyond.
    return static_cast<std::uint32_t>(std::uint64_t{size - remaining} * 100 / size);
}

std::uint32_t LastBlockWords(std::uint32_t byteCount) {
    return (byteCount + 3) / 4;
}

bool WriteImageBlocks(AppState& app, const FirmwareImage& image, PauseDeadline addressPause,
                      UpdateFailure& failure) {
    const DialogHost& dialog = *app.dialog;
    ProgressState state;
    // Opened inside the pause after the address, which counts from the address's reply.
    OpenProgressWindow(dialog, state);
    FinishPauseUpdate(app, addressPause);

    const std::uint8_t* position = image.data;
    std::uint32_t remaining = image.size;
    std::array<std::uint8_t, BlockBytes> lastBlock;
    std::uint32_t wordsQueued = 0; // by-product of WriteBlock, never read
    while (remaining != 0) {
        if (StopsForLostUnit(app, failure)) {
            CloseProgressWindow(dialog, state);
            return false;
        }
        std::int32_t result;
        if (remaining >= BlockBytes) {
            result = WriteBlock(app.unit, position, BlockWords, wordsQueued);
            remaining -= BlockBytes;
            position += BlockBytes;
        } else {
            // The image is sent in place; only its short tail is copied, behind it erased flash.
            lastBlock.fill(0xFF);
            std::memcpy(lastBlock.data(), position, remaining);
            result = WriteBlock(app.unit, lastBlock.data(), LastBlockWords(remaining), wordsQueued);
            remaining = 0;
        }
        if (result != ResultSuccess) {
            failure = CommandFailure(app, MessageBlockFailed, result);
            CloseProgressWindow(dialog, state);
            return false;
        }
        // The bar's repaint and the foreground check are part of the block's pause: the unit
        // still waits 20 ms for the next block, and the painting does not lengthen the gap.
        const PauseDeadline blockPause = StartPauseUpdate(app, BlockPauseMilliseconds);
        ShowProgress(dialog, state, ProgressPosition(image.size, remaining));
        CheckForeground(dialog, state);
        FinishPauseUpdate(app, blockPause);
    }
    CloseProgressWindow(dialog, state);
    return true;
}
