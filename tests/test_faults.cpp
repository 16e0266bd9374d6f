// Faults injected into every file the program writes: a full disk, a folder or a file the
// user may not write, a read-only file system, and two programs writing the settings file at
// once. Each failed write must raise a clear message, keep the old file byte for byte and
// leave nothing beside it; concurrent writers must never tear the settings file.
#include "FileTesting.h"
#include "UpcaBarcode.h"
#include "app/MainForm.h"
#include "app/VarimarkApplication.h"
#include "engine/LLBarcode.h"
#include "export/FileWriter.h"
#include "export/GIFImage.h"
#include "export/JPEGImage.h"
#include "export/Metafile.h"
#include "export/PngWriter.h"
#include "export/Tiff.h"
#include "platform/ErrorReport.h"
#include "platform/ProfileFile.h"
#include "render/MagnifiedBitmap.h"
#include "render/PictureSave.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace varimark;

namespace {

constexpr uid_t kNobody = 65534;

const char* const kFormats[] = {".bmp", ".gif", ".tif", ".jpg", ".emf", ".png", ".svg"};

// --- Files and folders

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Every name in the folder, hidden ones included, sorted.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += (out.empty() ? "" : " ") + name;
    return out;
}

// A scratch folder that the user nobody may enter too (as root, the checks run as nobody).
class TOpenFolder : public TScratchFolder {
public:
    TOpenFolder() { ::chmod(Dir().c_str(), 0755); }
};

// --- What was injected and what was survived: one line per category.

class TTally {
public:
    explicit TTally(std::string category) : category_(std::move(category)) {}
    ~TTally() {
        std::cout << "[faults] " << category_ << ": " << injected_ << " injected, " << survived_
                  << " survived" << std::endl;
    }
    void Count(bool survived) {
        ++injected_;
        survived_ += survived ? 1 : 0;
    }
    void Add(int injected, int survived) {
        injected_ += injected;
        survived_ += survived;
    }

private:
    std::string category_;
    int injected_ = 0, survived_ = 0;
};

// --- The barcode

// The message of the save's failure, or "saved" when it did not fail.
std::string SaveError(const std::function<void()>& save) {
    try {
        save();
        return "saved";
    } catch (const EFile& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("not a file error: ") + e.what();
    }
}

// --- A small file system of its own (root only), unmounted at the end.

