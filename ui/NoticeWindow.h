#pragma once
#include "ui/AppState.h"

// Replaces the notice window's text (append false) or adds text at its end (append true).
void SetNoticeText(AppState& app, const char16_t* text, bool append);
