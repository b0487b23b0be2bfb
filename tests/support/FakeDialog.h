#pragma once
// A main dialog without windows: control texts and enabling, message boxes with scripted answers,
// the progress window, z-order and foreground, and one ordered log of everything done to them.
#include "platform/DialogHost.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct FakeControl {
    std::u16string text;
    bool enabled = true;
};

struct FakeBox {
    std::u16string text;
    std::u16string caption;
    std::uint32_t style = 0;
};

struct FakeProgressWindow {
    HostWindow handle = 0;
    std::u16string title;
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    bool alive = true;
    std::vector<std::uint32_t> positions;
};

struct FakeDialog {
    // The controls of template 110 with their template texts; "Update" disabled.
    std::map<std::int32_t, FakeControl> controls;

    std::vector<FakeBox> boxes;
    std::deque<std::int32_t> boxAnswers; // taken one per box; AnswerOk when empty
    // Runs while a box is open, as the box's modal loop would dispatch messages.
    std::function<void(const FakeBox&)> whileBoxOpen;

    HostWindow dialogWindow = 1;
    WindowRect dialogRect{200, 100, 662, 496};
    std::int32_t dialogDpi = 96;
    bool progressCreationFails = false;
    std::vector<FakeProgressWindow> progressWindows;
    HostWindow foreground = 1;
    // The dialog's queue delivering the posted device events, when set; else they stay noted.
    std::function<void()> deliverDeviceEvents;
    // Applied to `foreground` after each progress position, when set (simulates the user).
    std::function<HostWindow(std::uint32_t position)> foregroundAfterPosition;

    // "text <id>", "enable <id> <0|1>", "box <caption>", "create <handle>", "position <n>",
    // "destroy <handle>", "raise <handle>", "show <handle>", "foreground?", "writing on",
    // "writing off"
    std::vector<std::string> log;
    DialogHost host{};
};

// Wires dialog.host to dialog and fills the controls; the record must not move afterwards.
void InitFakeDialog(FakeDialog& dialog);

// The log lines that start with prefix, in order.
std::vector<std::string> FilterLog(const FakeDialog& dialog, const std::string& prefix);

// UTF-16 to UTF-8 for readable test failures.
std::string ToUtf8(const std::u16string& text);
