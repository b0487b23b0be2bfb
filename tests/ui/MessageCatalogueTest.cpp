#include "tests/support/MessageCatalogue.h"
#include "ui/MessageIds.h"
#include "ui/Product.h"
#include "ui/TextFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Every identifier that the program uses, from MessageIds.h.
const std::vector<std::uint16_t> usedIds = {
    MessageReadyNotice,
    MessageInstructions,
    MessageUpdateFailedCaption,
    MessageAddressFailed,
    MessageBlockFailed,
    MessageLibraryMissing,
    MessageRegistrationFailed,
    MessageApplicationErrorCaption,
    MessageWrongModeNotice,
    MessageNoControllerNotice,
    MessageNoUnitNotice,
    MessageUnitRemovedNotice,
    MessageUnitGone,
    MessageVersionQuestion,
    MessageVersionQuestionCaption,
    MessageLockFailed,
    MessageUnprotectFailed,
    MessageEraseFailed,
    MessageProgressTitle,
    MessageUpdateFailedNotice,
    MessageUpdateDoneNotice,
    MessageIncompatibleCaption,
    MessageIncompatibleFormat,
    MessageIncompatibleNotice,
    MessageErrorCodeFormat,
    MessageSuspendedDuringUpdate,
    MessageRunningInOtherSession,
};

std::u16string Loaded(std::uint16_t id) {
    std::vector<char16_t> buffer(MessageBufferSize, u'#');
    LoadCatalogueText(id, buffer.data(), MessageBufferSize);
    return buffer.data();
}

