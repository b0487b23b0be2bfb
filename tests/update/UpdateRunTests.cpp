// Successful runs: what reaches the controller, in which order, with which pauses, and what the
// progress window shows.
#include "tests/update/UpdateRig.h"

#include "tests/support/DeviceEvent.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/PresenceHandling.h"
#include "update/UpdateProcedure.h"
#include "update/UpdateSteps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

std::uint32_t WordsOfBlock(std::uint32_t remaining) {
    return remaining >= 48 ? 12 : (remaining + 3) / 4;
}

// Requests, pauses and the precise-timing bracket of a run that succeeds with an image of size
// bytes: lock, unprotect, erase (with its own 1000 ms and the 4000 ms after it), address, the
// blocks with 20 ms each, then protect and unlock without a pause.
std::vector<std::string> ExpectedTimeline(std::uint32_t size) {
    std::vector<std::string> expected = {
        "precise on", "send 0B flag 1", "pause 20", "send 20 flag 0", "pause 20", "send 1E",
        "pause 1000", "pause 4000",     "pause 20", "send 1F",        "pause 20",
    };
    for (std::uint32_t remaining = size; remaining != 0;) {
        expected.push_back("send 1B words " + std::to_string(WordsOfBlock(remaining)));
        expected.push_back("pause 20");
        remaining -= std::min<std::uint32_t>(remaining, 48);
    }
    expected.insert(expected.end(), {"send 20 flag 1", "send 0B flag 0", "precise off"});
    return expected;
}

// The share of the image sent after each block: index k - 1 for block k.
std::vector<std::uint32_t> SharesAfterBlocks(std::uint32_t size) {
    std::vector<std::uint32_t> shares;
    for (std::uint64_t sent = 0; sent < size;) {
        sent = std::min<std::uint64_t>(sent + 48, size);
        shares.push_back(static_cast<std::uint32_t>(sent * 100 / size));
    }
    return shares;
}

// The positions sent to the bar: 0 when the window opens, then each share that differs from the
// one shown.
std::vector<std::uint32_t> ExpectedPositions(std::uint32_t size) {
    std::vector<std::uint32_t> positions = {0};
    for (const std::uint32_t share : SharesAfterBlocks(size)) {
        if (share != positions.back()) {
            positions.push_back(share);
        }
    }
    return positions;
}

// Notes at every pause what the bar shows; the pause after a block is where the user sees it.
struct BarWatch {
    const Clock* inner = nullptr;
    const FakeDialog* dialog = nullptr;
    const SimUnit* unit = nullptr;
    std::vector<std::uint32_t> shownAtPause;
    // Per pause: whether it started after the unit's last request (it counts from the reply).
    std::vector<bool> markedAfterRequest;
    std::uint32_t startedAt = 0; // requests logged when a split pause started
    Clock clock{};
};

BarWatch& Watch(void* context) {
    return *static_cast<BarWatch*>(context);
}

// What the bar shows as a pause ends, and whether the pause counted from the unit's reply.
void NoteBar(BarWatch& watch, bool fromReply) {
    const std::vector<FakeProgressWindow>& windows = watch.dialog->progressWindows;
    const bool shown = !windows.empty() && windows[0].alive && !windows[0].positions.empty();
    watch.shownAtPause.push_back(shown ? windows[0].positions.back() : 1000);
    watch.markedAfterRequest.push_back(fromReply);
}

void PauseAndWatchBar(void* context, std::uint32_t milliseconds) {
    NoteBar(Watch(context), false);
    Watch(context).inner->Pause(Watch(context).inner->context, milliseconds);
}

// A split pause, taken whole when it is finished (virtual time passes only then).
PauseDeadline WatchedStartPause(void* context, std::uint32_t milliseconds) {
    Watch(context).startedAt = Watch(context).unit->logCount;
    return milliseconds;
}

void WatchedFinishPause(void* context, PauseDeadline milliseconds) {
    BarWatch& watch = Watch(context);
    NoteBar(watch, watch.startedAt == watch.unit->logCount);
    watch.inner->Pause(watch.inner->context, static_cast<std::uint32_t>(milliseconds));
}

void WatchedPreciseOn(void* context) {
    Watch(context).inner->BeginPreciseTiming(Watch(context).inner->context);
}

