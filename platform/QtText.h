#pragma once
// The engine's 8-bit text (Windows-1252) to and from Qt's Unicode strings.
#include <QString>

#include <string>
#include <string_view>

namespace varimark {

QString FromWindows1252(std::string_view text);
// Each character outside Windows-1252 becomes '?'.
std::string ToWindows1252(const QString& text);

} // namespace varimark