// The 27 texts as the user must read them, written out here rather than read from the catalogue's
// source, so that a slip in that source fails. The web address in 40034 is this product's own.
TEST(MessageCatalogue, HoldsEveryTextExactly) {
    const char16_t makerAddress[] = u"www.orvalda.de/support";
    const struct {
        std::uint16_t id;
        std::u16string text;
    } texts[] = {
        // clang-format off
        {40000, u"Programmiereinheit mit angeschlossenem Regler am USB Bus erkannt und bereit zum Update. Auf 'Update' klicken, um die neue Firmware nun in den Flash-Speicher des Reglers zu übertragen.\r\n\r\n!!! Bitte achten Sie darauf, dass die Verbindung PC<=>Programmiereinheit während des gesamten Update-Vorgangs nicht unterbrochen wird. Andernfalls kann es zu einer fehlerhaften Firmware kommen, wodurch Schäden am Gerät nicht ausgeschlossen sind !!!"},
        {40001, u"i) Schließen Sie einen geeigneten Akku an den Regler an, um ihn mit Spannung zu versorgen\r\n\r\nii) Verbinden Sie das Empfängerkabel des Reglers mit dem Reglerkabel der Programmiereinheit ( schalten Sie die TESSAVO an)\r\n\r\niii) Warten Sie, bis die Programmiereinheit den Regler gefunden hat (die beiden LEDs auf der Programmiereinheit und auf dem Regler blitzen/blinken in periodischen Abständen auf\r\n\r\niv) Verbinden Sie die Programmiereinheit nun mit dem USB Port des PCs\r\n\r\nv) Wenn Programmiereinheit und Regler vom PC gefunden wurden und bereit zum Update sind, kann das Firmware-Update über den Button 'Update' gestartet werden"},
        {40002, u"Update fehlgeschlagen!"},
        {40008, u"Die Speicheradresse, an welche die neue Firmware geschrieben wird, konnte nicht gesetzt werden. Das Update wird abgebrochen"},
        {40009, u"Fehler beim Schreiben des letzten Firmware Datenblocks. Das Update wird abgebrochen."},
        {40010, u"Eine Programmbibliothek von Windows konnte nicht aus dem Systemordner geladen werden. Das Programm wird geschlossen."},
        {40011, u"Fehler beim Registrieren des Windows Geräte-Meldungshandlers. Neue Geräte am USB Port können nicht erkannt werden. Das Programm wird geschlossen."},
        {40012, u"Fehler in der Anwendung"},
        {40015, u"Es wurde eine Programmiereinheit am USB Port des PCs gefunden, die sich jedoch im falschen Modus befindet. Gehen Sie folgendermaßen vor, um ein Update der Regler Software durchzuführen:"},
        {40016, u"Es wurde eine Programmiereinheit gefunden, an der jedoch kein updatefähiger Regler angeschlossen wurde. Gehen Sie folgendermaßen vor, um ein Update der Regler Software durchzuführen:"},
        {40017, u"Es wurde keine Programmiereinheit mit angeschlossenem updatefähigem Regler am USB Port des PCs gefunden. Gehen Sie folgendermaßen vor, um ein Update der Regler Software durchzuführen:"},
        {40020, u"Die USB Verbindung zwischen Programmiereinheit und PC wurde getrennt. Gehen Sie folgendermaßen vor, um ein Update der Regler Software durchzuführen:"},
        {40022, u"Das Update wird abgebrochen, da die Programmiereinheit für das System nicht mehr verfügbar ist. Bitte vergewissern Sie sich, dass die Verbindung PC<=>Programmiereinheit nicht unterbrochen wurde"},
        {40023, u"Die Firmware die Sie auf dem Regler installieren möchten, ist älter oder gleich alt wie die bereits auf dem Regler vorhandene Version. Sind Sie sicher, dass Sie die ältere Firmware dennoch installieren und die vorhandene unwiderruflich löschen möchten?"},
        {40025, u"Neuere Firmware gefunden"},
        {40026, u"System-Lock der Programmiereinheit konnte nicht gesetzt werden. Das Update wird abgebrochen."},
        {40027, u"Schreibzugriff auf den Flash-Speicher des Reglers nicht möglich. Das Update wird abgebrochen."},
        {40028, u"Fehler beim Löschen der alten Firmware. Neue Daten können nicht geschrieben werden. Das Update wird abgebrochen."},
        {40029, u"Firmware wird geschrieben, bitte warten..."},
        {40030, u"Der Updatevorgang wurd auf Grund eines Fehlers abgebrochen. Bitte versuchen Sie es erneut. Falls der Fehler weiterhin aufgetreten sollte, kontaktieren Sie bitte den ORVALDA Service"},
        {40032, u"Das Update der Regler-Software wurde erfolgreich durchgeführt! Bitte trennen Sie jetzt sowohl den Regler vom angeschlossenen Akku und der Programmiereinheit ab, als auch die Programmiereinheit vom USB Port des PCs"},
        {40033, u"Regler inkompatibel"},
        {40034, std::u16string(u"Mit diesem Updater läßt sich ausschließlich die Firmware von ORVALDA Reglern des Typs '%s' aktualisieren. Andere Modelle werden nicht unterstützt. Schauen Sie gegebenenfalls auf der ORVALDA Website unter ") + makerAddress + u" nach, ob ein Firmware-Update für Ihren Regler bereit liegt"},
        {40035, u"Der an der Programmiereinheit angeschlossene Regler ist nicht kompatibel mit diesem Updater. Schließen Sie einen geeigneten Regler an und gehen folgendermaßen vor, um ein Update der Regler Software durchzuführen:"},
        {40036, u"Das System meldet Fehlercode 0x%08x-0x%08x"},
        {40037, u"Das Update wird abgebrochen, da der PC in den Energiesparmodus wechselt. Bitte sorgen Sie dafür, dass der PC während des gesamten Update-Vorgangs eingeschaltet bleibt (Laptop nicht zuklappen)"},
        {40038, u"Der Firmware Updater läuft bereits in einer anderen Benutzersitzung dieses PCs. Bitte beenden Sie ihn dort, bevor Sie ihn hier erneut starten."},
        // clang-format on
    };
    ASSERT_EQ(std::size(texts), GetCatalogueEntries().size());
    for (const auto& expected : texts) {
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(Loaded(expected.id), expected.text);
    }
}

TEST(MessageCatalogue, HoldsExactlyTheIdentifiersInUse) {
    std::vector<std::uint16_t> ids;
    for (const CatalogueEntry& entry : GetCatalogueEntries()) {
        ids.push_back(entry.id);
    }
    std::vector<std::uint16_t> expected = usedIds;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(ids.size(), 27u);
    EXPECT_EQ(ids.front(), 40000);
    EXPECT_EQ(ids.back(), 40038);
}

