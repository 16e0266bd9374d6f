#include "platform/QtText.h"

#include "engine/Windows1252.h"

#include <QList>

namespace varimark {

QString FromWindows1252(std::string_view text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (char c : text)
        out += QChar(static_cast<char16_t>(Windows1252ToCodePoint(static_cast<unsigned char>(c))));
    return out;
}

std::string ToWindows1252(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const uint cp : text.toUcs4()) out += static_cast<char>(CodePointToWindows1252(cp));
    return out;
}

} // namespace varimark
