// The INI profile functions: reading with defaults, writing that keeps the rest of the file.
#include "FileTesting.h"
#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <random>
#include <vector>

using namespace varimark;

namespace {

const QString kDefault = QStringLiteral("DEF");

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0755); // reachable by nobody
    }
    QString Path(const QString& name = QStringLiteral("v.ini")) const {
        return dir_.filePath(name);
    }
    static void Put(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Get(const QString& path) {
        return QByteArray::fromStdString(
            ReadFileIfThere(QFile::encodeName(path).toStdString()).value_or("<missing>"));
    }
    QStringList Names() const {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir_;
};

// Runs `body` in a child process and returns its exit code (-1 when it did not exit).
int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool BecomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

struct TReadCase {
    const char* what;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;
};

TEST_F(ProfileFile, ReadsValuesAsTheFileHoldsThem) {
    const TReadCase cases[] = {
        {"missing section", "[A]\nk=1\n", "B", "k", kDefault},
        {"missing key", "[A]\nk=1\n", "A", "j", kDefault},
        {"empty value is no default", "[A]\nk=\n", "A", "k", ""},
        {"section and key case", "[Varimark]\nbcType=5\n", "VARIMARK", "BCTYPE", "5"},
        {"unicode case",
         "[\xC3\x84rger]\nschl\xC3\xBC"
         "ssel=1\n",
         "\xC3\xA4RGER", "SCHL\xC3\x9CSSEL", "1"},
        {"blanks trimmed", "  [ A ]  \n \t k  = a b c \t\n", "A", "k", "a b c"},
        {"requested names trimmed", "[A]\nk=1\n", " A ", "k\t", "1"},
        {"'=' in value", "[A]\nk=a=b\n", "A", "k", "a=b"},
        {"double quotes", "[A]\nk=\"  x  \"\n", "A", "k", "  x  "},
        {"single quotes", "[A]\nk='y'\n", "A", "k", "y"},
        {"unmatched quotes", "[A]\nk=\"z'\n", "A", "k", "\"z'"},
        {"one quote", "[A]\nk=\"\n", "A", "k", "\""},
        {"CRLF", "[A]\r\nk=v\r\nj=w\r\n", "A", "j", "w"},
        {"no final line end", "[A]\nk=v", "A", "k", "v"},
        {"byte-order mark", "\xEF\xBB\xBF[A]\nk=v\n", "A", "k", "v"},
        {"missing ] keeps keys out of the section above", "[A]\n[B\nk=2\n", "A", "k", kDefault},
        {"missing ] names the rest of the line", "[A]\nk=1\n[B \nk=2\n", "B", "k", "2"},
        {"text after ]", "[A] ; note\nk=1\n", "A", "k", "1"},
        {"duplicate section, first holder", "[A]\na=1\n[B]\nb=0\n[a]\na=2\nb=3\n", "A", "b", "3"},
        {"duplicate section, first wins", "[A]\na=1\n[B]\nb=0\n[a]\na=2\nb=3\n", "A", "a", "1"},
        {"duplicate key", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        {"keys above any section", "k=0\n[A]\nj=1\n", "A", "k", kDefault},
        {"comment", "[A]\n;k=1\n  ; k=2\nk=3\n", "A", "k", "3"},
        {"line without =", "[A]\nk\nk=4\n", "A", "k", "4"},
        {"Windows-1252 line", "[A]\nk=caf\xE9 \x80\n", "A", "k", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"UTF-8 beside Windows-1252", "[A]\na=\xE9\nk=\xC3\xA9\n", "A", "k", "\xC3\xA9"},
        {"Windows-1252 section name", "[\xC4]\nk=5\n", "\xC3\xA4", "k", "5"},
    };
    for (const TReadCase& c : cases) {
        Put(Path(), c.file);
        EXPECT_EQ(ReadProfileString(QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                                    kDefault, Path()),
                  c.expected)
            << c.what;
    }
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path("none.ini")), kDefault);
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, dir_.path()), kDefault); // a directory
}