TEST(MessageCatalogue, FindsEveryEntryAndNothingElse) {
    for (const CatalogueEntry& entry : GetCatalogueEntries()) {
        EXPECT_EQ(FindCatalogueText(entry.id), entry.text) << entry.id;
    }
    for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
        if (std::find(usedIds.begin(), usedIds.end(), id) == usedIds.end()) {
            ASSERT_EQ(FindCatalogueText(static_cast<std::uint16_t>(id)), nullptr) << id;
        }
    }
}

TEST(MessageCatalogue, SpotChecksOfExactTexts) {
    struct Case {
        std::uint16_t id;
        std::u16string text;
    };
    // Umlauts and sharp s written as escapes, independent of how this file is encoded.
    const Case cases[] = {
        {40002, u"Update fehlgeschlagen!"},
        {40012, u"Fehler in der Anwendung"},
        {40025, u"Neuere Firmware gefunden"},
        {40029, u"Firmware wird geschrieben, bitte warten..."},
        {40033, u"Regler inkompatibel"},
        {40036, u"Das System meldet Fehlercode 0x%08x-0x%08x"},
        {40009, u"Fehler beim Schreiben des letzten Firmware Datenblocks. Das Update wird "
                u"abgebrochen."},
        {40011, u"Fehler beim Registrieren des Windows Ger\u00e4te-Meldungshandlers. Neue "
                u"Ger\u00e4te am USB Port k\u00f6nnen nicht erkannt werden. Das Programm wird "
                u"geschlossen."},
        {40027, u"Schreibzugriff auf den Flash-Speicher des Reglers nicht m\u00f6glich. Das "
                u"Update wird abgebrochen."},
        {40015, u"Es wurde eine Programmiereinheit am USB Port des PCs gefunden, die sich jedoch "
                u"im falschen Modus befindet. Gehen Sie folgenderma\u00dfen vor, um ein Update der "
                u"Regler Software durchzuf\u00fchren:"},
        {40030, u"Der Updatevorgang wurd auf Grund eines Fehlers abgebrochen. Bitte versuchen Sie "
                u"es erneut. Falls der Fehler weiterhin aufgetreten sollte, kontaktieren Sie bitte "
                u"den ORVALDA Service"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Loaded(c.id), c.text) << c.id;
    }
}

TEST(MessageCatalogue, LineBreaksAreCarriageReturnLineFeed) {
    const std::u16string ready = Loaded(MessageReadyNotice);
    EXPECT_NE(ready.find(u"zu \u00fcbertragen.\r\n\r\n!!! Bitte achten"), std::u16string::npos);
    const std::u16string instructions = Loaded(MessageInstructions);
    EXPECT_EQ(instructions.rfind(u"i) Schlie\u00dfen Sie", 0), 0u);
    EXPECT_NE(instructions.find(u"versorgen\r\n\r\nii) Verbinden"), std::u16string::npos);
    EXPECT_NE(instructions.find(u"des PCs\r\n\r\nv) Wenn"), std::u16string::npos);

    // Nowhere a lone CR or LF, nor any other control character.
    for (const CatalogueEntry& entry : GetCatalogueEntries()) {
        const std::u16string text = entry.text;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t unit = text[i];
            if (unit == u'\r') {
                EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == u'\n') << entry.id;
            } else if (unit == u'\n') {
                EXPECT_TRUE(i > 0 && text[i - 1] == u'\r') << entry.id;
            } else {
                EXPECT_GE(unit, u' ') << entry.id << " at " << i;
            }
        }
    }
}

TEST(MessageCatalogue, OnlyTheTwoTemplatesCarryConversions) {
    for (const CatalogueEntry& entry : GetCatalogueEntries()) {
        const bool hasPercent = std::u16string(entry.text).find(u'%') != std::u16string::npos;
        const bool isTemplate =
            entry.id == MessageIncompatibleFormat || entry.id == MessageErrorCodeFormat;
        EXPECT_EQ(hasPercent, isTemplate) << entry.id;
    }
}

