// The desktop program started from a damaged settings file: it starts, applies what it can
// read, and reports what it cannot in the error box.
#include "ProgramTesting.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <random>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

// The window started from a settings file of these bytes (no start-up wait).
struct Program : TestProgram {
    // make: puts something else than a file of these bytes where the settings file goes.
    explicit Program(const QByteArray& settings,
                     const std::function<void(const QString& path)>& make = {}) {
        if (make)
            make(Ini());
        else
            Put(settings);
        Start();
    }
    QString Read(const QString& key) const { return TestProgram::Read("Varimark", key); }
};

// Bytes of every value, NUL included, the same on every run.
QByteArray Binary(int size, bool lineBreaks) {
    std::mt19937 random(20240611);
    QByteArray bytes(size, '\0');
    for (int i = 1; i < size; ++i) {
        char c = static_cast<char>(random() & 0xFF);
        // Within a section, the garbage must not end the line or look like a key or header.
        if (!lineBreaks && (c == '\n' || c == '\r' || c == '=' || c == '[')) c = '\0';
        bytes[i] = c;
    }
    return bytes;
}

const QString kLayoutText = "01234567890"; // the text field before the settings are read

struct GarbageCase {
    const char* name;
    std::function<QByteArray()> file;
    // What the window shows afterwards.
    const char* typeList;
    int typeIndex;
    QString text;
    QStringList errors;
    // Anything else to check.
    std::function<void(Program&, TForm1&)> check = [](Program&, TForm1&) {};
    // Makes something else than a file of the bytes above.
    std::function<void(const QString& path)> make = {};
};

void PrintTo(const GarbageCase& c, std::ostream* out) {
    *out << c.name;
}

class DamagedSettings : public ::testing::TestWithParam<GarbageCase> {};

TEST_P(DamagedSettings, StartAndApplyWhatIsReadable) {
    const GarbageCase& c = GetParam();
    ::alarm(20); // a start that hangs fails instead of holding up the suite
    Program program(c.file(), c.make);
    ::alarm(0);
    ASSERT_NE(program.form, nullptr);
    TForm1& form = *program.form;
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "Varimark 1.0");
    EXPECT_EQ(form.ComboBox1->count(), 14);
    EXPECT_EQ(form.ComboBox1->currentText(), c.typeList);
    EXPECT_EQ(form.TypeIndex(), c.typeIndex);
    EXPECT_EQ(form.Edit1->text(), c.text);
    EXPECT_EQ(program.Errors(), c.errors);
    c.check(program, form);
}

const char* const kSettings = "[Varimark]\nbctype=1\n1=590123412345\n[Addon]\nEan13=12\n";