TEST_F(ProfileFile, CutsLongValuesTo1023Units) {
    Put(Path(), "[A]\nk=" + QByteArray(900 << 10, 'x') + "\r\nafter=1\r\n");
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), QString(1023, 'x'));
    EXPECT_EQ(ReadProfileString("A", "after", kDefault, Path()), "1");

    Put(Path(), "[A]\nk=\"" + QByteArray(1100, 'y') + "\"\n"); // quotes go before the cut
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), QString(1023, 'y'));
    QByteArray accents;
    for (int i = 0; i < 1100; ++i) accents += "\xC3\xA9";
    Put(Path(), "[A]\nk=" + accents + "\n");
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), QString(1023, QChar(0xE9)));
    Put(Path(), "[A]\nk=" + QByteArray(1022, 'a') + "\xF0\x9F\x98\x80" + "\n"); // no half pair
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), QString(1022, 'a'));
    Put(Path(), "[A]\nk=" + QByteArray(2000, '\xE9') + "\n");
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), QString(1023, QChar(0xE9)));
}

// What is no regular file of at most a megabyte reads as the defaults, at once, and is left
// as it is: writing to it fails.
TEST_F(ProfileFile, HostileFilesReadAsDefaultsAndAreLeftAlone) {
    const QString fifo = Path("fifo.ini"), link = Path("zero.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    QStringList paths{fifo};
    if (MakeZeroDevice(QFile::encodeName(link + ".zero").toStdString()) &&
        QFile::link(link + ".zero", link))
        paths << link; // only with the right to make device nodes
    for (const QString& path : paths) {
        // In a child under an alarm: a read that blocks or never ends fails the case.
        EXPECT_EQ(InChild([&] {
                      ::alarm(10);
                      if (ReadProfileString("A", "k", kDefault, path) != kDefault) return 1;
                      if (!varimark::ProfileReader(path).Refused()) return 2;
                      return WriteProfileString("A", "k", "w", path) ? 3 : 0;
                  }),
                  0)
            << path.toStdString();
        EXPECT_FALSE(QFileInfo(path).isFile()) << path.toStdString();
    }
    // A regular file is read up to the size limit, and reads as the defaults past it.
    Put(Path(), "[A]\nk=v\n" + QByteArray(varimark::kMaxProfileFileSize - 8, ';'));
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), "v");
    Put(Path(), "[A]\nk=v\n" + QByteArray(varimark::kMaxProfileFileSize - 7, ';'));
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), kDefault);
}

// Two programs writing keys of their own at once: every key of both is kept.
TEST_F(ProfileFile, TwoWritersLoseNoKey) {
    constexpr int kKeys = 300;
    std::vector<pid_t> writers;
    for (const char tag : {'a', 'b'}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0; i < kKeys; ++i)
                if (!WriteProfileString("S", tag + QString::number(i), QString::number(i), Path()))
                    ::_exit(1);
            ::_exit(0);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const varimark::ProfileReader reader(Path());
    int kept = 0;
    for (const char tag : {'a', 'b'})
        for (int i = 0; i < kKeys; ++i)
            kept += reader.Read("S", tag + QString::number(i), kDefault) == QString::number(i);
    EXPECT_EQ(kept, 2 * kKeys);
    EXPECT_EQ(Names(), QStringList{"v.ini"});
}

TEST_F(ProfileFile, SurvivesBinaryGarbage) {
    std::mt19937 random(7);
    QByteArray garbage;
    for (int i = 0; i < 1 << 16; ++i) garbage += static_cast<char>(random());
    garbage.replace('[', 'x');
    Put(Path(), garbage + "\n[A]\nk=v\n[B]\n" + garbage);
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), "v");
    EXPECT_TRUE(WriteProfileString("A", "j", "w", Path()));
    EXPECT_EQ(ReadProfileString("A", "j", kDefault, Path()), "w");
    EXPECT_TRUE(Get(Path()).startsWith(garbage + "\n[A]\nk=v\nj=w\n[B]\n"));
    EXPECT_TRUE(Get(Path()).endsWith(garbage));
}

struct TWriteCase {
    const char* what;
    QByteArray before;
    const char* section;
    const char* key;
    const char* value;
    QByteArray after;
};