void WatchedPreciseOff(void* context) {
    Watch(context).inner->EndPreciseTiming(Watch(context).inner->context);
}

void WatchBar(UpdateRig& rig, BarWatch& watch) {
    watch.inner = rig.app.unit.clock;
    watch.dialog = &rig.dialog;
    watch.unit = rig.sim.get();
    watch.clock = Clock{&watch, PauseAndWatchBar, WatchedPreciseOn, WatchedPreciseOff};
    watch.clock.StartPause = WatchedStartPause;
    watch.clock.FinishPause = WatchedFinishPause;
    rig.app.unit.clock = &watch.clock;
}

// The WriteBlock requests carry the image in order, each with its word count in byte 2.
void ExpectBlocksCarryImage(const UpdateRig& rig, const std::uint8_t* image, std::uint32_t size) {
    std::uint32_t offset = 0;
    std::uint32_t blocks = 0;
    for (const SimRequestRecord* request : UpdateRequests(rig)) {
        if (request->bytes[1] != 0x1B) {
            continue;
        }
        const std::uint32_t remaining = size - offset;
        const std::uint32_t words = WordsOfBlock(remaining);
        ASSERT_EQ(request->bytes[0], 0x01);
        ASSERT_EQ(request->bytes[2], words * 4) << "block " << blocks;
        const std::uint32_t imageBytes = std::min<std::uint32_t>(remaining, 48);
        ASSERT_EQ(0, std::memcmp(request->bytes + 4, image + offset, imageBytes))
            << "block " << blocks;
        for (std::uint32_t i = imageBytes; i < words * 4; ++i) {
            ASSERT_EQ(request->bytes[4 + i], 0xFF) << "padding of the last word";
        }
        offset += imageBytes;
        ++blocks;
    }
    EXPECT_EQ(offset, size);
}

void ExpectCompleted(const UpdateRig& rig) {
    EXPECT_TRUE(rig.dialog.boxes.empty());
    EXPECT_TRUE(IsUnitOpen(rig.app.unit));
    EXPECT_EQ(GetControllerFirmwareVersion(rig.app.unit), CarriedFirmwareVersion);
    EXPECT_FALSE(rig.dialog.controls.at(ControlUpdate).enabled);
    const std::string carried = std::to_string(CarriedFirmwareVersion >> 8) + "." +
                                std::to_string(CarriedFirmwareVersion & 0xFF);
    EXPECT_EQ(ToUtf8(rig.dialog.controls.at(ControlControllerVersion).text), carried);
    EXPECT_EQ(rig.dialog.controls.at(ControlNotice).text, CatalogueText(MessageUpdateDoneNotice));
    EXPECT_EQ(rig.virtualClock.preciseTimingDepth, 0);
    EXPECT_EQ(rig.virtualClock.preciseTimingBegins, 1u);
    ASSERT_EQ(rig.dialog.progressWindows.size(), 1u);
    EXPECT_FALSE(rig.dialog.progressWindows[0].alive);
    EXPECT_EQ(FilterLog(rig.dialog, "writing"),
              (std::vector<std::string>{"writing on", "writing off"}));
}

