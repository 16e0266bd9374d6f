#include "cli/EncodeCommand.h"

#include "cli/LineReader.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"
#include "engine/EOverflow.h"
#include "engine/Escapes.h"
#include "engine/InputText.h"
#include "library/Json.h"

#include <cerrno>
#include <cstring>

namespace varimark::cli {

namespace {

constexpr std::size_t kFlushThreshold = 64 * 1024;

// Writes out to standard output and empties it; false on a write error (main reports it
// when the program ends).
bool WriteOut(std::string& out) {
    const bool ok = WriteStandardOutput(out);
    out.clear();
    return ok;
}

int FinishOutput(std::string& out, int status) {
    WriteOut(out);
    return status;
}

void AppendLineError(std::string& out, long long lineNumber, std::string_view message) {
    out += "{\"line\":";
    out += std::to_string(lineNumber);
    out += ",\"error\":";
    AppendJsonString(out, message);
    out += "}\n";
}

} // namespace

EncodeCommand::EncodeCommand(const SymbolOptions& options) : options_(options) {
    ApplySymbolOptions(options, barcode_.Params);
}

void EncodeCommand::EncodeText(std::string_view text, std::string& out) {
    barcode_.Params.SetCaption(text);
    try {
        barcode_.Encode();
    } catch (const EOverflow& e) {
        // The engine's Code 128 refusal, with the character it could not carry named.
        if (std::string_view(e.what()) == kCode128Refusal)
            throw EOverflow(Code128Error(text, barcode_.Params.CodeType));
        throw;
    }

    int count = barcode_.ModuleCount;
    if (count < 0) count = 0;
    if (count > TLLBarcode::kMaxModules) count = TLLBarcode::kMaxModules;
    const std::size_t codeTextCapacity = sizeof barcode_.CodeText;
    const void* terminator = std::memchr(barcode_.CodeText, '\0', codeTextCapacity);
    const std::size_t codeTextLength =
        terminator != nullptr
            ? static_cast<std::size_t>(static_cast<const char*>(terminator) - barcode_.CodeText)
            : codeTextCapacity;

    out += "{\"type\":\"";
    out += CodeTypeName(barcode_.Params.CodeType);
    out += "\",\"codetext\":";
    AppendJsonByteString(out, std::string_view(barcode_.CodeText, codeTextLength));
    out += ",\"modules\":\"";
    for (int i = 1; i <= count; ++i) out += barcode_.Modules[i] != 0 ? '1' : '0';
    out += "\",\"count\":";
    out += std::to_string(barcode_.ModuleCount);
    out += "}\n";
}

int EncodeCommand::RunSingle(const std::string& utf8Text) {
    std::string text;
    try {
        text = ToEngineText(utf8Text, options_.type, options_);
    } catch (const NulInTextError& e) {
        PrintNamed(e.what());
        return kExitRefused;
    } catch (const ETextRefused& e) {
        PrintNamed(e.what());
        return kExitRefused;
    } catch (const EscapeError& e) {
        throw UsageError(e.what());
    }
    std::string out;
    try {
        EncodeText(text, out);
    } catch (const EOverflow& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    }
    return FinishOutput(out, kExitOk);
}

int EncodeCommand::RunBatch(const std::string& fileName) {
    const bool fromStdin = fileName == "-";
    const std::string shownName = fromStdin ? "standard input" : fileName;
    std::FILE* file = fromStdin ? stdin : std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        PrintNamed("cannot read " + shownName + ": " + std::strerror(errno));
        return kExitRefused;
    }

    LineReader reader(file);
    std::string line;
    std::string text;
    std::string out;
    out.reserve(kFlushThreshold + 4096);
    long long lineNumber = 0;
    int status = kExitOk;
    while (reader.Next(line)) {
        ++lineNumber;
        try {
            if (reader.TooLong()) { // read to its end without being kept
                AppendLineError(out, lineNumber, "line too long");
                status = kExitRefused;
            } else if (!line.empty()) { // an empty line is skipped
                text = ToEngineText(line, options_.type, options_);
                EncodeText(text, out);
            }
        } catch (const ETextRefused& e) {
            AppendLineError(out, lineNumber, e.what());
            status = kExitRefused;
        } catch (const EscapeError& e) {
            AppendLineError(out, lineNumber, e.what());
            status = kExitRefused;
        } catch (const EOverflow& e) {
            AppendLineError(out, lineNumber, e.what());
            status = kExitRefused;
        }
        if (out.size() >= kFlushThreshold && !WriteOut(out)) break;
    }
    const int readError = reader.Error();
    if (!fromStdin) std::fclose(file);
    status = FinishOutput(out, status);
    if (readError != 0) {
        PrintNamed("cannot read " + shownName + ": " + std::strerror(readError));
        return kExitRefused;
    }
    return status;
}

int RunEncodeCommand(std::vector<std::string_view> args) {
    OptionParser parser(std::move(args));
    const SymbolOptions options = parser.Parse();
    if (options.help) {
        PrintEncodeUsage(stdout);
        return kExitOk;
    }
    EncodeCommand command(options);
    if (options.batchFile) return command.RunBatch(*options.batchFile);
    return command.RunSingle(*options.text);
}

} // namespace varimark::cli
