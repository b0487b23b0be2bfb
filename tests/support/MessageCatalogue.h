#pragma once
// The portable copy of the message catalogue for the tests and the benchmark, made from
// resources/messages.def like the program's string table, so that both hold the same texts.
#include "ui/MessageIds.h"

#include <cstdint>
#include <span>

struct CatalogueEntry {
    std::uint16_t id;
    const char16_t* text;
};

std::span<const CatalogueEntry> GetCatalogueEntries();

// The text of an identifier, or null when the catalogue has none.
const char16_t* FindCatalogueText(std::uint16_t id);

// LoadStringW semantics: the text cut to bufferSize - 1 units and terminated; an empty text for an
// unknown identifier; nothing written when bufferSize is 0.
void LoadCatalogueText(std::uint16_t id, char16_t* buffer, std::uint32_t bufferSize);