INSTANTIATE_TEST_SUITE_P(
    Start, DamagedSettings,
    ::testing::Values(
        GarbageCase{"BinaryBytesBeforeTheSections",
                    [] { return Binary(4096, true) + '\n' + kSettings; },
                    "Code EAN-13",
                    1,
                    "590123412345",
                    {},
                    [](Program& p, TForm1& f) {
                        EXPECT_EQ(f.Edit2->text(), "12");
                        EXPECT_EQ(f.Barcode1->Bar_CodeType(), EAN_13);
                        EXPECT_TRUE(p.File().startsWith(Binary(4096, true))); // left as it was
                    }},
        GarbageCase{
            "BinaryLinesInsideTheSection",
            [] {
                return "[Varimark]\n" + Binary(300, false) + "\nbctype=2\n" + Binary(500, false) +
                       "\n2=03600029145\n" + Binary(200, false) + "\n";
            },
            "Code UPC-A",
            2,
            "03600029145",
            {},
            [](Program&, TForm1& f) { EXPECT_EQ(f.Barcode1->Bar_Caption(), "03600029145"); }},
        GarbageCase{"SectionWithoutClosingBracket",
                    [] { return QByteArray("[Addon\nUPCA=77\n[Varimark\nbctype=2\n2=123\n"); },
                    "Code UPC-A",
                    2,
                    "123",
                    {},
                    [](Program&, TForm1& f) {
                        EXPECT_EQ(f.Edit2->text(), "77");
                        EXPECT_EQ(f.Barcode1->Bar_CodeAddon(), "77");
                    }},
        GarbageCase{"DuplicateSectionsAndKeys",
                    [] {
                        return QByteArray("[Varimark]\nbctype=8\n8=first\n8=second\nBCTYPE=1\n"
                                          "[Varimark]\n8=third\nhumanread=False\n"
                                          "[varimark]\nhumanread=True\nzoom=SC9\n");
                    },
                    "Code 128 - Table B",
                    8,
                    "first",
                    {},
                    [](Program& p, TForm1& f) {
                        // A key only a later occurrence holds comes from the first that does.
                        EXPECT_FALSE(f.Barcode1->Bar_HumanReadable());
                        EXPECT_TRUE(f.Zoom1->isChecked());
                        EXPECT_EQ(p.Read("bctype"), "8");
                    }},
        // What is no regular file of at most a megabyte reads as the defaults, and the first
        // write, which would replace it, is refused with the message.
        GarbageCase{"TenMegabyteText",
                    [] {
                        return "[Varimark]\nbctype=1\n1=" + QByteArray(10'000'000, '7') +
                               "\nsratio=3\n";
                    },
                    "Code UPC-A",
                    2,
                    kLayoutText,
                    {"Unable to write to <folder>/varimark.INI."},
                    [](Program& p, TForm1& f) {
                        EXPECT_EQ(f.lblsaveRatio, "1");
                        EXPECT_GT(p.File().size(), 10'000'000); // left as it was
                    }},
        GarbageCase{
            "Fifo",
            [] { return QByteArray(); },
            "Code UPC-A",
            2,
            kLayoutText,
            {"Unable to write to <folder>/varimark.INI."},
            [](Program& p, TForm1&) {
                EXPECT_FALSE(QFileInfo(p.Ini()).isFile()); // still the FIFO
                EXPECT_TRUE(QFileInfo(p.Ini()).exists());
            },
            [](const QString& path) { ::mkfifo(QFile::encodeName(path).constData(), 0644); }},
        GarbageCase{"CrLfLineEnds",
                    [] { return QByteArray(kSettings).replace("\n", "\r\n"); },
                    "Code EAN-13",
                    1,
                    "590123412345",
                    {},
                    [](Program& p, TForm1& f) {
                        EXPECT_EQ(f.Edit2->text(), "12");
                        const QByteArray file = p.File();
                        EXPECT_EQ(file.count("\n"), file.count("\r\n")); // still CR LF only
                    }},
        GarbageCase{"MixedLineEnds",
                    [] {
                        return QByteArray("[Varimark]\r\nbctype=1\n1=590123412345\r\n[Addon]\n"
                                          "Ean13=12\r\n");
                    },
                    "Code EAN-13",
                    1,
                    "590123412345",
                    {},
                    [](Program&, TForm1& f) { EXPECT_EQ(f.Edit2->text(), "12"); }},
        GarbageCase{"ByteOrderMark",
                    [] { return QByteArray("\xEF\xBB\xBF[Varimark]\nbctype=8\n8=Hello\n"); },
                    "Code 128 - Table B",
                    8,
                    "Hello",
                    {},
                    [](Program& p, TForm1&) {
                        EXPECT_TRUE(p.File().startsWith("\xEF\xBB\xBF[Varimark]\n"));
                    }},
        GarbageCase{"TextNotUtf8",
                    [] { return QByteArray("[Varimark]\nbctype=6\n6=A\xE9\xE8\x80 5B\n"); },
                    "Codabar",
                    6,
                    QString::fromUtf8("A\xC3\xA9\xC3\xA8\xE2\x82\xAC 5B"),
                    {},
                    [](Program& p, TForm1& f) {
                        EXPECT_EQ(f.Barcode1->Bar_Caption(), f.Edit1->text());
                        EXPECT_EQ(p.Read("6"), f.Edit1->text());
                    }},
        GarbageCase{"TypeOutOfRange",
                    [] { return QByteArray("[Varimark]\nbctype=999\n-1=12345\n"); },
                    "Barcode Types",
                    -1,
                    "12345",
                    {},
                    [](Program& p, TForm1& f) {
                        EXPECT_EQ(f.Barcode1->Bar_CodeType(), UPC_A);
                        EXPECT_EQ(p.Read("bctype"), "-1");
                    }},
        GarbageCase{"TypeNegative",
                    [] { return QByteArray("[Varimark]\nbctype=-5\n"); },
                    "Barcode Types",
                    -1,
                    "",
                    {},
                    [](Program& p, TForm1& f) {
                        EXPECT_EQ(f.Barcode1->Bar_CodeType(), UPC_A);
                        EXPECT_EQ(p.Read("bctype"), "-1");
                    }},
        GarbageCase{"TypeNotANumber",
                    [] { return QByteArray("[Varimark]\nbctype=abc\n2=03600029145\n"); },
                    "Barcode Types",
                    -1,
                    kLayoutText,
                    {"'abc' is not a valid integer value."},
                    [](Program& p, TForm1& f) {
                        EXPECT_EQ(f.Barcode1->Bar_CodeType(), UPC_A);
                        EXPECT_EQ(p.Read("bctype"), "abc"); // start-up ended before the write
                    }},
        GarbageCase{"TypeBeyondInteger",
                    [] { return QByteArray("[Varimark]\nbctype=4294967298\n"); },
                    "Barcode Types",
                    -1,
                    kLayoutText,
                    {"'4294967298' is not a valid integer value."}},
        GarbageCase{"TypeEmpty",
                    [] { return QByteArray("[Varimark]\nbctype=\n"); },
                    "Barcode Types",
                    -1,
                    kLayoutText,
                    {"'' is not a valid integer value."}}),
    [](const ::testing::TestParamInfo<GarbageCase>& row) { return std::string(row.param.name); });

} // namespace
