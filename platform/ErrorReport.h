#pragma once
// The application's error box: where failures that leave an event handler or a paint
// are shown. The desktop program installs its message box; the default writes the
// message to standard error.
#include <functional>
#include <string>

namespace varimark {

using TErrorReporter = std::function<void(const std::string& message)>;

// Installs the reporter (an empty function restores the default).
void SetErrorReporter(TErrorReporter reporter);
void ReportError(const std::string& message);

} // namespace varimark
