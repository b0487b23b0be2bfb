#include "ui/NoticeWindow.h"

#include "tests/support/FakeDialog.h"
#include "tests/support/MessageCatalogue.h"
#include "ui/ControlIds.h"
#include "ui/MessageIds.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class NoticeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        InitFakeDialog(dialog);
        app.dialog = &dialog.host;
    }

    std::u16string& Notice() { return dialog.controls[ControlNotice].text; }

    FakeDialog dialog;
    AppState app;
};

TEST_F(NoticeWindow, ReplacesOrAppendsWithoutSeparator) {
    const struct {
        const char* name;
        const char16_t* before;
        const char16_t* text;
        bool append;
        const char16_t* after;
    } rows[] = {
        {"replace", u"alt", u"neu", false, u"neu"},
        {"replace with empty text clears", u"alt", u"", false, u""},
        {"append to empty window", u"", u"Schritt i)", true, u"Schritt i)"},
        {"append after paragraph break", u"Status\r\n\r\n", u"i) Akku", true,
         u"Status\r\n\r\ni) Akku"},
        {"append adds no separator", u"eins", u"zwei", true, u"einszwei"},
        {"append empty text keeps text", u"bleibt", u"", true, u"bleibt"},
        {"append keeps umlauts", u"Schließen ", u"läßt über", true, u"Schließen läßt über"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Notice() = row.before;
        dialog.log.clear();
        SetNoticeText(app, row.text, row.append);
        EXPECT_EQ(ToUtf8(Notice()), ToUtf8(row.after));
        // One write of the whole text, whichever mode.
        EXPECT_EQ(dialog.log, std::vector<std::string>{"text 40004"});
    }
}

TEST_F(NoticeWindow, AppendIsNotBoundByTheMessageBufferSize) {
    // The window can hold more than any one catalogue text; nothing of it may be cut.
    const std::u16string before(3 * MessageBufferSize, u'a');
    const std::u16string text(MessageBufferSize + 5, u'b');
    Notice() = before;
    SetNoticeText(app, text.c_str(), true);
    EXPECT_EQ(Notice().size(), before.size() + text.size());
    EXPECT_EQ(Notice(), before + text);
}

TEST_F(NoticeWindow, StatusTextAndInstructionsJoinAsTheUserReadsThem) {
    const std::u16string status = std::u16string(FindCatalogueText(MessageWrongModeNotice));
    const std::u16string instructions = FindCatalogueText(MessageInstructions);
    const std::u16string first = status + u"\r\n\r\n";
    SetNoticeText(app, first.c_str(), false);
    SetNoticeText(app, instructions.c_str(), true);
    EXPECT_EQ(Notice(), status + u"\r\n\r\n" + instructions);
}

} // namespace
