// libFuzzer target of the GS1 Application Identifier checks.
//
// Input layout:
//   0   bit 0: 0 the rest is bracketed text for ParseGs1Bracketed, 1 it is a scanner's
//       element string for CheckGs1ElementString; "~" in the rest stands for the separator.
// Bracketed text that is accepted must come back through Gs1ElementString and
// CheckGs1ElementString as the same elements with no fault, count as many data characters
// as its element string holds, and a refusal must say why; its unmet associations are listed. A
// scanner's data must split into elements of known AIs that hold no more than the data, each fault
// must say something, and data with no fault must come back through square brackets as the same
// elements.
#include "FuzzCheck.h"
#include "engine/ApplicationIdentifiers.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace varimark;

namespace {

std::string Bracketed(const std::vector<TGs1Element>& elements) {
    std::string text;
    for (const TGs1Element& e : elements) text += "[" + e.ai + "]" + e.data;
    return text;
}

void FuzzBracketed(const std::string& text) {
    std::vector<TGs1Element> elements;
    try {
        elements = ParseGs1Bracketed(text);
    } catch (const EGs1Data& e) {
        Check(*e.what() != '\0', "a refusal says why");
        return;
    }
    Check(!elements.empty(), "accepted text holds an element");
    const std::string string = Gs1ElementString(elements);
    Check(Gs1DataCharacterCount(elements) == string.size(),
          "the data characters are those of the element string");
    Check(!Gs1HumanReadable(elements).empty(), "the human-readable line is not empty");
    for (const std::string& unmet : Gs1UnmetAssociations(elements))
        Check(!unmet.empty(), "an unmet association says why");
    const TGs1Check check = CheckGs1ElementString(string);
    Check(check.faults.empty(), "an accepted text's element string has no fault");
    Check(check.elements == elements, "the element string splits into the same elements");
}

void FuzzScanned(const std::string& data) {
    const TGs1Check check = CheckGs1ElementString(data);
    std::size_t held = 0;
    for (const TGs1Element& e : check.elements) {
        Check(Gs1AiFormat(e.ai).has_value(), "every element's AI is in the table");
        held += e.ai.size() + e.data.size();
    }
    Check(held <= data.size(), "the elements hold no more than the data");
    for (const std::string& fault : check.faults) Check(!fault.empty(), "a fault says why");
    if (!check.faults.empty() || check.elements.empty()) return;
    try {
        Check(ParseGs1Bracketed(Bracketed(check.elements)) == check.elements,
              "faultless data comes back through square brackets as the same elements");
    } catch (const EGs1Data&) {
        Check(false, "faultless data is refused in square brackets");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    std::string rest(reinterpret_cast<const char*>(bytes + 1), size - 1);
    for (char& c : rest)
        if (c == '~') c = kGs1Separator;
    if (bytes[0] & 1) {
        FuzzScanned(rest);
    } else {
        try {
            FuzzBracketed(rest);
        } catch (const EGs1Data&) {
            Check(false, "the round trip raised EGs1Data");
        }
    }
    return 0;
}