TEST_F(ProfileFile, WritesOnlyWhatChanges) {
    const QByteArray crlf = "; top\r\n[Varimark]\r\n; c\r\nbcType = 2 \r\nfont=Arial\r\n\r\n"
                            "; addon\r\n[Addon]\r\nEan13=12\r\n";
    const TWriteCase cases[] = {
        {"new file", "<missing>", "A", "k", "v", "[A]\nk=v\n"},
        {"empty file", "", "A", "k", "v", "[A]\nk=v\n"},
        {"replace keeps spelling and CRLF", crlf, "VARIMARK", "bctype", "5",
         "; top\r\n[Varimark]\r\n; c\r\nbcType = 5\r\nfont=Arial\r\n\r\n; addon\r\n[Addon]\r\n"
         "Ean13=12\r\n"},
        {"new key after the section's last key", crlf, "varimark", "zoom", "SC9",
         "; top\r\n[Varimark]\r\n; c\r\nbcType = 2 \r\nfont=Arial\r\nzoom=SC9\r\n\r\n; addon\r\n"
         "[Addon]\r\nEan13=12\r\n"},
        {"new section at the end", crlf, "New", "x", "1", crlf + "\r\n[New]\r\nx=1\r\n"},
        {"empty value replaced", "[A]\nk= \t\n", "A", "k", "v", "[A]\nk= \tv\n"},
        {"quoted value replaced", "[A]\nk = 'old'\n", "A", "k", "v", "[A]\nk = v\n"},
        {"unterminated last line", "[A]\nk=1", "A", "j", "2", "[A]\nk=1\nj=2\n"},
        {"unterminated, new section", "[A]\nk=1", "B", "j", "2", "[A]\nk=1\n\n[B]\nj=2\n"},
        {"ends with a blank line", "[A]\nk=1\n\n", "B", "j", "2", "[A]\nk=1\n\n[B]\nj=2\n"},
        {"unterminated CR", "[A]\r\nk=1\r", "A", "j", "2", "[A]\r\nk=1\r\nj=2\r\n"},
        {"section without keys", "[A]\n\n[B]\n", "A", "k", "v", "[A]\nk=v\n\n[B]\n"},
        {"key in a later duplicate", "[A]\na=1\n[a]\nb=2\n", "A", "b", "3", "[A]\na=1\n[a]\nb=3\n"},
        {"new key in the first duplicate", "[A]\na=1\n[A]\nb=2\n", "A", "c", "3",
         "[A]\na=1\nc=3\n[A]\nb=2\n"},
        {"keys above any section", "k=0\n", "A", "k", "1", "k=0\n\n[A]\nk=1\n"},
        {"byte-order mark and Windows-1252 kept", "\xEF\xBB\xBF[A]\na=\xE9\n", "A", "b", "\xC3\xA9",
         "\xEF\xBB\xBF[A]\na=\xE9\nb=\xC3\xA9\n"},
        {"newlines become spaces", "", "A", "k", "a\r\nb\nc", "[A]\nk=a  b c\n"},
        {"edge blanks quoted", "", "A", "k", " x ", "[A]\nk=\" x \"\n"},
        {"quote pair quoted", "", "A", "k", "'x'", "[A]\nk=\"'x'\"\n"},
    };
    for (const TWriteCase& c : cases) {
        QFile::remove(Path());
        if (c.before != "<missing>") Put(Path(), c.before);
        EXPECT_TRUE(WriteProfileString(QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                                       QString::fromUtf8(c.value), Path()))
            << c.what;
        EXPECT_EQ(Get(Path()), c.after) << c.what;
    }
    EXPECT_EQ(Names(), QStringList{"v.ini"}); // no temporary file left
}

TEST_F(ProfileFile, ReadsBackWhatWasWritten) {
    const char* values[] = {"",
                            "plain",
                            "a=b",
                            " lead",
                            "trail\t",
                            "\"q\"",
                            "'s'",
                            "\"",
                            "semi;colon",
                            "[x]",
                            "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD",
                            "\xF0\x9F\x98\x80"};
    int n = 0;
    for (const char* v : values) {
        const QString key = QString::number(n++);
        ASSERT_TRUE(WriteProfileString("Varimark", key, QString::fromUtf8(v), Path()));
        ASSERT_TRUE(WriteProfileString("Addon", key, "other", Path()));
    }
    n = 0;
    for (const char* v : values)
        EXPECT_EQ(ReadProfileString("varimark", QString::number(n++), kDefault, Path()),
                  QString::fromUtf8(v));
    EXPECT_TRUE(Get(Path()).contains("\n10=\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\n"));
    EXPECT_EQ(ReadProfileString("A", "k", kDefault, Path()), kDefault);
}

