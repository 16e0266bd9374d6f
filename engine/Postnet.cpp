// Postnet and the facing identification marks.
#include "engine/LLBarcode.h"
#include "engine/SymbologyTables.h"

#include <cstring>

namespace varimark {

void TLLBarcode::BuildPostnet() {
    int pos = PutRun(1, 1, 1); // full-height frame bar
    for (const char* p = CodeText; *p != '\0'; ++p) {
        const char* bars = TBarPostnet::kDigitBars[(*p >= '0' && *p <= '9') ? *p - '0' : 0];
        for (int k = 0; k < 5; ++k) Modules[pos++] = bars[k] == '1' ? 1 : 0;
    }
    pos = PutRun(pos, 1, 1); // closing frame bar
    ModuleCount = pos - 1;
}

void TLLBarcode::BuildFIM() {
    const char first = CodeText[0];
    const int mark = (first == 'A' || first == 'a') ? 0 : (first == 'B' || first == 'b') ? 1 : 2;
    static constexpr const char* kNames[3] = {"FIM-A", "FIM-B", "FIM-C"};
    std::memcpy(CodeText, kNames[mark], 6);
    const char* bars = TBarPostnet::kFimBars[mark];
    for (int k = 0; k < 9; ++k) Modules[k + 1] = bars[k] == '1' ? 1 : 0;
    ModuleCount = 9;
}

} // namespace varimark
