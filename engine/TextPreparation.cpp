#include "engine/TextPreparation.h"

#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"

#include <cstring>

namespace varimark {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// START A, START B, START C and STOP as Code 128 symbol characters.
bool IsStartOrStop(unsigned char c) {
    return c >= 135 && c <= 138;
}

// Cuts text to n characters, or pads it with "0" at the end to n characters.
void FitLength(char* text, std::size_t n) {
    std::size_t len = std::strlen(text);
    while (len < n) text[len++] = '0';
    text[n] = '\0';
}

void TransferDigits(const char* source, char* dest) {
    std::size_t i = 0;
    for (; source[i] != '\0'; ++i) dest[i] = IsDigit(source[i]) ? source[i] : '0';
    dest[i] = '\0';
}

} // namespace

void TransfervalidChars(char* source, char* dest, btCodeTypes type) {
    switch (type) {
    case btCodeTypes::CODE128_A:
    case btCodeTypes::CODE128_B:
    case btCodeTypes::CODE128_C: {
        char start[TBarcodeParams::kMaxCaption + 2];
        start[0] = static_cast<char>(135 + static_cast<int>(type) -
                                     static_cast<int>(btCodeTypes::CODE128_A)); // START A, B or C
        const std::size_t len = strnlen(source, TBarcodeParams::kMaxCaption);
        // A byte 255 would end the mapping early and drop the data after it.
        if (std::memchr(source, 255, len) != nullptr) throw EOverflow(kCode128Refusal);
        std::memcpy(start + 1, source, len);
        start[len + 1] = '\0';
        char mapped[TLLBarcode::kMapCode128Capacity];
        const std::size_t n = TLLBarcode::MapCode128(start, false, mapped);
        // A start or stop character belongs at the ends of the symbol only: between the data
        // symbols no reader takes it.
        for (std::size_t i = 1; i + 1 < n; ++i)
            if (IsStartOrStop(static_cast<unsigned char>(mapped[i])))
                throw EOverflow(kCode128Refusal);
        // The prepared text needs one more place for the check character.
        const std::size_t keep =
            n < TLLBarcode::kCodeTextCapacity - 1 ? n : TLLBarcode::kCodeTextCapacity - 1;
        std::memcpy(dest, mapped, keep);
        dest[keep] = '\0';
        return;
    }
    case btCodeTypes::GS1_128:
        TLLBarcode::MapGs1Code128(
            std::string_view(source, strnlen(source, TBarcodeParams::kMaxCaption)), dest);
        return;
    case btCodeTypes::Codabar: PrepareCodabar(source, dest); return;
    case btCodeTypes::CODE39: {
        const TBarCode39& table = BarCode39();
        std::size_t n = 0;
        dest[n++] = '*';
        for (const char* p = source; *p != '\0'; ++p) {
            const char c = ToUpperAscii(*p);
            dest[n++] = table.IndexOf(static_cast<unsigned char>(c)) >= 0 ? c : '0';
        }
        dest[n++] = '*';
        dest[n] = '\0';
        return;
    }
    case btCodeTypes::Postnet_FIM: {
        std::size_t i = 0;
        for (; source[i] != '\0'; ++i) {
            const char c = source[i];
            dest[i] = std::strchr("ABCabc", c) != nullptr ? c : '0';
        }
        dest[i] = '\0';
        return;
    }
    default: TransferDigits(source, dest); return; // Postnet's set is the digits as well
    }
}

void PrepareText(char* source, char* dest, btCodeTypes type) {
    TransfervalidChars(source, dest, type);
    switch (type) {
    case btCodeTypes::EAN_8:
        FitLength(dest, 7);
        AddCheckDigit(dest, type);
        break;
    case btCodeTypes::EAN_13:
        FitLength(dest, 12);
        AddCheckDigit(dest, type);
        break;
    case btCodeTypes::UPC_A:
        FitLength(dest, 11);
        AddCheckDigit(dest, type);
        break;
    case btCodeTypes::UPC_E:
        FitLength(dest, 6);
        AddCheckDigit(dest, type);
        break;
    case btCodeTypes::ITF_14:
        FitLength(dest, 13);
        AddCheckDigit(dest, type);
        break;
    case btCodeTypes::CODE39:
    case btCodeTypes::Codabar:
    case btCodeTypes::Postnet_FIM: break;
    case btCodeTypes::CODE25i:
    case btCodeTypes::CODE25iP:
        if (std::strlen(dest) % 2 == 1) AddCheckDigit(dest, type);
        break;
    case btCodeTypes::CODE128_A:
    case btCodeTypes::CODE128_B:
    case btCodeTypes::CODE128_C:
    case btCodeTypes::GS1_128: AddCode128Check(dest); break;
    case btCodeTypes::MSI_Plessey: AddMSIProofchar(dest, type); break;
    case btCodeTypes::Postnet: {
        const std::size_t len = std::strlen(dest);
        FitLength(dest, len >= 11 ? 11 : len >= 9 ? 9 : 5);
        AddCheckDigit(dest, type);
        break;
    }
    default: throw EOverflow("Barcode: Unknown Type of Barcode");
    }
}

