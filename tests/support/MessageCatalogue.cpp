#include "tests/support/MessageCatalogue.h"

#include <algorithm>

namespace {

// The texts are UTF-8 in messages.def; the u"" prefix turns each into a UTF-16 literal.
#define MESSAGE(id, text) CatalogueEntry{id, u"" text},
constexpr CatalogueEntry catalogueEntries[] = {
#include "resources/messages.def"
};
#undef MESSAGE

constexpr bool IsSortedAndUnique() {
    for (std::size_t i = 1; i < std::size(catalogueEntries); ++i) {
        if (catalogueEntries[i - 1].id >= catalogueEntries[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IsSortedAndUnique(), "messages.def must list each identifier once, in rising order");

} // namespace

std::span<const CatalogueEntry> GetCatalogueEntries() {
    return catalogueEntries;
}

const char16_t* FindCatalogueText(std::uint16_t id) {
    const auto* end = std::end(catalogueEntries);
    const auto* found = std::lower_bound(
        std::begin(catalogueEntries), end, id,
        [](const CatalogueEntry& entry, std::uint16_t key) { return entry.id < key; });
    if (found == end || found->id != id) {
        return nullptr;
    }
    return found->text;
}

void LoadCatalogueText(std::uint16_t id, char16_t* buffer, std::uint32_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) {
        return;
    }
    const char16_t* text = FindCatalogueText(id);
    std::uint32_t length = 0;
    if (text != nullptr) {
        while (length + 1 < bufferSize && text[length] != u'\0') {
            buffer[length] = text[length];
            ++length;
        }
    }
    buffer[length] = u'\0';
}
