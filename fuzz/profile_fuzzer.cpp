// libFuzzer target of the profile (INI) functions.
//
// Input layout: byte 0 flags, then the section name, the key and the value separated by zero
// bytes, and after a third zero byte the file's text. Flags: names and value decoded as
// Latin-1 instead of UTF-8; the key read back with its ASCII letters in upper case; the key
// written once before (so that the value is replaced in place).
//
// The text is written as the file; the keys named in the file are read, then the key is
// written and read back: the value as written with CR and LF turned into spaces and cut to
// 1023 UTF-16 code units, every other key as before, and every line of the file but the
// written one unchanged (a line without a line end may get one, and a new section may bring
// a blank line before it). The keys named in the file read the same from one reading of the
// file as from a reading per key.
#include "export/FileReader.h"
#include "platform/ProfileFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace varimark;

namespace {

// The scratch folder, once made: removed on a failed check too.
QString scratchFolder;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        if (!scratchFolder.isEmpty()) QDir(scratchFolder).removeRecursively();
        std::abort();
    }
}

// A folder of its own for the file, removed when the fuzzer ends; in memory where there is
// /dev/shm, since every write flushes the file to disk.
class TScratchFolder {
public:
    TScratchFolder() {
        std::string pattern =
            QDir("/dev/shm").exists() ? "/dev/shm/profile-fuzz-XXXXXX" : "/tmp/profile-fuzz-XXXXXX";
        Check(::mkdtemp(pattern.data()) != nullptr, "a scratch folder");
        path_ = QString::fromStdString(pattern);
        scratchFolder = path_;
    }
    ~TScratchFolder() { QDir(path_).removeRecursively(); }
    QString File() const { return path_ + "/profile.ini"; }

private:
    QString path_;
};

const QString& ProfilePath() {
    static const TScratchFolder folder;
    static const QString path = folder.File();
    return path;
}

QByteArray ReadAll(const QString& path) {
    std::string bytes;
    Check(varimark::ReadSmallFile(QFile::encodeName(path).toStdString(), std::size_t{1} << 26,
                                  bytes) == varimark::TReadStatus::Loaded,
          "the file can be read");
    return QByteArray::fromStdString(bytes);
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the file can be written");
    Check(file.write(bytes) == bytes.size(), "the file is written whole");
}

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Names as the functions take them: spaces and tabs around them do not count.
QString Trimmed(const QString& text) {
    qsizetype b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return text.mid(b, e - b);
}

QString SingleLine(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool SameName(const QString& a, const QString& b) {
    return Trimmed(a).compare(Trimmed(b), Qt::CaseInsensitive) == 0;
}

QString AsciiUpper(QString text) {
    for (QChar& c : text)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    return text;
}

// The lines of a file, each with its line end.
std::vector<QByteArray> Lines(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    for (qsizetype pos = 0; pos < bytes.size();) {
        const qsizetype lf = bytes.indexOf('\n', pos);
        const qsizetype next = lf < 0 ? bytes.size() : lf + 1;
        lines.push_back(bytes.mid(pos, next - pos));
        pos = next;
    }
    return lines;
}

// The lines that differ between two versions of a file: what is left of each after their
// common first and last lines are taken away.
struct TChange {
    std::vector<QByteArray> before, after;
};

TChange Difference(const QByteArray& oldBytes, const QByteArray& newBytes) {
    const std::vector<QByteArray> a = Lines(oldBytes), b = Lines(newBytes);
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    return {{a.begin() + static_cast<std::ptrdiff_t>(head),
             a.end() - static_cast<std::ptrdiff_t>(tail)},
            {b.begin() + static_cast<std::ptrdiff_t>(head),
             b.end() - static_cast<std::ptrdiff_t>(tail)}};
}

// What reading gives back for a written value.
QString ExpectedValue(const QString& value) {
    QString expected = SingleLine(value);
    if (expected.size() > 1023) {
        expected.truncate(1023);
        if (expected.back().isHighSurrogate()) expected.chop(1);
    }
    return expected;
}

// Whether reading can find a key again: not when it holds '=' or starts with ';' or '['.
bool KeyReadable(const QString& key) {
    const QString name = Trimmed(SingleLine(key));
    return !name.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char(';')) &&
           !name.startsWith(QLatin1Char('['));
}