// Found by fuzzing: a name or value starting with U+FEFF keeps it, and a value written into a
// line from another system (Windows-1252) reads back as written.
TEST_F(ProfileFile, ByteOrderMarksInsideAndForeignLines) {
    const QString bom = QString(QChar(0xFEFF));
    ASSERT_TRUE(WriteProfileString(bom + "S", bom + "K", bom + "v", Path()));
    EXPECT_EQ(ReadProfileString(bom + "S", bom + "K", kDefault, Path()), bom + "v");
    EXPECT_EQ(ReadProfileString("S", "K", kDefault, Path()), kDefault);

    Put(Path(), "[S]\nK\xe9=old\nother=1\n");
    ASSERT_TRUE(
        WriteProfileString("S", QString::fromUtf8("K\u00e9"), QString::fromUtf8("\u00e9"), Path()));
    EXPECT_EQ(ReadProfileString("S", QString::fromUtf8("K\u00e9"), kDefault, Path()),
              QString::fromUtf8("\u00e9"));
    EXPECT_EQ(ReadProfileString("S", "other", kDefault, Path()), "1");
}

TEST_F(ProfileFile, FailedWriteLeavesTheOldFile) {
    EXPECT_FALSE(WriteProfileString("A", "k", "v", Path("no/such/folder.ini")));
    EXPECT_FALSE(WriteProfileString("A", "k", "v", dir_.path())); // a directory
    EXPECT_TRUE(QFileInfo(dir_.path()).isDir());

    const QByteArray old = "; keep\r\n[A]\r\nk=old\r\n";
    Put(Path(), old);
    // The file fills past what the process may write.
    EXPECT_EQ(InChild([&] {
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{40, 40};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  return WriteProfileString("A", "k", QString(100, 'n'), Path()) ? 1 : 0;
              }),
              0);
    EXPECT_EQ(Get(Path()), old);
    EXPECT_EQ(Names(), QStringList{"v.ini"});

    // A folder the user may not write to, holding a file the user may write: the file takes
    // the new settings in place, and the folder holds nothing new.
    const QString sub = dir_.filePath("ro");
    ASSERT_TRUE(QDir().mkpath(sub));
    Put(sub + "/v.ini", old);
    ::chmod(QFile::encodeName(sub + "/v.ini").constData(), 0666);
    ::chmod(QFile::encodeName(sub).constData(), 0555);
    EXPECT_EQ(InChild([&] {
                  if (!BecomeNobody()) return 2;
                  if (ReadProfileString("a", "K", "", sub + "/v.ini") != "old") return 3;
                  return WriteProfileString("A", "k", "new", sub + "/v.ini") ? 0 : 1;
              }),
              0);
    ::chmod(QFile::encodeName(sub).constData(), 0755);
    EXPECT_EQ(Get(sub + "/v.ini"), "; keep\r\n[A]\r\nk=new\r\n");
    EXPECT_EQ(QDir(sub).entryList(QDir::Files | QDir::Hidden), QStringList{"v.ini"});
}

TEST_F(ProfileFile, TwoWritersNeverTearTheFile) {
    const int writes = 300;
    ASSERT_TRUE(WriteProfileString("S", "k", "start", Path()));
    auto writer = [&](char tag) {
        if (::fork() != 0) return;
        const QString pad(300, QLatin1Char(tag));
        for (int i = 0; i < writes; ++i)
            if (!WriteProfileString("S", "k", tag + QString::number(i) + pad, Path()) ||
                !WriteProfileString("S", QString(tag), QString::number(i), Path()))
                ::_exit(1);
        ::_exit(0);
    };
    writer('A');
    writer('B');
    int reads = 0, bad = 0, exited = 0, failed = 0;
    QString firstBad;
    while (exited < 2) {
        const QString v = ReadProfileString("S", "k", kDefault, Path());
        const bool ok = v == "start" || ((v.startsWith('A') || v.startsWith('B')) &&
                                         v.endsWith(QString(300, v[0])));
        const QByteArray raw = Get(Path());
        if (!ok || !raw.startsWith("[S]\nk=") || !raw.endsWith("\n")) {
            if (bad++ == 0)
                firstBad = v.left(40) + " | " + QString::fromUtf8(raw.left(60).toPercentEncoding());
        }
        ++reads;
        int status = 0;
        for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0; ++exited)
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(bad, 0) << "of " << reads << " reads; the first: " << firstBad.toStdString();
    EXPECT_GT(reads, 10);
    // A writer's change may be lost to the other's rename, but each key holds a written value.
    for (const char* key : {"A", "B"}) {
        bool number = false;
        const int i = ReadProfileString("S", key, kDefault, Path()).toInt(&number);
        EXPECT_TRUE(number && i >= 0 && i < writes) << key;
    }
    EXPECT_EQ(Names(), QStringList{"v.ini"});
}

} // namespace
