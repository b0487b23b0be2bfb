#include "tests/support/FakeDialog.h"

#include "tests/support/MessageCatalogue.h"
#include "ui/ControlIds.h"

#include <algorithm>

namespace {

FakeDialog& Self(void* context) {
    return *static_cast<FakeDialog*>(context);
}

FakeControl& Control(FakeDialog& dialog, std::int32_t id) {
    return dialog.controls[id];
}

void LoadMessageText(void*, std::uint16_t id, char16_t* buffer, std::uint32_t size) {
    LoadCatalogueText(id, buffer, size);
}

void SetControlText(void* context, std::int32_t id, const char16_t* text) {
    FakeDialog& dialog = Self(context);
    Control(dialog, id).text = text;
    dialog.log.push_back("text " + std::to_string(id));
}

std::uint32_t GetControlTextLength(void* context, std::int32_t id) {
    return static_cast<std::uint32_t>(Control(Self(context), id).text.size());
}

void GetControlText(void* context, std::int32_t id, char16_t* buffer, std::uint32_t size) {
    if (size == 0) {
        return;
    }
    const std::u16string& text = Control(Self(context), id).text;
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.begin(), count, buffer);
    buffer[count] = u'\0';
}

void EnableControl(void* context, std::int32_t id, bool enable) {
    FakeDialog& dialog = Self(context);
    Control(dialog, id).enabled = enable;
    dialog.log.push_back("enable " + std::to_string(id) + (enable ? " 1" : " 0"));
}

std::int32_t ShowMessageBox(void* context, const char16_t* text, const char16_t* caption,
                            std::uint32_t style) {
    FakeDialog& dialog = Self(context);
    dialog.boxes.push_back({text, caption, style});
    dialog.log.push_back("box " + ToUtf8(caption));
    const FakeBox box = dialog.boxes.back();
    if (dialog.whileBoxOpen) {
        dialog.whileBoxOpen(box);
    }
    if (dialog.boxAnswers.empty()) {
        return AnswerOk;
    }
    const std::int32_t answer = dialog.boxAnswers.front();
    dialog.boxAnswers.pop_front();
    return answer;
}

HostWindow GetDialogWindow(void* context) {
    return Self(context).dialogWindow;
}

WindowRect GetDialogRect(void* context) {
    return Self(context).dialogRect;
}

std::int32_t GetDialogDpi(void* context) {
    return Self(context).dialogDpi;
}

HostWindow CreateProgressWindow(void* context, const char16_t* title, std::int32_t x,
                                std::int32_t y, std::int32_t width, std::int32_t height) {
    FakeDialog& dialog = Self(context);
    if (dialog.progressCreationFails) {
        dialog.log.push_back("create 0");
        return 0;
    }
    const HostWindow handle = 100 + dialog.progressWindows.size();
    dialog.progressWindows.push_back({handle, title, x, y, width, height, true, {}});
    dialog.log.push_back("create " + std::to_string(handle));
    return handle;
}

FakeProgressWindow* FindProgress(FakeDialog& dialog, HostWindow window) {
    for (FakeProgressWindow& progress : dialog.progressWindows) {
        if (progress.handle == window && progress.alive) {
            return &progress;
        }
    }
    return nullptr;
}

void SetProgressPosition(void* context, HostWindow window, std::uint32_t position) {
    FakeDialog& dialog = Self(context);
    if (FakeProgressWindow* progress = FindProgress(dialog, window)) {
        progress->positions.push_back(position);
    }
    dialog.log.push_back("position " + std::to_string(position));
    if (dialog.foregroundAfterPosition) {
        dialog.foreground = dialog.foregroundAfterPosition(position);
    }
}

void DestroyWindow(void* context, HostWindow window) {
    FakeDialog& dialog = Self(context);
    if (FakeProgressWindow* progress = FindProgress(dialog, window)) {
        progress->alive = false;
    }
    dialog.log.push_back("destroy " + std::to_string(window));
}

void RaiseWindow(void* context, HostWindow window) {
    FakeDialog& dialog = Self(context);
    dialog.log.push_back("raise " + std::to_string(window));
}

void ShowWindowNormal(void* context, HostWindow window) {
    Self(context).log.push_back("show " + std::to_string(window));
}

HostWindow GetForegroundWindow(void* context) {
    FakeDialog& dialog = Self(context);
    dialog.log.push_back("foreground?");
    return dialog.foreground;
}

void BeginWriting(void* context) {
    Self(context).log.push_back("writing on");
}

void EndWriting(void* context) {
    Self(context).log.push_back("writing off");
}

void PostDeviceEvents(void* context) {
    if (Self(context).deliverDeviceEvents) {
        Self(context).deliverDeviceEvents();
    }
}

} // namespace

void InitFakeDialog(FakeDialog& dialog) {
    dialog.controls = {
        {ControlQuit, {u"Beenden", true}},
        {ControlUpdate, {u"Update", false}},
        {ControlUnitLabel, {u"Firmware 1:", true}},
        {ControlBootloaderLabel, {u"Firmware 2:", true}},
        {ControlUnitVersion, {u"0.00.00", true}},
        {ControlBootloaderVersion, {u"0.00.00", true}},
        {ControlNotice, {u"", true}},
        {ControlVersionGroup, {u"Installierte Firmware Versionen", true}},
        {ControlControllerLabel, {u"Firmware 3:", true}},
        {ControlControllerVersion, {u"0.00.00", true}},
    };
    dialog.host = DialogHost{
        .context = &dialog,
        .LoadMessageText = LoadMessageText,
        .SetControlText = SetControlText,
        .GetControlTextLength = GetControlTextLength,
        .GetControlText = GetControlText,
        .EnableControl = EnableControl,
        .ShowMessageBox = ShowMessageBox,
        .GetDialogWindow = GetDialogWindow,
        .GetDialogRect = GetDialogRect,
        .GetDialogDpi = GetDialogDpi,
        .CreateProgressWindow = CreateProgressWindow,
        .SetProgressPosition = SetProgressPosition,
        .DestroyWindow = DestroyWindow,
        .RaiseWindow = RaiseWindow,
        .ShowWindowNormal = ShowWindowNormal,
        .GetForegroundWindow = GetForegroundWindow,
        .BeginWriting = BeginWriting,
        .EndWriting = EndWriting,
        .PostDeviceEvents = PostDeviceEvents,
    };
}

std::vector<std::string> FilterLog(const FakeDialog& dialog, const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : dialog.log) {
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
