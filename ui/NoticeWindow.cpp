#include "ui/NoticeWindow.h"

#include "ui/ControlIds.h"
#include "ui/TextFormat.h"

#include <memory>
#include <new>

void SetNoticeText(AppState& app, const char16_t* text, bool append) {
    const DialogHost& dialog = *app.dialog;
    if (!append) {
        dialog.SetControlText(dialog.context, ControlNotice, text);
        return;
    }

    const std::size_t size =
        TextLength(text) + dialog.GetControlTextLength(dialog.context, ControlNotice) + 1;
    // Without memory for the joined text the window keeps its current text unchanged rather
    // than losing it.
    const std::unique_ptr<char16_t[]> joined(new (std::nothrow) char16_t[size]);
    if (!joined) {
        return;
    }
    joined[0] = u'\0';
    dialog.GetControlText(dialog.context, ControlNotice, joined.get(),
                          static_cast<std::uint32_t>(size));
    if (!AppendText(joined.get(), size, text)) {
        return;
    }
    dialog.SetControlText(dialog.context, ControlNotice, joined.get());
}
