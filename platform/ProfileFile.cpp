// The profile functions over a plain INI text file.
//
// Reading rules:
// - Lines end with LF or CR LF (a last line may have no line end); a UTF-8 byte-order mark at
//   the very start of the file is skipped.
// - "[name]" starts a section; the name is what lies between the '[' and the last ']' of the
//   line, spaces and tabs around it trimmed. A line that starts with '[' but has no ']' still
//   starts a section, named by the rest of the line: keys below a damaged header never leak
//   into the section above it.
// - "key=value": the key is the text before the first '=', the value the text after it, both
//   with spaces and tabs around them trimmed; a value enclosed in a matching pair of double or
//   single quotes loses them. Lines starting with ';' are comments; blank lines and lines
//   without '=' carry nothing. Leading spaces and tabs of a line are ignored.
// - Keys above the first section belong to no section and are never found.
// - Names compare without regard to case (Unicode case folding). The first key of a name wins;
//   when a section occurs more than once, the key is taken from the first occurrence that
//   holds it.
// - Each line is decoded as UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise (a file
//   written by another system), so one old line does not spoil the rest of the file.
// - A value is cut to 1023 UTF-16 code units (one less when the cut would split a surrogate
//   pair). The default is returned as given.
//
// Writing rules:
// - Every line that is not the one written stays byte for byte as it was, with its line end,
//   comments, encoding and byte-order mark.
// - New lines take the line end of the file's first line (LF for a new file or a file of a
//   single unterminated line) and are UTF-8.
// - An existing key (found as reading finds it) keeps everything up to its value, including the
//   spelling of its name; only the value is replaced.
// - A new key goes right after the last key of the section's first occurrence (or right after
//   its header), so blank lines and comments that precede the next section stay with it.
// - A new section goes at the end of the file, after a blank line unless the file is empty or
//   already ends with one.
// - Values are single-line: CR and LF in a section name, key or value become spaces. A value
//   that would lose something when read back (spaces or tabs at either end, or a matching pair
//   of quotes around it) is written inside double quotes, which reading removes again.
// - Section and key names are trimmed, on reading and writing alike. A key that contains '='
//   or starts with ';' or '[' cannot be read back (as with any INI file).
// - The new file is made in the old one's folder, flushed to disk and takes its name only when
//   complete (WriteFileReplacing): a reader sees the old file or the new one, never a mix; a
//   failed write leaves the old file and no temporary file. Where the folder may not be written
//   but the file may, the whole new text is written over the file.
// - Each read-modify-write holds an exclusive advisory lock (flock) on the file's folder, so
//   that a second writer reads the file only after the first has renamed its new one into place
//   and no key is lost. The folder is locked rather than the file, because the rename replaces
//   the file (a lock on it would go with the old one), and rather than a lock file, so that
//   nothing but the settings file is left in the folder. Readers need no lock: they see the old
//   file or the new one.
//
// Hostile files: the file is opened without blocking and read only when it is a regular file
// of at most kMaxProfileFileSize bytes (a FIFO would block forever, /dev/zero never ends).
#include "platform/ProfileFile.h"

#include "export/FileReader.h"
#include "export/FileWriter.h"

#include "engine/Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace varimark {

using varimark::kMaxProfileFileSize;