void AddCheckDigit(char* text, btCodeTypes type) {
    const char* weights;
    switch (type) {
    case btCodeTypes::EAN_8: weights = "3131313"; break;
    case btCodeTypes::EAN_13: weights = "131313131313"; break;
    case btCodeTypes::ITF_14: weights = "3131313131313"; break; // GTIN-14's first 13 digits
    case btCodeTypes::UPC_A:
    case btCodeTypes::UPC_E: weights = "31313131313"; break;
    case btCodeTypes::CODE25i:
        weights = "31313131313131313131313131313131313131313131313131";
        break;
    case btCodeTypes::CODE25iP:
        weights = "49494949494949494949494949494949494949494949494949";
        break;
    case btCodeTypes::Postnet: weights = "11111111111"; break;
    default: throw EOverflow("BarcoLL: No check char with this barcode type");
    }
    const std::size_t len = std::strlen(text);
    int sum = 0;
    if (type == btCodeTypes::UPC_E) {
        sum = ExpandUPCE(text);
    } else {
        for (std::size_t i = 0; i < len && weights[i] != '\0'; ++i)
            sum += (static_cast<unsigned char>(text[i]) - '0') * (weights[i] - '0');
    }
    const int r = sum % 10;
    text[len] = static_cast<char>('0' + (r == 0 ? 0 : 10 - r));
    text[len + 1] = '\0';
}

int ExpandUPCE(const char* text) {
    char number[16] = "0";
    std::size_t n = 1;
    const char sixth = std::strlen(text) >= 6 ? text[5] : '\0';
    if (IsDigit(sixth)) {
        const char* next = text;
        for (const char* t = kUpcETemplates[sixth - '0']; *t != '\0'; ++t)
            number[n++] = *t == 'X' ? *next++ : *t;
    }
    number[n] = '\0';
    if (n != 11) throw EOverflow("Decoded legth of UPC-E code is wrong!");
    static constexpr char kWeights[] = "31313131313";
    int sum = 0;
    for (std::size_t i = 0; i < 11; ++i) sum += (number[i] - '0') * (kWeights[i] - '0');
    return sum;
}

void PrepareCodabar(char* source, char* dest) {
    for (char* p = source; *p != '\0'; ++p) *p = ToUpperAscii(*p);
    const auto isStartStop = [](char c) { return c >= 'A' && c <= 'D'; };
    const TBarCodabar& table = BarCodabar();
    const std::size_t len = std::strlen(source);
    std::size_t n = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const char c = source[i];
        if (i == 0 && !isStartStop(c)) dest[n++] = 'A';
        if (table.IndexOf(static_cast<unsigned char>(c)) >= 0) dest[n++] = c;
        if (i == len - 1 && !isStartStop(c)) dest[n++] = 'A';
    }
    while (n < 2) dest[n++] = 'A';
    for (std::size_t i = 1; i + 1 < n; ++i)
        if (isStartStop(dest[i])) dest[i] = '0';
    dest[n] = '\0';
}

void AddMSIProofchar(char* text, btCodeTypes type) {
    if (type != btCodeTypes::MSI_Plessey)
        throw EOverflow("Wrong barcode type in procedure AddMSIProofchar");
    const std::size_t len = std::strlen(text);
    // The odd group (the rightmost digit and every second one to its left), doubled
    // exactly as a decimal number; the even group is summed digit by digit.
    char odd[TBarcodeParams::kMaxCaption + 2];
    std::size_t oddLen = 0;
    int evenSum = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if ((len - 1 - i) % 2 == 0)
            odd[oddLen++] = text[i];
        else
            evenSum += text[i] - '0';
    }
    int doubledSum = 0;
    int carry = 0;
    for (std::size_t k = oddLen; k-- > 0;) {
        const int v = (odd[k] - '0') * 2 + carry;
        doubledSum += v % 10;
        carry = v / 10;
    }
    doubledSum += carry;
    const int s = doubledSum + evenSum;
    text[len] = static_cast<char>('0' + (10 - s % 10) % 10);
    text[len + 1] = '\0';
}

void AddCode128Check(char* text) {
    const std::size_t len = std::strlen(text);
    if (len == 0) return;
    int sum = static_cast<unsigned char>(text[0]) - 32;
    for (std::size_t i = 1; i + 1 < len; ++i) {
        const int code = static_cast<unsigned char>(text[i]);
        if (code < 32 || code > 138) throw EOverflow(kCode128Refusal);
        sum += static_cast<int>(i) * (code - 32);
    }
    text[len - 1] = static_cast<char>(32 + sum % 103);
    text[len] = static_cast<char>(138);
    text[len + 1] = '\0';
}

} // namespace varimark