TEST(UpdateRun, CarriedImageReachesFlashInOrderWithItsPauses) {
    auto rig = MakeUpdateRig(SimUnitConfig{});
    const FirmwareImage image = LoadFirmwareImage();
    ASSERT_GT(image.size, 0u);
    // The stand-in image: 1,735 full blocks and a last one of 32 bytes.
    const std::uint32_t blocks = (image.size + 47) / 48;
    const std::uint32_t lastWords = image.size % 48 == 0 ? 12 : (image.size % 48 + 3) / 4;

    RunUpdate(rig->app);
    SyncTimeline(*rig);

    ExpectCompleted(*rig);
    EXPECT_EQ(rig->timeline, ExpectedTimeline(image.size));
    EXPECT_EQ(UpdateRequests(*rig).size(), 6 + blocks);
    EXPECT_EQ(TimelineEvents(*rig, "send 1B words 12").size(), image.size / 48);
    EXPECT_EQ(TimelineEvents(*rig, "send 1B").back(), "send 1B words " + std::to_string(lastWords));
    ExpectBlocksCarryImage(*rig, image.data, image.size);
    EXPECT_EQ(rig->sim->flashHighWater, image.size);
    EXPECT_EQ(0, std::memcmp(rig->sim->flash, image.data, image.size));

    // The first 6 pauses come before the first block: 20, 20, 1000 (inside the erase), 4000, 20,
    // 20; the rest are the blocks' own.
    const std::vector<std::uint32_t>& pauses = rig->virtualClock.pauses;
    ASSERT_EQ(pauses.size(), 6u + blocks);
    EXPECT_EQ(std::accumulate(pauses.begin(), pauses.begin() + 6, 0u), 4080u + 1000u);
    EXPECT_EQ(std::accumulate(pauses.begin() + 6, pauses.end(), 0u), 20 * blocks);

    const std::vector<std::uint32_t>& positions = rig->dialog.progressWindows[0].positions;
    EXPECT_EQ(positions, ExpectedPositions(image.size));

    // The run has released its hold: pulling the unit now closes it at once.
    rig->hid.interfaces[0].present = false;
    HandleDeviceChange(rig->app, DeviceRemoveCompleteEvent,
                       DeviceEvent(DeviceTypeInterface, u"\\\\?\\hid#vid_21b8&pid_0001#1").Data());
    EXPECT_FALSE(IsUnitOpen(rig->app.unit));
}

// After each block the bar shows the share sent so far, from 0 before the first block to 100
// after the last; it is repainted only when that share moves, at most 101 times.
TEST(UpdateRun, BarShowsEachBlocksShareAndRepaintsOnlyWhenItMoves) {
    struct Case {
        std::uint32_t size;
        std::size_t repaints;
    };
    const Case cases[] = {
        {83312, 101}, // the carried image: 1,736 blocks, 1 first shown after block 18
        {9600, 101},  // 200 blocks, each half a per cent
        {4800, 101},  // 100 blocks, each one per cent
        {480, 11},    // 10 blocks, each ten per cent
        {4, 2},       // one short block: 0, then 100
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("image of " + std::to_string(c.size) + " bytes");
        auto rig = MakeUpdateRig(SimUnitConfig{});
        BarWatch watch;
        WatchBar(*rig, watch);
        const std::vector<std::uint8_t> image = MakeTestImage(c.size, 7);
        SetTestImage(&image);

        RunUpdateWith(rig->app, LoadTestImage);

        ExpectCompleted(*rig);
        // 6 pauses before the first block (the erase's own wait among them), then one per block.
        const std::vector<std::uint32_t> shares = SharesAfterBlocks(c.size);
        ASSERT_EQ(watch.shownAtPause.size(), 6u + shares.size());
        const std::vector<std::uint32_t> shown(watch.shownAtPause.begin() + 6,
                                               watch.shownAtPause.end());
        EXPECT_EQ(shown, shares);
        // The address's pause and each block's count from its reply, the progress window's
        // opening and the bar's repaints inside them.
        EXPECT_EQ(
            std::vector<bool>(watch.markedAfterRequest.begin() + 5, watch.markedAfterRequest.end()),
            std::vector<bool>(1 + shares.size(), true));
        EXPECT_EQ(watch.shownAtPause[5], 0u); // the window is open, at 0, within the address's
        const std::vector<std::uint32_t>& positions = rig->dialog.progressWindows[0].positions;
        EXPECT_EQ(positions.size(), c.repaints);
        EXPECT_EQ(positions.front(), 0u);
        EXPECT_EQ(positions.back(), 100u);
        EXPECT_EQ(positions, ExpectedPositions(c.size));
    }
}