namespace {

constexpr qsizetype kMaxValueLength = 1023;

enum class TLineKind { Blank, Other, Section, Key };

// One line of the file, as byte offsets into the whole file.
struct TLine {
    qsizetype begin = 0;     // first byte
    qsizetype end = 0;       // end of the content: the line end (LF or CR LF) excluded
    qsizetype next = 0;      // first byte of the next line
    bool terminated = false; // ended by LF
    TLineKind kind = TLineKind::Other;
    qsizetype nameBegin = 0, nameEnd = 0;   // section or key name, trimmed
    qsizetype valueBegin = 0, valueEnd = 0; // key lines: the value, trimmed, quotes kept
    bool utf8 = true;                       // the whole line is valid UTF-8
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsValidUtf8(const char* p, qsizetype n) {
    const std::string_view text(p, static_cast<std::size_t>(n));
    char32_t cp = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = NextCodePoint(text, i, cp);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

QString Decode(const char* p, qsizetype n, bool utf8) {
    // A U+FEFF at the start of a name or value is part of it (only the file's first bytes
    // can be a byte-order mark, and those are skipped before).
    if (utf8)
        return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom)
            .decode(QByteArrayView(p, n));
    QString s(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        s[i] =
            QChar(static_cast<char16_t>(Windows1252ToCodePoint(static_cast<unsigned char>(p[i]))));
    return s;
}

// Fills in the kind, name and value of a line whose begin and end are set.
void Classify(const QByteArray& data, TLine& line) {
    const char* d = data.constData();
    qsizetype p = line.begin;
    while (p < line.end && IsBlank(d[p])) ++p;
    if (p == line.end) {
        line.kind = TLineKind::Blank;
        return;
    }
    auto trim = [d](qsizetype& b, qsizetype& e) {
        while (b < e && IsBlank(d[b])) ++b;
        while (e > b && IsBlank(d[e - 1])) --e;
    };
    if (d[p] == ';') {
        line.kind = TLineKind::Other;
    } else if (d[p] == '[') {
        line.kind = TLineKind::Section;
        qsizetype close = line.end;
        for (qsizetype q = line.end; q > p + 1; --q) {
            if (d[q - 1] == ']') {
                close = q - 1;
                break;
            }
        }
        line.nameBegin = p + 1;
        line.nameEnd = close;
        trim(line.nameBegin, line.nameEnd);
    } else {
        qsizetype eq = p;
        while (eq < line.end && d[eq] != '=') ++eq;
        if (eq == line.end) {
            line.kind = TLineKind::Other;
            return;
        }
        line.kind = TLineKind::Key;
        line.nameBegin = p;
        line.nameEnd = eq;
        trim(line.nameBegin, line.nameEnd);
        line.valueBegin = eq + 1;
        line.valueEnd = line.end;
        trim(line.valueBegin, line.valueEnd);
    }
    line.utf8 = IsValidUtf8(d + line.begin, line.end - line.begin);
}

qsizetype BomLength(const QByteArray& data) {
    return data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

std::vector<TLine> SplitLines(const QByteArray& data) {
    std::vector<TLine> lines;
    const qsizetype size = data.size();
    qsizetype pos = BomLength(data);
    while (pos < size) {
        TLine line;
        line.begin = pos;
        qsizetype lf = data.indexOf('\n', pos);
        line.terminated = lf >= 0;
        line.next = line.terminated ? lf + 1 : size;
        line.end = line.terminated ? lf : size;
        if (line.end > line.begin && data[line.end - 1] == '\r') --line.end;
        Classify(data, line);
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

QString Name(const QByteArray& data, const TLine& line) {
    return Decode(data.constData() + line.nameBegin, line.nameEnd - line.nameBegin, line.utf8);
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The line of the key: the first key of that name in the first occurrence of the section that
// holds one.
std::optional<size_t> FindKey(const QByteArray& data, const std::vector<TLine>& lines,
                              const QString& section, const QString& key) {
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == TLineKind::Section)
            inSection = SameName(Name(data, lines[i]), section);
        else if (inSection && lines[i].kind == TLineKind::Key &&
                 SameName(Name(data, lines[i]), key))
            return i;
    }
    return std::nullopt;
}

// The line after which a new key of the section goes: the last key line of the section's first
// occurrence, or its header when it has none.
std::optional<size_t> FindInsertionLine(const QByteArray& data, const std::vector<TLine>& lines,
                                        const QString& section) {
    std::optional<size_t> found;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == TLineKind::Section) {
            if (found) break;
            if (SameName(Name(data, lines[i]), section)) found = i;
        } else if (found && lines[i].kind == TLineKind::Key) {
            found = i;
        }
    }
    return found;
}

QString SingleLine(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool IsQuote(QChar c) {
    return c == QLatin1Char('"') || c == QLatin1Char('\'');
}

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Spaces and tabs only, as the file's own trimming.
QString TrimBlanks(const QString& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.mid(b, e - b);
}

// The value as it is stored so that reading gives it back.
QByteArray StoredValue(const QString& value) {
    QString v = SingleLine(value);
    const bool quoted = v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back();
    if (!v.isEmpty() && (IsBlank(v.front()) || IsBlank(v.back()) || quoted))
        v = QLatin1Char('"') + v + QLatin1Char('"');
    return v.toUtf8();
}

} // namespace

namespace {

// The file's bytes as they are now. A file that is not there reads as empty.
struct TFileBytes {
    enum TStatus { kMissing, kLoaded, kRefused } status = kMissing;
    QByteArray data;
};

TFileBytes ReadFileBytes(const QString& fileName) {
    std::string bytes;
    switch (varimark::ReadSmallFile(QFile::encodeName(fileName).toStdString(),
                                    static_cast<std::size_t>(kMaxProfileFileSize), bytes)) {
    case varimark::TReadStatus::Missing: return {TFileBytes::kMissing, {}};
    case varimark::TReadStatus::Loaded:
        return {TFileBytes::kLoaded,
                QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))};
    case varimark::TReadStatus::Refused: break;
    }
    return {TFileBytes::kRefused, {}};
}

// Writers of the files of one folder take turns: an exclusive flock on the folder, held while
// the object lives. Without a folder to lock (it cannot be opened) the write goes ahead
// unlocked and fails or succeeds on its own.
class TFolderLock {
public:
    explicit TFolderLock(const QString& fileName)
        : fd_(::open(QFile::encodeName(QFileInfo(fileName).absolutePath()).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~TFolderLock() {
        if (fd_ >= 0) ::close(fd_); // releases the lock
    }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

private:
    int fd_;
};

bool WriteWhole(const QString& fileName, const QByteArray& bytes) {
    // A new file that takes the name when complete: the path always names a whole file.
    try {
        WriteFileReplacing(
            QFile::encodeName(fileName).toStdString(),
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    } catch (const EFile&) {
        return false;
    }
    return true;
}

} // namespace

struct ProfileReader::Parsed {
    QByteArray data;
    std::vector<TLine> lines;
};

ProfileReader::ProfileReader(const QString& fileName) {
    TFileBytes bytes = ReadFileBytes(fileName);
    refused_ = bytes.status == TFileBytes::kRefused;
    auto parsed = std::make_shared<Parsed>();
    parsed->data = std::move(bytes.data);
    parsed->lines = SplitLines(parsed->data);
    parsed_ = std::move(parsed);
}

QString ProfileReader::Read(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const QByteArray& data = parsed_->data;
    const auto at = FindKey(data, parsed_->lines, TrimBlanks(section), TrimBlanks(key));
    if (!at) return defaultValue;

    const TLine& line = parsed_->lines[*at];
    const char* d = data.constData();
    qsizetype b = line.valueBegin, e = line.valueEnd;
    if (e - b >= 2 && (d[b] == '"' || d[b] == '\'') && d[e - 1] == d[b]) ++b, --e;
    // Only a prefix needs decoding: 1023 code units never take more than 4 bytes each.
    const qsizetype prefix = line.utf8 ? 4 * (kMaxValueLength + 1) : kMaxValueLength + 1;
    QString value = Decode(d + b, std::min(e - b, prefix), line.utf8);
    if (value.size() > kMaxValueLength) {
        value.truncate(kMaxValueLength);
        if (value.back().isHighSurrogate()) value.chop(1);
    }
    return value;
}

bool CopyProfileFileIfMissing(const QString& from, const QString& to) {
    const TFolderLock lock(to);
    struct stat info {};
    if (::lstat(QFile::encodeName(to).constData(), &info) == 0 || errno != ENOENT) return false;
    const TFileBytes bytes = ReadFileBytes(from);
    return bytes.status == TFileBytes::kLoaded && WriteWhole(to, bytes.data);
}

QString ReadProfileString(const QString& section, const QString& key, const QString& defaultValue,
                          const QString& fileName) {
    return varimark::ProfileReader(fileName).Read(section, key, defaultValue);
}

bool WriteProfileString(const QString& section, const QString& key, const QString& value,
                        const QString& fileName) {
    const TFolderLock lock(fileName);
    // Only a file that is not there counts as empty: an existing file that cannot be read
    // must not be replaced by a new one.
    const TFileBytes bytes = ReadFileBytes(fileName);
    if (bytes.status == TFileBytes::kRefused) return false;
    const QByteArray& data = bytes.data;

    const QString sectionName = TrimBlanks(SingleLine(section));
    const QString keyName = TrimBlanks(SingleLine(key));
    const std::vector<TLine> lines = SplitLines(data);
    const QByteArray lineEnd =
        !lines.empty() && lines.front().terminated && lines.front().next - lines.front().end == 2
            ? QByteArrayLiteral("\r\n")
            : QByteArrayLiteral("\n");
    // What ends a line that had no line end, so that something can follow it.
    auto terminator = [&](const TLine& line) {
        return line.next > line.begin && data[line.next - 1] == '\r' ? QByteArrayLiteral("\n")
                                                                     : lineEnd;
    };
    const QByteArray keyLine = keyName.toUtf8() + '=' + StoredValue(value) + lineEnd;

    QByteArray out;
    if (const auto at = FindKey(data, lines, sectionName, keyName)) {
        const TLine& line = lines[*at];
        if (line.utf8) {
            // Everything up to the value stays; an empty value leaves the blanks after '='.
            const qsizetype keep = line.valueBegin < line.valueEnd ? line.valueBegin : line.end;
            out = data.left(keep) + StoredValue(value) + data.mid(line.end);
        } else {
            // A line from another system (Windows-1252) is written anew in UTF-8, so that it
            // still reads back as the name and value it holds.
            out = data.left(line.begin) + Name(data, line).toUtf8() + '=' + StoredValue(value) +
                  data.mid(line.end);
        }
    } else if (const auto after = FindInsertionLine(data, lines, sectionName)) {
        const TLine& line = lines[*after];
        out = data.left(line.next);
        if (!line.terminated) out += terminator(line);
        out += keyLine + data.mid(line.next);
    } else {
        out = data;
        if (!lines.empty()) {
            const TLine& last = lines.back();
            if (!last.terminated) out += terminator(last);
            if (last.kind != TLineKind::Blank) out += lineEnd;
        }
        out += '[' + sectionName.toUtf8() + ']' + lineEnd + keyLine;
    }

    return WriteWhole(fileName, out);
}

} // namespace varimark
