#include "BarcodeParams.h"

#include "EOverflow.h"

#include <cstring>

TBarcodeParams::TBarcodeParams() {
    std::memcpy(Caption, "4711", 5);
    CodeAddon[0] = '\0';
}

void TBarcodeParams::SetCaption(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(kMaxCaption))
        throw EOverflow("String exceeds maximum length");
    std::memcpy(Caption, text.data(), text.size());
    Caption[text.size()] = '\0';
}

void TBarcodeParams::SetCodeAddon(std::string_view text) {
    NormaliseAddon(text, CodeAddon);
}

void NormaliseAddon(std::string_view text, char out[TBarcodeParams::kMaxAddon + 1]) {
    int digits = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9' && digits < TBarcodeParams::kMaxAddon) out[digits++] = c;
    }
    const int keep = digits >= 5 ? 5 : digits >= 2 ? 2 : 0;
    out[keep] = '\0';
}