TEST(MessageCatalogue, InstructionsAreTheLongestAndEveryCompositionFits) {
    std::size_t longest = 0;
    std::uint16_t longestId = 0;
    for (const CatalogueEntry& entry : GetCatalogueEntries()) {
        const std::size_t length = TextLength(entry.text);
        if (length > longest) {
            longest = length;
            longestId = entry.id;
        }
        // A status text with its paragraph break, in one buffer.
        std::vector<char16_t> buffer(MessageBufferSize);
        LoadCatalogueText(entry.id, buffer.data(), MessageBufferSize);
        EXPECT_TRUE(AppendText(buffer.data(), buffer.size(), u"\r\n\r\n")) << entry.id;
    }
    EXPECT_EQ(longestId, MessageInstructions);
    // 628 units with its terminator.
    EXPECT_EQ(longest + 1, 628u);

    // The largest failure report: the longest failure text, a line break and the code line.
    char16_t line[MessageBufferSize];
    ASSERT_GT(FormatText(line, MessageBufferSize, FindCatalogueText(MessageErrorCodeFormat),
                         {NumberArgument(0xFFFFFFFFu), NumberArgument(0xFFFFFFFFu)}),
              0);
    for (std::uint16_t id : {MessageUnitGone, MessageLockFailed, MessageUnprotectFailed,
                             MessageEraseFailed, MessageAddressFailed, MessageBlockFailed}) {
        std::vector<char16_t> report(MessageBufferSize);
        LoadCatalogueText(id, report.data(), MessageBufferSize);
        EXPECT_TRUE(AppendText(report.data(), report.size(), u"\r\n")) << id;
        EXPECT_TRUE(AppendText(report.data(), report.size(), line)) << id;
    }
}

TEST(MessageCatalogue, IncompatibleTemplateNamesTheModel) {
    char16_t text[MessageBufferSize];
    const std::int32_t written =
        FormatText(text, MessageBufferSize, FindCatalogueText(MessageIncompatibleFormat),
                   {TextArgument(SupportedModelName)});
    ASSERT_GT(written, 0);
    const std::u16string formatted = text;
    EXPECT_EQ(static_cast<std::size_t>(written), formatted.size());
    const std::u16string firstSentence =
        u"Mit diesem Updater l\u00e4\u00dft sich ausschlie\u00dflich die Firmware von ORVALDA "
        u"Reglern des Typs 'HALVERN 160' aktualisieren.";
    EXPECT_EQ(formatted.substr(0, firstSentence.size()), firstSentence);
    // The rest follows unchanged: the template after its %s.
    const std::u16string format = FindCatalogueText(MessageIncompatibleFormat);
    const std::u16string rest = format.substr(format.find(u"%s") + 2);
    EXPECT_EQ(formatted.substr(formatted.size() - rest.size()), rest);
    const std::u16string ending =
        u" nach, ob ein Firmware-Update f\u00fcr Ihren Regler bereit liegt";
    EXPECT_EQ(formatted.substr(formatted.size() - ending.size()), ending);
    EXPECT_NE(formatted.find(u"unter www.orvalda.de"), std::u16string::npos);
}

TEST(MessageCatalogue, LoadCutsLikeLoadString) {
    const std::u16string full = FindCatalogueText(MessageProgressTitle);
    struct Case {
        std::uint16_t id;
        std::uint32_t bufferSize;
        std::u16string expected;
    };
    const Case cases[] = {
        {MessageProgressTitle, 1, u""},
        {MessageProgressTitle, 2, full.substr(0, 1)},
        {MessageProgressTitle, 9, full.substr(0, 8)},
        {MessageProgressTitle, static_cast<std::uint32_t>(full.size()),
         full.substr(0, full.size() - 1)},
        {MessageProgressTitle, static_cast<std::uint32_t>(full.size() + 1), full},
        {MessageProgressTitle, MessageBufferSize, full},
        {40003, MessageBufferSize, u""}, // a gap in the numbering
        {0, 16, u""},
    };
    for (const Case& c : cases) {
        std::vector<char16_t> buffer(c.bufferSize + 4, u'#');
        LoadCatalogueText(c.id, buffer.data(), c.bufferSize);
        EXPECT_EQ(std::u16string(buffer.data()), c.expected) << c.id << " in " << c.bufferSize;
        // Nothing is written past the buffer.
        EXPECT_EQ(std::u16string(buffer.end() - 4, buffer.end()), u"####") << c.bufferSize;
    }

    char16_t untouched[2] = {u'#', u'#'};
    LoadCatalogueText(MessageProgressTitle, untouched, 0);
    EXPECT_EQ(untouched[0], u'#');
    LoadCatalogueText(MessageProgressTitle, nullptr, MessageBufferSize); // must not crash
}

} // namespace
