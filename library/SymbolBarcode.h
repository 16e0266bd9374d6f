#pragma once
// A symbol of the library's API as the engine's barcode: the one place where the API's
// fields meet the parameter record and its range checks.
#include "varimark/varimark.h"

#include "engine/Escapes.h"
#include "engine/InputText.h"
#include "engine/LLBarcode.h"

namespace varimark {

// Sets the look of the symbol into the parameter record: module size, rotation, the text
// line, bar and font height, font, zoom, high density and width reduction (not the type,
// ratio, add-on or text). Raises Error with the control's message for a value out of range.
void ApplyLook(const Symbol& symbol, TBarcodeParams& params);

// Sets every parameter of the barcode from the symbol, the caption last. Raises Error with
// the control's message for a value out of range ("Bar_SC_Size must be in the range
// 0..9!"), a text or an add-on the type cannot carry (engine/InputText.h) or a text the
// caption refuses.
void PrepareBarcode(const Symbol& symbol, TLLBarcode& barcode);

// Runs call with the engine's refusals of a text raised as the API's: ETextRefused and
// ENulInText as TextError, EEscape as EscapeSequenceError, with their messages.
template <class TCall> auto WithTextErrors(TCall&& call) {
    try {
        return call();
    } catch (const ENulInText& e) {
        throw TextError(e.what());
    } catch (const EEscape& e) {
        throw EscapeSequenceError(e.what());
    } catch (const ETextRefused& e) {
        throw TextError(e.what());
    }
}

} // namespace varimark