TEST(UpdateRun, ProgressWindowIsCentredTitledAndRaisedAfterTheDialog) {
    struct Case {
        WindowRect dialogRect;
        std::int32_t dpi, x, y, width, height;
    };
    const Case cases[] = {
        {{200, 100, 662, 496}, 96, 231, 273, 400, 50}, // even sizes
        {{0, 0, 463, 397}, 96, 31, 173, 400, 50},      // odd sizes: the halves drop their fraction
        {{-501, -300, 0, 1}, 96, -451, -175, 400, 50}, // a dialog on a monitor left of the primary
        {{1000, 500, 1100, 540}, 96, 850, 495, 400, 50}, // a dialog smaller than the window
        {{200, 100, 662, 496}, 144, 131, 261, 600, 75},  // the window grows with the dialog's DPI
        {{200, 100, 662, 496}, 192, 31, 248, 800, 100},
        {{200, 100, 662, 496}, 72, 231, 273, 400, 50}, // never smaller than at 96 DPI
    };
    for (const Case& c : cases) {
        auto rig = MakeUpdateRig(SimUnitConfig{});
        rig->dialog.dialogRect = c.dialogRect;
        rig->dialog.dialogDpi = c.dpi;
        const std::vector<std::uint8_t> image = MakeTestImage(96, 3);
        SetTestImage(&image);
        RunUpdateWith(rig->app, LoadTestImage);

        ASSERT_EQ(rig->dialog.progressWindows.size(), 1u);
        const FakeProgressWindow& window = rig->dialog.progressWindows[0];
        EXPECT_EQ(window.x, c.x);
        EXPECT_EQ(window.y, c.y);
        EXPECT_EQ(window.width, c.width);
        EXPECT_EQ(window.height, c.height);
        EXPECT_EQ(window.title, CatalogueText(MessageProgressTitle));
        EXPECT_EQ(window.title, u"Firmware wird geschrieben, bitte warten...");
        const auto created =
            std::find(rig->dialog.log.begin(), rig->dialog.log.end(), "create 100");
        ASSERT_LE(created + 4, rig->dialog.log.end());
        const std::vector<std::string> start(created, created + 4);
        EXPECT_EQ(start,
                  (std::vector<std::string>{"create 100", "position 0", "raise 1", "raise 100"}));
    }
}

TEST(UpdateRun, OtherImageSizesAreCutIntoBlocksAndEndAt100) {
    // Sizes around the block length, one word, a multiple of 48 (no short block), and sizes that
    // are not whole words (their tail is padded with 0xFF up to the word).
    const std::uint32_t sizes[] = {4, 44, 48, 52, 96, 100, 480, 4800, 1, 6, 50, 95};
    for (const std::uint32_t size : sizes) {
        SCOPED_TRACE("image of " + std::to_string(size) + " bytes");
        auto rig = MakeUpdateRig(SimUnitConfig{});
        const std::vector<std::uint8_t> image = MakeTestImage(size, size);
        SetTestImage(&image);

        RunUpdateWith(rig->app, LoadTestImage);
        SyncTimeline(*rig);

        ExpectCompleted(*rig);
        EXPECT_EQ(rig->timeline, ExpectedTimeline(size));
        ExpectBlocksCarryImage(*rig, image.data(), size);
        EXPECT_EQ(0, std::memcmp(rig->sim->flash, image.data(), size));
        const std::uint32_t wholeWords = (size + 3) / 4 * 4;
        EXPECT_EQ(rig->sim->flashHighWater, wholeWords);
        for (std::uint32_t i = size; i < wholeWords; ++i) {
            EXPECT_EQ(rig->sim->flash[i], 0xFF);
        }
        const std::vector<std::uint32_t>& positions = rig->dialog.progressWindows[0].positions;
        EXPECT_EQ(positions, ExpectedPositions(size));
        EXPECT_EQ(positions.back(), 100u);
    }
}

TEST(UpdateRun, BlocksAreWrittenWhenTheProgressWindowCannotBeCreated) {
    auto rig = MakeUpdateRig(SimUnitConfig{});
    rig->dialog.progressCreationFails = true;
    const std::vector<std::uint8_t> image = MakeTestImage(4800, 9);
    SetTestImage(&image);

    RunUpdateWith(rig->app, LoadTestImage);
    SyncTimeline(*rig);

    EXPECT_EQ(rig->timeline, ExpectedTimeline(4800));
    EXPECT_EQ(0, std::memcmp(rig->sim->flash, image.data(), image.size()));
    EXPECT_EQ(rig->dialog.controls.at(ControlNotice).text, CatalogueText(MessageUpdateDoneNotice));
    EXPECT_TRUE(rig->dialog.boxes.empty());
    // Nothing is done to a window that does not exist.
    for (const std::string& line : rig->dialog.log) {
        EXPECT_NE(line, "raise 0");
        EXPECT_NE(line, "show 0");
        EXPECT_NE(line, "destroy 0");
        EXPECT_EQ(line.rfind("position", 0), std::string::npos);
    }
}

