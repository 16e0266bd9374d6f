#include "cli/EncodeCommand.h"

#include "cli/LineReader.h"
#include "cli/StandardOutput.h"
#include "cli/Usage.h"

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
    out += JsonString(message);
    out += "}\n";
}

} // namespace

TEncodeCommand::TEncodeCommand(const TSymbolOptions& options)
    : options_(options), symbol_(SymbolOf(options, options.type, "")) {
    CheckAddon(symbol_);
}

void TEncodeCommand::EncodeText(std::string_view text, std::string& out) {
    symbol_.text = text;
    out += EncodeJson(symbol_);
    out += '\n';
}

int TEncodeCommand::RunSingle(const std::string& utf8Text) {
    std::string out;
    try {
        EncodeText(utf8Text, out);
    } catch (const EscapeSequenceError& e) {
        throw EUsage(e.what());
    } catch (const TextError& e) { // refused before it is encoded: the program's own message
        PrintNamed(e.what());
        return kExitRefused;
    } catch (const Error& e) { // the engine's refusal, as it is
        std::fprintf(stderr, "%s\n", e.what());
        return kExitRefused;
    }
    return FinishOutput(out, kExitOk);
}

int TEncodeCommand::RunBatch(const std::string& fileName) {
    const bool fromStdin = fileName == "-";
    const std::string shownName = fromStdin ? "standard input" : fileName;
    std::FILE* file = fromStdin ? stdin : std::fopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        PrintNamed("cannot read " + shownName + ": " + std::strerror(errno));
        return kExitRefused;
    }

    TLineReader reader(file);
    std::string line;
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
                EncodeText(line, out);
            }
        } catch (const Error& e) { // a refused text, a bad escape, the engine's refusal
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
    TOptionParser parser(std::move(args));
    const TSymbolOptions options = parser.Parse();
    if (options.help) {
        PrintEncodeUsage(stdout);
        return kExitOk;
    }
    TEncodeCommand command(options);
    if (options.batchFile) return command.RunBatch(*options.batchFile);
    return command.RunSingle(*options.text);
}

} // namespace varimark::cli
