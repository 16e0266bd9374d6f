// libFuzzer target of the engine's encoding.
//
// Input layout: byte 0 the type (modulo 16, so that the two values above Postnet_FIM are
// tried too), byte 1 the ratio (low bit), byte 2 the add-on length (modulo 6), that many
// add-on bytes, and the rest the caption. The caption and add-on go through the parameter
// record's setters as the control would pass them; then Encode() runs on a fresh engine and
// on one kept from the previous inputs, and the results must agree and be well formed.
#include "BarcodeParams.h"
#include "EOverflow.h"
#include "LLBarcode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

// The outcome of one encoding: the message of EOverflow, or empty on success.
std::string Encode(TLLBarcode& barcode) {
    try {
        barcode.Encode();
    } catch (const EOverflow& e) {
        return std::string("EOverflow: ") + e.what();
    }
    return {};
}

// After a failed encoding only the bounds are checked; after a successful one also that
// nothing is left beyond ModuleCount.
void CheckEncoded(const TLLBarcode& barcode, bool succeeded) {
    Check(barcode.ModuleCount >= 0 && barcode.ModuleCount <= TLLBarcode::kMaxModules,
          "ModuleCount within 0..kMaxModules");
    Check(std::memchr(barcode.CodeText, '\0', sizeof barcode.CodeText) != nullptr,
          "CodeText zero-terminated within its capacity");
    for (int i = 1; i <= TLLBarcode::kMaxModules; ++i) {
        Check(barcode.Modules[i] <= 1, "Modules entries are 0 or 1");
        if (succeeded && i > barcode.ModuleCount)
            Check(barcode.Modules[i] == 0, "no bars after ModuleCount");
    }
}

// The text routines that drawing applies to an encoded symbol, on buffers of exactly the
// documented sizes (so that the address sanitizer sees any overrun).
void CheckTextRoutines(const TLLBarcode& barcode) {
    const btCodeTypes type = barcode.Params.CodeType;
    if (type == CODE128_A || type == CODE128_B || type == CODE128_C) {
        std::string text(1, barcode.CodeText[0]);
        text += barcode.Params.Caption;
        for (const bool humanReadable : {false, true}) {
            std::vector<char> out(TLLBarcode::kMapCode128Capacity);
            const std::size_t length =
                TLLBarcode::MapCode128(text.c_str(), humanReadable, out.data());
            Check(length < out.size() && out[length] == '\0', "MapCode128 result fits");
        }
    }
    if (type == CODE25iP) {
        std::vector<char> text(barcode.CodeText, barcode.CodeText + sizeof barcode.CodeText);
        barcode.FormatCode25iP(text.data());
        Check(std::memchr(text.data(), '\0', text.size()) != nullptr, "FormatCode25iP result fits");
    }
}

void CheckParams(const TBarcodeParams& params) {
    Check(std::memchr(params.Caption, '\0', sizeof params.Caption) != nullptr,
          "Caption zero-terminated");
    const std::size_t addonLength = std::strlen(params.CodeAddon);
    Check(addonLength == 0 || addonLength == 2 || addonLength == 5, "add-on of 0, 2 or 5");
    for (std::size_t i = 0; i < addonLength; ++i)
        Check(params.CodeAddon[i] >= '0' && params.CodeAddon[i] <= '9', "add-on digits");
}

// Sets the caption; false when it is refused (then the caption must be unchanged).
bool SetCaption(TBarcodeParams& params, std::string_view caption) {
    char before[sizeof params.Caption];
    std::memcpy(before, params.Caption, sizeof before);
    try {
        params.SetCaption(caption);
    } catch (const EOverflow& e) {
        Check(std::string_view(e.what()) == "String exceeds maximum length", "refusal message");
        Check(caption.size() > TBarcodeParams::kMaxCaption, "refused a caption that fits");
        Check(std::memcmp(before, params.Caption, sizeof before) == 0, "refusal kept Caption");
        return false;
    }
    Check(caption.size() <= TBarcodeParams::kMaxCaption, "took an overlong caption");
    Check(std::memcmp(params.Caption, caption.data(), caption.size()) == 0 &&
              params.Caption[caption.size()] == '\0',
          "Caption holds the text");
    return true;
}

void Configure(TLLBarcode& barcode, btCodeTypes type, btCodeRatio ratio, std::string_view addon) {
    barcode.Params.CodeType = type;
    barcode.Params.Ratio = ratio;
    barcode.Params.SetCodeAddon(addon);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const auto type = static_cast<btCodeTypes>(data[0] % 16);
    const auto ratio = static_cast<btCodeRatio>(data[1] & 1);
    const std::size_t addonLength = std::min<std::size_t>(data[2] % 6, size - 3);
    const std::string_view addon(reinterpret_cast<const char*>(data + 3), addonLength);
    const std::string_view caption(reinterpret_cast<const char*>(data + 3 + addonLength),
                                   size - 3 - addonLength);

    TLLBarcode fresh;
    Configure(fresh, type, ratio, addon);
    CheckParams(fresh.Params);
    const bool accepted = SetCaption(fresh.Params, caption);
    const std::string freshOutcome = Encode(fresh);
    CheckEncoded(fresh, freshOutcome.empty());
    if (freshOutcome.empty()) CheckTextRoutines(fresh);

    // An engine that has encoded other inputs before must give the same result.
    static TLLBarcode used;
    Configure(used, type, ratio, addon);
    if (!accepted || !SetCaption(used.Params, caption)) return 0;
    const std::string usedOutcome = Encode(used);
    CheckEncoded(used, usedOutcome.empty());
    Check(usedOutcome == freshOutcome, "same outcome on a used engine");
    if (freshOutcome.empty()) {
        Check(used.ModuleCount == fresh.ModuleCount, "same ModuleCount on a used engine");
        Check(std::strcmp(used.CodeText, fresh.CodeText) == 0, "same CodeText on a used engine");
        Check(std::memcmp(used.Modules + 1, fresh.Modules + 1,
                          static_cast<std::size_t>(TLLBarcode::kMaxModules)) == 0,
              "same Modules on a used engine");
        Check(std::strcmp(used.Params.Caption, fresh.Params.Caption) == 0,
              "same Caption after encoding");
    }
    return 0;
}