TEST(UpdateRun, BothClosingCommandsFailingStillCompletes) {
    SimUnitConfig config;
    config.faults[0x20] = {SimFaultKind::ErrorReply, 0x0E04, 2};
    config.faults[0x0B] = {SimFaultKind::WriteFails, 0, 2};
    auto rig = MakeUpdateRig(config);
    const std::vector<std::uint8_t> image = MakeTestImage(480, 5);
    SetTestImage(&image);

    RunUpdateWith(rig->app, LoadTestImage);
    SyncTimeline(*rig);

    ExpectCompleted(*rig);
    EXPECT_EQ(rig->timeline, ExpectedTimeline(480));
}

// The user's focus after each progress position, and after which positions the two windows are
// raised and shown again.
TEST(UpdateRun, ForegroundRaisesOnceWhenOneOfTheWindowsHasTheFocus) {
    struct Case {
        const char* name;
        std::function<HostWindow(std::uint32_t)> focus;
        std::uint32_t expectedQueries; // foreground checks before one of the windows has focus
        bool raised;
    };
    // 480 bytes: 10 blocks, positions 10, 20, ..., 100.
    const Case cases[] = {
        {"dialog focused", [](std::uint32_t) -> HostWindow { return 1; }, 1, true},
        {"progress focused", [](std::uint32_t) -> HostWindow { return 100; }, 1, true},
        {"elsewhere until 40%", [](std::uint32_t p) -> HostWindow { return p < 40 ? 77 : 100; }, 4,
         true},
        {"no window focused until 30%",
         [](std::uint32_t p) -> HostWindow { return p < 30 ? 0 : 1; }, 3, true},
        {"never focused", [](std::uint32_t) -> HostWindow { return 77; }, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto rig = MakeUpdateRig(SimUnitConfig{});
        rig->dialog.foregroundAfterPosition = c.focus;
        const std::vector<std::uint8_t> image = MakeTestImage(480, 1);
        SetTestImage(&image);
        RunUpdateWith(rig->app, LoadTestImage);

        EXPECT_EQ(FilterLog(rig->dialog, "foreground?").size(), c.expectedQueries);
        std::vector<std::string> expectedRaises = {"raise 1", "raise 100"};
        if (c.raised) {
            expectedRaises.insert(expectedRaises.end(), {"raise 1", "raise 100"});
        }
        EXPECT_EQ(FilterLog(rig->dialog, "raise"), expectedRaises);
        // Raised and shown right after the check that found the focus, dialog first.
        const std::vector<std::string>& log = rig->dialog.log;
        const auto lastQuery =
            std::find(log.rbegin(), log.rend(), std::string("foreground?")).base() - 1;
        if (c.raised) {
            ASSERT_GE(log.end() - lastQuery, 5);
            const std::vector<std::string> after(lastQuery + 1, lastQuery + 5);
            EXPECT_EQ(after,
                      (std::vector<std::string>{"raise 1", "raise 100", "show 1", "show 100"}));
        } else {
            EXPECT_TRUE(FilterLog(rig->dialog, "show").empty());
        }
    }
}

TEST(UpdateRun, ProgressArithmetic) {
    struct Case {
        std::uint32_t size, remaining, position;
    };
    const Case cases[] = {
        {83312, 83312, 0},
        {83312, 83312 - 48 * 17, 0},
        {83312, 83312 - 48 * 18, 1},
        {83312, 32, 99},
        {83312, 0, 100},
        {42949672, 1, 99},
        {42949672, 0, 100},
        {100000000, 50000000, 50},
        {4000000000u, 40000000, 99},
        {0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgressPosition(c.size, c.remaining), c.position)
            << c.size << " bytes, " << c.remaining << " remaining";
    }
    const std::uint32_t words[][2] = {{1, 1}, {3, 1}, {4, 1}, {5, 2}, {32, 8}, {44, 11}, {47, 12}};
    for (const auto& w : words) {
        EXPECT_EQ(LastBlockWords(w[0]), w[1]) << w[0] << " bytes";
    }
}

} // namespace
