#pragma once
// Where the API's varimark::Type meets the engine's btCodeTypes: both enumerate the table of
// symbologies (engine/BarcodeTypes.h), the same names with the same values, which the
// compiler checks here, so that the conversions below are exact.
#include "engine/BarcodeTypes.h"
#include "varimark/varimark.h"

namespace varimark {

#define VARIMARK_SAME_TYPE(type, value, ...)                                                       \
    static_assert(static_cast<int>(Type::type) == (value) &&                                       \
                      static_cast<int>(btCodeTypes::type) == (value),                              \
                  "Type::" #type " and btCodeTypes::" #type " differ");
VARIMARK_SYMBOLOGIES(VARIMARK_SAME_TYPE)
#undef VARIMARK_SAME_TYPE
static_assert(static_cast<int>(Type::ITF_14) + 1 == kCodeTypeCount,
              "Type has a symbology the table of symbologies does not");

// A value outside the table stays outside it (refused where it is used).
constexpr btCodeTypes EngineType(Type type) {
    return static_cast<btCodeTypes>(type);
}
constexpr Type ApiType(btCodeTypes type) {
    return static_cast<Type>(type);
}

} // namespace varimark
