// How every failed update ends: the unit closed, the panel emptied, the box, notice 40030.
#include "device/Discovery.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"
#include "ui/NoticeWindow.h"
#include "ui/TextFormat.h"
#include "ui/VersionPanel.h"
#include "update/UpdateProcedure.h"
#include "update/UpdateSteps.h"

namespace {

constexpr char16_t LineBreak[] = u"\r\n";

// The message, and below it the code line when there is one; a code line that would not fit is
// left out rather than losing the message.
void ComposeBoxText(char16_t* box, const char16_t* message, const char16_t* codeLine) {
    box[0] = u'\0';
    AppendText(box, MessageBufferSize, message);
    if (codeLine == nullptr) {
        return;
    }
    const std::size_t needed = TextLength(box) + TextLength(LineBreak) + TextLength(codeLine);
    if (needed < MessageBufferSize) {
        AppendText(box, MessageBufferSize, LineBreak);
        AppendText(box, MessageBufferSize, codeLine);
    }
}

} // namespace

void ReportUpdateFailure(AppState& app, const char16_t* message, const char16_t* caption,
                         std::optional<std::int32_t> resultCode, std::uint32_t systemError) {
    const DialogHost& dialog = *app.dialog;
    CloseUnit(app.unit);
    dialog.EnableControl(dialog.context, ControlUpdate, false);
    RefreshVersionPanel(app);

    // Every code is shown, -1 from the unit included; only a failure before anything was sent
    // comes without one.
    char16_t codeLine[MessageBufferSize];
    const char16_t* shownCodeLine = nullptr;
    if (resultCode.has_value()) {
        char16_t format[MessageBufferSize];
        LoadMessage(app, MessageErrorCodeFormat, format);
        // The result as its 32-bit two's-complement pattern: -2 reads fffffffe.
        if (FormatText(codeLine, MessageBufferSize, format,
                       {NumberArgument(static_cast<std::uint32_t>(*resultCode)),
                        NumberArgument(systemError)}) >= 0) {
            shownCodeLine = codeLine;
        }
    }
    char16_t box[MessageBufferSize];
    ComposeBoxText(box, message, shownCodeLine);
    dialog.ShowMessageBox(dialog.context, box, caption, BoxOk | BoxIconError);

    char16_t notice[MessageBufferSize];
    LoadMessage(app, MessageUpdateFailedNotice, notice);
    SetNoticeText(app, notice, false);
}
