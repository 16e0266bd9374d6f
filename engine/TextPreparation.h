#pragma once
// Text preparation: the repair of the typed text and the check characters.
// Destinations are the engine's prepared-text buffer (TLLBarcode::kCodeTextCapacity + 1
// bytes); sources hold at most TBarcodeParams::kMaxCaption characters.
#include "engine/BarcodeTypes.h"

namespace varimark {

// TransfervalidChars, then the length rule and check character of the type.
void PrepareText(char* source, char* dest, btCodeTypes type);

// Copies source into dest, replacing characters outside the type's set by "0"
// (Code 39: lowercase letters become uppercase, "*" added at both ends); Code 128, GS1-128
// and Codabar take their own preparation. Codabar upper-cases source in place.
void TransfervalidChars(char* source, char* dest, btCodeTypes type);

// Appends the weighted modulo-10 check digit of the type.
void AddCheckDigit(char* text, btCodeTypes type);

// The UPC-A weighted sum of the 11-digit number that a 6-digit UPC-E text stands for.
int ExpandUPCE(const char* text);

// Codabar preparation: upper-cases source in place, adds the default start and stop
// character "A", drops characters outside the alphabet.
void PrepareCodabar(char* source, char* dest);

// Appends the MSI modulo-10 check digit.
void AddMSIProofchar(char* text, btCodeTypes type);

// Replaces the trailing STOP placeholder by the modulo-103 check character and appends STOP.
void AddCode128Check(char* text);

} // namespace varimark