class TSmallDisk {
public:
    explicit TSmallDisk(const char* size) : dir_(folder_.Dir()) {
        if (::geteuid() != 0) {
            reason_ = "mounting a small tmpfs needs root; this check did not run";
            return;
        }
        const std::string options = std::string("size=") + size + ",mode=0755";
        if (::mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            reason_ = std::string("cannot mount a tmpfs on ") + dir_ + ": " + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~TSmallDisk() {
        if (mounted_ && ::umount(dir_.c_str()) != 0) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }
    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    long long FreeBytes() const {
        struct statvfs st {};
        if (::statvfs(dir_.c_str(), &st) != 0) return -1;
        return static_cast<long long>(st.f_bavail) * static_cast<long long>(st.f_bsize);
    }
    // Fills every byte left with the file "filler"; returns its size.
    long long Fill() const {
        const int fd = ::open(Path("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return -1;
        const std::string page(4096, 'f');
        long long size = 0;
        for (std::size_t chunk : {page.size(), std::size_t{1}}) {
            for (;;) {
                const ssize_t n = ::write(fd, page.data(), chunk);
                if (n <= 0) break;
                size += n;
            }
        }
        ::close(fd);
        return size;
    }
    bool RemountReadOnly() const {
        return ::mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    TOpenFolder folder_; // removed after the unmount
    std::string dir_;
    std::string reason_;
    bool mounted_ = false;
};

// --- Full disk

// A good file of every format and the settings file on a small disk, the rest filled: a save
// ten times larger over each file and a settings write fail, and nothing changes.
TEST(FullDisk, EverySaveAndTheSettingsWriteFailAndKeepTheOldFile) {
    TSmallDisk disk("64k");
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    TTally tally("full disk, save and settings write");
    Upca upca;
    for (const char* format : kFormats) // 1-bit pictures: small old files
        SaveBarcodePicture(upca.Draw(), 2, 1, 96, disk.Path(std::string("old") + format), true);
    const std::string ini = disk.Path("varimark.INI");
    ASSERT_TRUE(WriteProfileString("Varimark", "bctype", "2", QString::fromStdString(ini)));
    ASSERT_TRUE(WriteProfileString("Varimark", "2", "03600029145", QString::fromStdString(ini)));
    std::vector<std::string> old;
    for (const char* format : kFormats)
        old.push_back(*ReadFileIfThere(disk.Path(std::string("old") + format)));
    const std::string oldIni = *ReadFileIfThere(ini);

    ASSERT_GT(disk.Fill(), 0);
    ASSERT_EQ(disk.FreeBytes(), 0);
    const std::vector<std::string> listing = Listing(disk.Dir());
    ASSERT_EQ(listing.size(), std::size(kFormats) + 2) << Joined(listing);

    for (std::size_t i = 0; i < std::size(kFormats); ++i) {
        const std::string path = disk.Path(std::string("old") + kFormats[i]);
        const std::string error =
            SaveError([&] { SaveBarcodePicture(upca.Draw(), 2, 10, 96, path); });
        const bool clear = error == "Cannot write file " + path + ": No space left on device";
        const bool intact = ReadFileIfThere(path) == old[i];
        const bool clean = Listing(disk.Dir()) == listing;
        EXPECT_TRUE(clear) << kFormats[i] << ": " << error;
        EXPECT_TRUE(intact) << kFormats[i] << ": the old file changed";
        EXPECT_TRUE(clean) << kFormats[i] << ": " << Joined(Listing(disk.Dir()));
        tally.Count(clear && intact && clean);
    }
    const bool refused =
        !WriteProfileString("Varimark", "2", "12345678901", QString::fromStdString(ini));
    const bool intact = ReadFileIfThere(ini) == oldIni;
    const bool clean = Listing(disk.Dir()) == listing;
    EXPECT_TRUE(refused);
    EXPECT_TRUE(intact);
    EXPECT_TRUE(clean) << Joined(Listing(disk.Dir()));
    tally.Count(refused && intact && clean);

    // A batch writes new files in place, without durability: a failed one is removed again.
    for (const char* format : kFormats) {
        const std::string path = disk.Path(std::string("new") + format);
        const std::string error = SaveError([&] {
            WriteFileReplacing(path,
                               BarcodePictureBytes(upca.Draw(), 2, 10, 96, *PictureTypeOf(path)),
                               TWriteMode::Bulk);
        });
        const bool clear = error == "Cannot write file " + path + ": No space left on device";
        const bool nothingLeft = Listing(disk.Dir()) == listing;
        EXPECT_TRUE(clear) << format << ": " << error;
        EXPECT_TRUE(nothingLeft) << format << ": " << Joined(Listing(disk.Dir()));
        tally.Count(clear && nothingLeft);
    }

    // With room again, the same writes succeed: the full disk was what refused them.
    ASSERT_EQ(::unlink(disk.Path("filler").c_str()), 0);
    for (const char* format : kFormats) {
        const std::string path = disk.Path(std::string("old") + format);
        EXPECT_EQ(SaveError([&] { SaveBarcodePicture(upca.Draw(), 2, 1, 96, path, true); }),
                  "saved");
    }
    EXPECT_TRUE(WriteProfileString("Varimark", "2", "12345678901", QString::fromStdString(ini)));
}

void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// The window started from a program folder, its error boxes recorded.
std::string LabelPath(const TSmallDisk& disk, const char* format) {
    return disk.Path(std::string("label") + format);
}

// What the labels on the disk hold, format by format.
std::vector<std::string> LabelContents(const TSmallDisk& disk) {
    std::vector<std::string> contents;
    for (const char* format : kFormats)
        contents.push_back(ReadFileIfThere(LabelPath(disk, format)).value_or("<missing>"));
    return contents;
}

class TProgram {
public:
    explicit TProgram(const std::string& folder) {
        TVarimarkApplication::SetErrorPresenter([this](const QString& text) { errors << text; });
        SetErrorReporter(
            [this](const std::string& text) { errors << QString::fromStdString(text); });
        form = std::make_unique<TForm1>(
            TForm1::TOptions{QString::fromStdString(folder) + "/varimark", {}});
        form->show();
        Settle();
    }
    ~TProgram() {
        form.reset();
        TVarimarkApplication::SetErrorPresenter({});
        SetErrorReporter({});
    }
    void Save(const std::string& path) {
        form->ChooseSaveFileName = [path] { return QString::fromStdString(path); };
        form->ToolButton2->trigger();
        Settle();
    }
    // The window's barcode saved as label.EXT on the disk in every format.
    void SaveLabels(const TSmallDisk& disk) {
        for (const char* format : kFormats) Save(LabelPath(disk, format));
    }

    QStringList errors;
    std::unique_ptr<TForm1> form;
};

// The window on a disk that fills up after it started: typing and saving show the failure,
// the control takes the text all the same, and no file changes.
TEST(FullDisk, TheWindowShowsFailedWrites) {
    TSmallDisk disk("256k");
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    TTally tally("full disk, main window");
    TProgram program(disk.Dir());
    TForm1& form = *program.form;
    form.Edit1->setText("03600029145");
    program.SaveLabels(disk);
    form.SaveSizeItems[5]->trigger(); // factor 10
    ASSERT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();
    const std::string ini = disk.Path("varimark.INI");
    ASSERT_EQ(form.SettingsFiles().writeFile.toStdString(), ini);
    const std::vector<std::string> old = LabelContents(disk);
    const std::string oldIni = *ReadFileIfThere(ini);

    ASSERT_GT(disk.Fill(), 0);
    ASSERT_EQ(disk.FreeBytes(), 0);
    const std::vector<std::string> listing = Listing(disk.Dir());

    form.Edit1->setText("12345678901");
    Settle();
    {
        const bool shown = program.errors ==
                           QStringList{QString::fromStdString("Unable to write to " + ini + ".")};
        const bool intact = ReadFileIfThere(ini) == oldIni;
        const bool clean = Listing(disk.Dir()) == listing;
        EXPECT_TRUE(shown) << program.errors.join("|").toStdString();
        EXPECT_EQ(form.Barcode1->Bar_Caption(), "12345678901"); // changed all the same
        EXPECT_TRUE(intact);
        EXPECT_TRUE(clean) << Joined(Listing(disk.Dir()));
        tally.Count(shown && intact && clean);
    }
    for (std::size_t i = 0; i < std::size(kFormats); ++i) {
        program.errors.clear();
        const std::string path = LabelPath(disk, kFormats[i]);
        program.Save(path);
        const bool shown =
            program.errors == QStringList{QString::fromStdString("Cannot write file " + path +
                                                                 ": No space left on device.")};
        const bool intact = ReadFileIfThere(path) == old[i];
        const bool clean = Listing(disk.Dir()) == listing;
        EXPECT_TRUE(shown) << kFormats[i] << ": " << program.errors.join("|").toStdString();
        EXPECT_TRUE(intact) << kFormats[i];
        EXPECT_TRUE(clean) << kFormats[i] << ": " << Joined(Listing(disk.Dir()));
        tally.Count(shown && intact && clean);
    }

    // Started on the full disk, the window opens all the same and shows the one failed write.
    program.errors.clear();
    TForm1 second(TForm1::TOptions{QString::fromStdString(disk.Dir() + "/varimark"), {}});
    Settle();
    const bool shown =
        program.errors == QStringList{QString::fromStdString("Unable to write to " + ini + ".")};
    EXPECT_TRUE(shown) << program.errors.join("|").toStdString();
    EXPECT_EQ(second.ComboBox1->currentText(), "Code UPC-A");
    EXPECT_EQ(ReadFileIfThere(ini), oldIni);
    EXPECT_EQ(Listing(disk.Dir()), listing);
    tally.Count(shown && ReadFileIfThere(ini) == oldIni && Listing(disk.Dir()) == listing);
}

// --- Permissions

// The writers the save ends with, each over a picture prepared beforehand, so that a child
// process that is no longer root only writes.
struct TWriter {
    const char* format;
    std::function<void(const std::string& path)> write;
};

std::vector<TWriter> Writers(const TBitmap& bitmap, const std::string& svg) {
    return {
        {".bmp", [&](const std::string& p) { bitmap.SaveToFile(p); }},
        {".gif",
         [&](const std::string& p) {
             TGIFImage gif;
             gif.Assign(bitmap);
             WriteFileReplacing(p, gif.SaveToBytes());
         }},
        {".tif",
         [&](const std::string& p) {
             TBitmap palette = bitmap;
             palette.SetPixelFormat(pf8bit);
             WriteFileReplacing(p, TiffFileBytes(palette));
         }},
        {".jpg",
         [&](const std::string& p) {
             TJPEGImage jpeg;
             jpeg.Assign(bitmap);
             WriteFileReplacing(p, jpeg.Data());
         }},
        {".emf", [&](const std::string& p) { WriteFileReplacing(p, BitmapMetafileBytes(bitmap)); }},
        {".png", [&](const std::string& p) { WriteFileReplacing(p, PngFileBytes(bitmap)); }},
        {".svg", [&](const std::string& p) { WriteFileReplacing(p, std::string_view(svg)); }}};
}

// What a child found: failure lines "F ..." and a last line "C injected survived".
struct TChildReport {
    std::string text;
    void Fail(const std::string& what) { text += "F " + what + "\n"; }
};

// Runs body in a child process as the user nobody (when root) and returns its report.
std::string InChildAsNobody(const std::function<void(TChildReport&)>& body) {
    int pipe[2];
    if (::pipe(pipe) != 0) return "F pipe: " + std::string(std::strerror(errno)) + "\n";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe[0]);
        TChildReport report;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            report.Fail(std::string("cannot become nobody: ") + std::strerror(errno));
        else
            body(report);
        for (std::size_t done = 0; done < report.text.size();) {
            const ssize_t n =
                ::write(pipe[1], report.text.data() + done, report.text.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) text += "F the child did not exit\n";
    return text;
}

// A folder the user may write holding files the user may not (0444), and a folder the user
// may not write holding files the user may: every writer and the settings write refuse with
// "Permission denied", and nothing changes.
TEST(Permissions, FilesAndFoldersThatMayNotBeWritten) {
    const bool root = ::geteuid() == 0;
    if (!root)
        std::cout << "[faults] not root: the checks run in this process, as this user" << std::endl;
    TTally tally("permissions");
    const TOpenFolder scratch;
    const std::string& base = scratch.Dir();
    const std::string writable = base + "/writable", readOnly = base + "/readonly";
    ASSERT_EQ(::mkdir(writable.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(readOnly.c_str(), 0755), 0);

    // The picture of a save, and a good old file of every format made from it.
    Upca upca;
    const TBitmap bitmap = MagnifiedBitmap(upca.Draw(), 2, false, 2, 96);
    SaveBarcodePicture(upca.Draw(), 2, 2, 96, base + "/good.svg");
    const std::string svg = *ReadFileIfThere(base + "/good.svg");
    const std::vector<TWriter> writers = Writers(bitmap, svg);
    std::vector<std::string> names = {"varimark.INI"};
    for (const TWriter& w : writers) names.push_back(std::string("old") + w.format);
    for (const TWriter& w : writers) w.write(base + "/good" + w.format);
    const std::string oldIni = "[Varimark]\r\nbctype=2\r\n2=03600029145\r\n";
    for (const std::string& folder : {writable, readOnly}) {
        for (const std::string& name : names) {
            const std::string path = folder + "/" + name;
            // The read-only folder's files are written in place, so they start stale.
            Write(path, folder == readOnly ? "stale " + name
                        : name == "varimark.INI"
                            ? oldIni
                            : *ReadFileIfThere(base + "/good" + name.substr(3)));
            if (folder == writable) {
                ::chmod(path.c_str(), 0444);
            } else {
                ::chmod(path.c_str(), 0644);
                if (root) {
                    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
                }
            }
        }
    }
    if (root) {
        ASSERT_EQ(::chown(writable.c_str(), kNobody, kNobody), 0);
    }
    ::chmod(readOnly.c_str(), 0555);
    // What the settings write makes of the stale file where it may write freely.
    Write(base + "/expected.INI", "stale varimark.INI");
    ASSERT_TRUE(WriteProfileString("Varimark", "2", "12345678901",
                                   QString::fromStdString(base + "/expected.INI")));
    const std::string newIni = *ReadFileIfThere(base + "/expected.INI");

    auto body = [&](TChildReport& report) {
        int injected = 0, survived = 0;
        for (const std::string& folder : {writable, readOnly}) {
            const std::vector<std::string> before = Listing(folder);
            // The writable folder refuses every write; the read-only one's writable files take
            // the new content in place. Neither gets a new name.
            const bool inPlace = folder == readOnly;
            auto check = [&](const std::string& what, bool done, const std::string& path,
                             const std::string& expected) {
                const bool right = ReadFileIfThere(path) == expected;
                const bool clean = Listing(folder) == before;
                if (!done) report.Fail(what);
                if (!right)
                    report.Fail(path + (inPlace ? ": not the new file" : ": the old file changed"));
                if (!clean) report.Fail(folder + " holds " + Joined(Listing(folder)));
                ++injected;
                survived += done && right && clean ? 1 : 0;
            };
            for (const TWriter& w : writers) {
                const std::string path = folder + "/old" + w.format;
                const std::optional<std::string> expected =
                    ReadFileIfThere(inPlace ? base + "/good" + w.format : path);
                if (!expected) report.Fail(path + ": cannot read the expected file");
                const std::string error = SaveError([&] { w.write(path); });
                check(path + ": " + error,
                      inPlace ? error == "saved"
                              : error == "Cannot create file " + path + ": Permission denied",
                      path, expected.value_or(""));
            }
            const std::string ini = folder + "/varimark.INI";
            const bool written =
                WriteProfileString("Varimark", "2", "12345678901", QString::fromStdString(ini));
            check(ini + (inPlace ? ": not written" : ": written"), written == inPlace, ini,
                  inPlace ? newIni : oldIni);
        }
        // A new file in the writable folder is written: the permission was what refused.
        const std::string fresh = writable + "/new.png";
        const std::string error = SaveError([&] { writers[5].write(fresh); });
        if (error != "saved") report.Fail("a new file was not written: " + error);
        ::unlink(fresh.c_str());
        report.text += "C " + std::to_string(injected) + " " + std::to_string(survived) + "\n";
    };
    std::string text;
    if (root) {
        text = InChildAsNobody(body);
    } else {
        TChildReport report;
        body(report);
        text = report.text;
    }

    bool counted = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("F ")) ADD_FAILURE() << line.substr(2);
        int injected = 0, survived = 0;
        if (std::sscanf(line.c_str(), "C %d %d", &injected, &survived) == 2) {
            tally.Add(injected, survived);
            EXPECT_EQ(injected, 2 * (static_cast<int>(writers.size()) + 1));
            counted = true;
        }
    }
    EXPECT_TRUE(counted) << text;
    ::chmod(readOnly.c_str(), 0755);
}

// A file system mounted read-only binds root too, so the window itself runs into it: typing
// and saving show the failure and change no file.
TEST(Permissions, ReadOnlyFileSystemInTheWindow) {
    TSmallDisk disk("256k");
    if (!disk.Mounted()) GTEST_SKIP() << disk.Reason();
    TTally tally("read-only file system");
    TProgram program(disk.Dir());
    TForm1& form = *program.form;
    form.Edit1->setText("03600029145");
    program.SaveLabels(disk);
    ASSERT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();
    const std::string ini = disk.Path("varimark.INI");
    const std::vector<std::string> listing = Listing(disk.Dir());
    const std::vector<std::string> old = LabelContents(disk);
    const std::string oldIni = *ReadFileIfThere(ini);
    ASSERT_TRUE(disk.RemountReadOnly()) << std::strerror(errno);

    form.Edit1->setText("12345678901");
    Settle();
    const bool shown =
        program.errors == QStringList{QString::fromStdString("Unable to write to " + ini + ".")};
    EXPECT_TRUE(shown) << program.errors.join("|").toStdString();
    EXPECT_EQ(ReadFileIfThere(ini), oldIni);
    tally.Count(shown && ReadFileIfThere(ini) == oldIni);
    for (std::size_t i = 0; i < std::size(kFormats); ++i) {
        program.errors.clear();
        const std::string path = LabelPath(disk, kFormats[i]);
        program.Save(path);
        const bool refused =
            program.errors == QStringList{QString::fromStdString("Cannot create file " + path +
                                                                 ": Read-only file system.")};
        const bool intact = ReadFileIfThere(path) == old[i];
        EXPECT_TRUE(refused) << kFormats[i] << ": " << program.errors.join("|").toStdString();
        EXPECT_TRUE(intact) << kFormats[i];
        tally.Count(refused && intact);
    }
    EXPECT_EQ(Listing(disk.Dir()), listing);
}

// --- Two programs at once

// Two programs write the main window's keys into one settings file as fast as they can while
// a third reads: every read finds a value one of them wrote (or the first one), never a torn
// file, and at the end the file holds the last write of one of them.
TEST(ConcurrentWriters, TheProgramsKeysAreNeverTorn) {
    constexpr int kWrites = 500;
    const TOpenFolder scratch;
    const std::string& folder = scratch.Dir();
    const QString ini = QString::fromStdString(folder + "/varimark.INI");
    ASSERT_TRUE(WriteProfileString("Varimark", "bctype", "2", ini));
    ASSERT_TRUE(WriteProfileString("Varimark", "2", "03600029145", ini));

    // Writer w writes "bctype" = w0000 + i at even steps and "2" = w followed by i in ten
    // digits (a UPC-A text) at odd ones.
    auto text = [](int writer, int i) {
        return QString::number(writer) + QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0'));
    };
    std::vector<pid_t> writers;
    for (int writer = 1; writer <= 2; ++writer) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            int failed = 0;
            for (int i = 0; i < kWrites; ++i) {
                const bool ok = i % 2 == 0
                                    ? WriteProfileString("Varimark", "bctype",
                                                         QString::number(writer * 10000 + i), ini)
                                    : WriteProfileString("Varimark", "2", text(writer, i), ini);
                failed += ok ? 0 : 1;
            }
            ::_exit(std::min(failed, 255)); // the number of failed writes
        }
        ASSERT_GT(pid, 0);
        writers.push_back(pid);
    }

    auto typeWritten = [](const QString& v) {
        bool number = false;
        const int n = v.toInt(&number);
        const int step = n % 10000;
        return v == "2" || (number && (n / 10000 == 1 || n / 10000 == 2) && step < kWrites &&
                            step % 2 == 0 && v == QString::number(n));
    };
    auto textWritten = [&](const QString& v) {
        if (v == "03600029145") return true;
        bool number = false;
        const long long step = v.mid(1).toLongLong(&number);
        return v.size() == 11 && number && (v[0] == '1' || v[0] == '2') && step < kWrites &&
               step % 2 == 1 && v == text(v[0].digitValue(), static_cast<int>(step));
    };
    const QRegularExpression whole(
        QStringLiteral("^\\[Varimark\\]\nbctype=(\\d+)\n2=(\\d{11})\n$"));
    int reads = 0, torn = 0, failedWrites = 0;
    int seen[3] = {}; // reads that found a value of the first state, writer 1, writer 2
    std::string example;
    for (std::size_t running = writers.size(); running > 0;) {
        const QString type = ReadProfileString("varimark", "bctype", "<missing>", ini);
        const QString typed = ReadProfileString("varimark", "2", "<missing>", ini);
        const QString raw =
            QString::fromStdString(ReadFileIfThere(folder + "/varimark.INI").value_or(""));
        const QRegularExpressionMatch match = whole.match(raw);
        const bool ok = typeWritten(type) && textWritten(typed) && match.hasMatch() &&
                        typeWritten(match.captured(1)) && textWritten(match.captured(2));
        if (!ok && example.empty()) example = (type + " | " + typed + " | " + raw).toStdString();
        torn += ok ? 0 : 1;
        ++reads;
        if (ok) ++seen[typed == "03600029145" ? 0 : typed[0].digitValue()];
        for (pid_t& pid : writers) {
            int status = 0;
            if (pid <= 0 || ::waitpid(pid, &status, WNOHANG) != pid) continue;
            failedWrites += WIFEXITED(status) ? WEXITSTATUS(status) : kWrites;
            pid = 0;
            --running;
        }
    }
    std::cout << "[faults] two writers at once: " << 2 * kWrites << " concurrent writes, "
              << 2 * kWrites - failedWrites << " succeeded; " << reads << " reads (first state "
              << seen[0] << ", writer 1 " << seen[1] << ", writer 2 " << seen[2] << "), " << torn
              << " torn" << std::endl;
    EXPECT_EQ(failedWrites, 0);
    EXPECT_EQ(torn, 0) << "e.g. " << example;
    EXPECT_GT(reads, 10);

    // The last rename wins: its writer's last step wrote "2".
    const QString last = ReadProfileString("varimark", "2", "<missing>", ini);
    EXPECT_TRUE(last == text(1, kWrites - 1) || last == text(2, kWrites - 1)) << last.toStdString();
    EXPECT_TRUE(typeWritten(ReadProfileString("varimark", "bctype", "<missing>", ini)));
    EXPECT_TRUE(
        whole.match(QString::fromStdString(*ReadFileIfThere(folder + "/varimark.INI"))).hasMatch());
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"varimark.INI"});
}

} // namespace
