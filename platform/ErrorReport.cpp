#include "platform/ErrorReport.h"

#include <cstdio>

namespace varimark {

namespace {
TErrorReporter& Reporter() {
    static TErrorReporter reporter;
    return reporter;
}
} // namespace

void SetErrorReporter(TErrorReporter reporter) {
    Reporter() = std::move(reporter);
}

void ReportError(const std::string& message) {
    if (Reporter())
        Reporter()(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

} // namespace varimark