// Section and key names that the file's text mentions, for reading.
void NamesInFile(const QByteArray& bytes, std::vector<QString>& sections,
                 std::vector<QString>& keys) {
    for (const QByteArray& raw : Lines(bytes)) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[') && sections.size() < 4) {
            const qsizetype close = line.lastIndexOf(']');
            sections.push_back(QString::fromUtf8(line.mid(1, close < 0 ? -1 : close - 1)));
        } else if (const qsizetype eq = line.indexOf('='); eq >= 0 && keys.size() < 4) {
            keys.push_back(QString::fromUtf8(line.left(eq)));
        }
    }
}

const QString kMissing = QStringLiteral("\x01missing\x01");

std::vector<QString> ReadAllNames(const std::vector<QString>& sections,
                                  const std::vector<QString>& keys) {
    std::vector<QString> values;
    const varimark::ProfileReader reader(ProfilePath());
    for (const QString& section : sections)
        for (const QString& key : keys) {
            values.push_back(ReadProfileString(section, key, kMissing, ProfilePath()));
            Check(reader.Read(section, key, kMissing) == values.back(),
                  "one reading of the file answers as a reading per key");
        }
    return values;
}

// Writes the value and checks the file and the value read back. False when the line
// written was not UTF-8 before.
bool WriteAndCheck(const QString& section, const QString& key, const QString& value,
                   bool upperCaseKey) {
    const QString& path = ProfilePath();
    const QByteArray before = QFile::exists(path) ? ReadAll(path) : QByteArray();
    Check(WriteProfileString(section, key, value, path), "writing succeeds");
    const QByteArray after = ReadAll(path);

    const TChange change = Difference(before, after);
    Check(change.before.size() <= 1, "one line of the file changes at most");
    // (None when the key already holds the value.)
    Check(change.after.size() <= 4,
          "the new key, a section header, a blank line and a line end at most are added");

    if (!KeyReadable(key)) return true;
    const QString readKey = upperCaseKey ? AsciiUpper(SingleLine(key)) : SingleLine(key);
    const QString read = ReadProfileString(SingleLine(section), readKey, kMissing, path);
    if (read != ExpectedValue(value)) {
        std::fprintf(stderr, "written [%s] %s=%s\nread back %s\n",
                     SingleLine(section).toUtf8().constData(), readKey.toUtf8().constData(),
                     ExpectedValue(value).toUtf8().constData(), read.toUtf8().constData());
        Check(false, "the value reads back as written");
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t flags = data[0];
    const QByteArray input(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    QByteArray parts[3];
    qsizetype pos = 0;
    for (QByteArray& part : parts) {
        const qsizetype zero = input.indexOf('\0', pos);
        part = input.mid(pos, zero < 0 ? -1 : zero - pos);
        pos = zero < 0 ? input.size() : zero + 1;
    }
    const QByteArray fileText = input.mid(pos);
    // UTF-8 with a leading U+FEFF kept: it is a character like any other here.
    const auto decode = [flags](const QByteArray& bytes) {
        if ((flags & 1) != 0) return QString::fromLatin1(bytes);
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        return QString(utf8.decode(bytes));
    };
    const QString section = decode(parts[0]), key = decode(parts[1]), value = decode(parts[2]);

    const QString& path = ProfilePath();
    WriteAll(path, fileText);
    std::vector<QString> sections, keys;
    NamesInFile(fileText, sections, keys);
    sections.push_back(section);
    keys.push_back(key);
    const std::vector<QString> valuesBefore = ReadAllNames(sections, keys);

    bool comparable = true;
    if ((flags & 4) != 0) comparable = WriteAndCheck(section, key, QStringLiteral("first"), false);
    comparable = WriteAndCheck(section, key, value, (flags & 2) != 0) && comparable;
    // A key that cannot be read back may read as another key, or start a section.
    if (!comparable || !KeyReadable(key)) return 0;

    // Every other key reads as before.
    const std::vector<QString> valuesAfter = ReadAllNames(sections, keys);
    std::size_t i = 0;
    for (const QString& s : sections) {
        for (const QString& k : keys) {
            const bool written = SameName(s, SingleLine(section)) && SameName(k, SingleLine(key));
            Check(written || valuesAfter[i] == valuesBefore[i], "other keys keep their values");
            ++i;
        }
    }
    return 0;
}
