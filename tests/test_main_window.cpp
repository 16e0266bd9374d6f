// The desktop program's window on the offscreen platform, its program folder a temporary
// copy: start-up from the settings file, the commands and what they write, and Save.
#include "CliRunner.h"
#include "FileTesting.h"
#include "ProgramTesting.h"
#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "app/MainForm.h"
#include "app/SplashScreen.h"
#include "app/VarimarkApplication.h"
#include "export/Bitmap.h"
#include "platform/ErrorReport.h"
#include "platform/ProfileFile.h"
#include "varimark/verify.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include <gtest/gtest.h>

#include <set>

#include <sys/stat.h>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeSizes;
using enum btCodeRotate;

namespace {

// A program folder with its settings file, and the window started from it.
struct Program : TestProgram {
    explicit Program(const char* settings = nullptr) {
        if (settings) Put(settings);
    }
};

// Puts the keyboard focus into the text field.
void FocusText(TForm1& form) {
    QApplication::setActiveWindow(&form);
    form.Edit1->setFocus();
    Settle();
}

// Chooses a type from the list as the user does.
void ChooseType(TForm1& form, int index) {
    form.ComboBox1->setCurrentIndex(index);
    emit form.ComboBox1->activated(index);
    Settle();
}

TEST(MainWindow, FreshStart) {
    Program program; // no settings file
    TForm1& form = program.Start();
    EXPECT_EQ(form.windowTitle(), "Varimark 1.0");
    EXPECT_EQ(form.ComboBox1->currentText(), "Code UPC-A");
    EXPECT_EQ(form.Barcode1->Bar_CodeType(), UPC_A);
    EXPECT_EQ(form.Edit1->MaxLength(), 11);
    EXPECT_EQ(form.ComboBox2->currentText(), "Arial");
    EXPECT_EQ(form.Edit1->text(), "");
    EXPECT_EQ(form.Edit2->text(), "");
    EXPECT_TRUE(form.HumanReadable1->isChecked());
    EXPECT_FALSE(form.Zoom1->isChecked());
    EXPECT_EQ(form.lblsaveRatio, "1");
    EXPECT_EQ(program.Read("Varimark", "bctype"), "2");
    EXPECT_EQ(program.Read("Varimark", "sratio"), "1");
    EXPECT_EQ(form.ComboBox1->count(), 14);
    EXPECT_EQ(form.ComboBox2->itemText(0), "Default");
    EXPECT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();
}

struct StoredCase {
    const char* name;
    const char* settings;
    std::function<void(Program&, TForm1&)> check;
};

class StoredSettings : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredSettings, AreAppliedAsWritten) {
    Program program(GetParam().settings);
    GetParam().check(program, program.Start());
}

INSTANTIATE_TEST_SUITE_P(
    Start, StoredSettings,
    ::testing::Values(
        StoredCase{"humanreadLowerCase", "[varimark]\nhumanread=true\n",
                   [](Program&, TForm1& f) {
                       EXPECT_TRUE(f.Barcode1->Bar_HumanReadable());
                       EXPECT_TRUE(f.HumanReadable1->isChecked());
                   }},
        StoredCase{"humanreadFalse", "[VARIMARK]\nHumanRead=False\n",
                   [](Program&, TForm1& f) {
                       EXPECT_FALSE(f.Barcode1->Bar_HumanReadable());
                       EXPECT_FALSE(f.HumanReadable1->isChecked());
                   }},
        StoredCase{"barheight10", "[Varimark]\nbarheight=10\nfontheight=50\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(p.errors,
                                 QStringList{"Bar_HeightPercent must be in the range 20..200!"});
                       EXPECT_EQ(f.Barcode1->Bar_Fontscaling(), 100); // not restored
                   }},
        StoredCase{
            "font", "[Varimark]\nfont=Liberation Serif\n",
            [](Program&, TForm1& f) { EXPECT_EQ(f.Barcode1->Bar_Fontname(), "Liberation Serif"); }},
        StoredCase{"textTooLong",
                   "[Varimark]\n2=123456789012345678901234567890123456789012345678901\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(p.errors, QStringList{"String exceeds maximum length."});
                       EXPECT_EQ(f.Edit1->text().size(), 51); // the field keeps it
                   }}),
    [](const ::testing::TestParamInfo<StoredCase>& row) { return std::string(row.param.name); });

// Each stored setting at the ends of its range, and just outside, restored at start: the
// type index 0 .. 13, bar and font height 20 .. 200 percent (the menus' own items 100% and
// 90% .. 20%, another percent under 100%), each save factor (another one is 1), the zoom.
// What was read is written back as the window shows it.
TEST(MainWindow, StoredSettingsAtTheEndsOfTheirRanges) {
    struct TRow {
        const char* settings;
        int typeIndex;
        btCodeTypes type;
        int bar, barItem, font, fontItem;
        const char* factor;
        int factorItem;
        bool zoom;
        const char* error;
    };
    constexpr TRow kRows[] = {
        {"bctype=0", 0, EAN_8, 100, 0, 100, 0, "1", 0, false, ""},
        {"bctype=13", 13, MSI_Plessey, 100, 0, 100, 0, "1", 0, false, ""},
        {"bctype=14", -1, UPC_A, 100, 0, 100, 0, "1", 0, false, ""},
        {"bctype=-1", -1, UPC_A, 100, 0, 100, 0, "1", 0, false, ""},
        {"barheight=20\nfontheight=200", 2, UPC_A, 20, 8, 200, 0, "1", 0, false, ""},
        {"barheight=90\nfontheight=20", 2, UPC_A, 90, 1, 20, 8, "1", 0, false, ""},
        {"barheight=55\nfontheight=90", 2, UPC_A, 55, 0, 90, 1, "1", 0, false, ""},
        {"barheight=200\nfontheight=55", 2, UPC_A, 200, 0, 55, 0, "1", 0, false, ""},
        {"barheight=201", 2, UPC_A, 100, 0, 100, 0, "1", 0, false,
         "Bar_HeightPercent must be in the range 20..200!"},
        {"fontheight=19", 2, UPC_A, 100, 0, 100, 0, "1", 0, false,
         "Bar_Fontscaling must be in the range 20..200!"},
        {"sratio=1", 2, UPC_A, 100, 0, 100, 0, "1", 0, false, ""},
        {"sratio=2", 2, UPC_A, 100, 0, 100, 0, "2", 1, false, ""},
        {"sratio=3", 2, UPC_A, 100, 0, 100, 0, "3", 2, false, ""},
        {"sratio=4", 2, UPC_A, 100, 0, 100, 0, "4", 3, false, ""},
        {"sratio=5", 2, UPC_A, 100, 0, 100, 0, "5", 4, false, ""},
        {"sratio=10\nzoom=SC9", 2, UPC_A, 100, 0, 100, 0, "10", 5, true, ""},
        {"sratio=7\nzoom=SC2", 2, UPC_A, 100, 0, 100, 0, "1", 0, false, ""},
        {"sratio=0\nzoom=SC8", 2, UPC_A, 100, 0, 100, 0, "1", 0, false, ""},
    };
    for (const TRow& row : kRows) {
        SCOPED_TRACE(row.settings);
        Program program((std::string("[Varimark]\n") + row.settings + "\n").c_str());
        TForm1& f = program.Start();
        EXPECT_EQ(program.errors.join("|").toStdString(), row.error);
        EXPECT_EQ(f.TypeIndex(), row.typeIndex);
        EXPECT_EQ(f.lblType, QString::number(row.typeIndex));
        EXPECT_EQ(f.Barcode1->Bar_CodeType(), row.type);
        EXPECT_EQ(f.Barcode1->Bar_HeightPercent(), row.bar);
        EXPECT_TRUE(f.BarHeightItems[static_cast<std::size_t>(row.barItem)]->isChecked());
        EXPECT_EQ(f.Barcode1->Bar_Fontscaling(), row.font);
        EXPECT_TRUE(f.FontHeightItems[static_cast<std::size_t>(row.fontItem)]->isChecked());
        EXPECT_EQ(f.lblsaveRatio, row.factor);
        EXPECT_TRUE(f.SaveSizeItems[static_cast<std::size_t>(row.factorItem)]->isChecked());
        EXPECT_EQ(program.Read("Varimark", "sratio"), row.factor);
        EXPECT_EQ(program.Read("Varimark", "bctype"), std::to_string(row.typeIndex).c_str());
        EXPECT_EQ(f.Barcode1->Bar_ModuleWidth(), row.zoom ? SC9 : SC2);
        EXPECT_EQ(f.Zoom1->isChecked(), row.zoom);
    }
}

// Texts are kept per list entry, so the three Postnet entries keep their own.
TEST(MainWindow, PerTypeTextsSurviveTypeSwitches) {
    Program program;
    TForm1& form = program.Start();
    const std::pair<int, const char*> typed[] = {
        {0, "123"}, {10, "12345"}, {11, "123456789"}, {12, "12345678901"}, {8, "Hello"}};
    for (const auto& [index, text] : typed) {
        ChooseType(form, index);
        form.Edit1->setText(text);
    }
    for (const auto& [index, text] : typed) {
        ChooseType(form, index);
        EXPECT_EQ(form.Edit1->text(), text) << index;
        EXPECT_EQ(form.Barcode1->Bar_Caption(), text);
        EXPECT_EQ(program.Read("Varimark", QString::number(index)), text);
    }
    ChooseType(form, 11);
    EXPECT_EQ(form.Barcode1->Bar_CodeType(), Postnet);
    EXPECT_EQ(form.Edit1->MaxLength(), 9);
    ChooseType(form, 0);
    EXPECT_EQ(form.Edit1->MaxLength(), 7);
}

// The types whose length the symbology leaves open take 50 characters after any other type:
// typed after EAN-8, the whole text goes into the text field, none into the add-on field.
TEST(MainWindow, OpenLengthTypesTakeFiftyCharacters) {
    Program program;
    TForm1& form = program.Start();
    for (const int index : {5, 6, 7, 8, 9, 13}) {
        ChooseType(form, 0); // EAN-8, limit 7
        ChooseType(form, index);
        EXPECT_EQ(form.Edit1->MaxLength(), 50) << index;
        form.Edit1->clear();
        FocusText(form);
        QTest::keyClicks(form.Edit1, "1234567890AB");
        Settle();
        EXPECT_EQ(form.Edit1->text(), "1234567890AB") << index;
        EXPECT_EQ(form.Edit2->text(), "") << index;
    }
}

// A paste keeps its first characters, as many as the input limit leaves room for; the
// program's own text is never cut.
TEST(MainWindow, PasteIsCutToTheInputLimit) {
    Program program;
    TForm1& form = program.Start(); // UPC-A, limit 11
    const struct {
        const char* before;
        int cursor;
        const char* pasted;
        const char* after;
    } cases[] = {
        {"", 0, "0360002914512345", "03600029145"},
        {"0360", 4, "0029145999", "03600029145"},
        {"0360", 0, "1234567890", "12345670360"},
        {"03600029145", 11, "9", "03600029145"},
        {"036", 3, "00", "03600"},
    };
    for (const auto& c : cases) {
        form.Edit1->setText(c.before);
        form.Edit1->setCursorPosition(c.cursor);
        QApplication::clipboard()->setText(c.pasted);
        form.Edit1->paste();
        EXPECT_EQ(form.Edit1->text(), c.after) << c.before << " + " << c.pasted;
    }
    form.Edit1->setText("12345678901234567890");
    EXPECT_EQ(form.Edit1->text(), "12345678901234567890");
}

TEST(MainWindow, AddonsAreStoredPerTypeAndCleared) {
    Program program;
    TForm1& form = program.Start();
    ChooseType(form, 1); // EAN-13
    form.Edit2->setText("12");
    EXPECT_EQ(program.Read("Addon", "Ean13"), "12");
    ChooseType(form, 2); // UPC-A
    form.Edit2->setText("1x3");
    EXPECT_EQ(program.Read("Addon", "UPCA"), "1x3"); // as typed
    EXPECT_EQ(form.Barcode1->Bar_CodeAddon(), "13");
    ChooseType(form, 4); // CODE 39: no add-on, nothing written
    EXPECT_EQ(form.Edit2->text(), "");
    EXPECT_EQ(form.Barcode1->Bar_CodeAddon(), "");
    form.Edit2->setText("99");
    EXPECT_EQ(program.Read("Addon", "UPCA"), "1x3");
    ChooseType(form, 1);
    EXPECT_EQ(form.Edit2->text(), "12");
}

TEST(MainWindow, FocusMovesToTheAddonAtTheInputLimit) {
    Program program;
    TForm1& form = program.Start();
    ChooseType(form, 1); // EAN-13, limit 12
    QApplication::setActiveWindow(&form);
    form.Edit1->setFocus();
    Settle();
    QTest::keyClicks(form.Edit1, "12345678901");
    EXPECT_FALSE(form.Edit2->hasFocus());
    QTest::keyClicks(form.Edit1, "23");
    Settle();
    EXPECT_EQ(form.Edit1->text(), "123456789012"); // the 13th character is not taken
    EXPECT_TRUE(form.Edit2->hasFocus());
}

TEST(MainWindow, CommandsAndWhatTheyWrite) {
    Program program;
    TForm1& form = program.Start();
    // Rotate steps through 270, 180, 90 and back.
    for (btCodeRotate expected : {rotate_270, rotate_180, rotate_090, rotate_000}) {
        form.Rotate90Degrees1->trigger();
        EXPECT_EQ(form.Barcode1->Bar_Rotation(), expected);
    }
    form.Zoom1->trigger();
    EXPECT_TRUE(form.Zoom1->isChecked());
    EXPECT_EQ(form.Barcode1->Bar_ModuleWidth(), SC9);
    EXPECT_EQ(program.Read("Varimark", "zoom"), "SC9");
    form.HumanReadable1->trigger();
    EXPECT_FALSE(form.Barcode1->Bar_HumanReadable());
    EXPECT_EQ(program.Read("Varimark", "humanread"), "False");
    form.SaveSizeItems[5]->trigger();
    EXPECT_EQ(form.lblsaveRatio, "10");
    EXPECT_EQ(program.Read("Varimark", "sratio"), "10");
    form.BarHeightItems[3]->trigger(); // 70%
    EXPECT_EQ(form.Barcode1->Bar_HeightPercent(), 70);
    EXPECT_EQ(program.Read("Varimark", "barheight"), "70");
    form.FontHeightItems[8]->trigger(); // 20%
    EXPECT_EQ(program.Read("Varimark", "fontheight"), "20");
    EXPECT_EQ(form.lblFontScale, "20");
    // Typing a font name applies every intermediate text.
    form.ComboBox2->setFocus();
    form.ComboBox2->lineEdit()->clear();
    QTest::keyClicks(form.ComboBox2->lineEdit(), "Lib");
    EXPECT_EQ(form.Barcode1->Bar_Fontname(), "Lib");
    EXPECT_EQ(program.Read("Varimark", "font"), "Lib");
    EXPECT_TRUE(program.errors.isEmpty());
}

// Without a printer the print command fails with the platform's message, before
// anything is printed.
TEST(MainWindow, PrintWithoutAPrinter) {
    if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
    Program program;
    TForm1& form = program.Start();
    Handle([&] { form.Button1Click(); });
    EXPECT_EQ(program.errors, QStringList{"There is no default printer currently selected."});
}

TEST(MainWindow, ErrorBoxText) {
    EXPECT_EQ(TVarimarkApplication::ErrorText("Bar_HeightPercent must be in the range 20..200!"),
              "Bar_HeightPercent must be in the range 20..200!"); // "!" sorts before "."
    EXPECT_EQ(TVarimarkApplication::ErrorText("String exceeds maximum length"),
              "String exceeds maximum length.");
    EXPECT_EQ(TVarimarkApplication::ErrorText("Unable to write to /x."), "Unable to write to /x.");
    EXPECT_EQ(TVarimarkApplication::ErrorText("Cannot open (x)"), "Cannot open (x)"); // ")" < "."
}

// A settings file that cannot be written: the message names it and the control has
// changed all the same. (That a failed write keeps the old file is the profile
// functions' own test.)
TEST(MainWindow, FailedSettingsWriteIsReported) {
    Program program;
    TForm1& form = program.Start();
    QFile::remove(program.Ini());
    ASSERT_TRUE(QDir().mkdir(program.Ini())); // a folder where the file should be
    form.Edit1->setText("999");
    EXPECT_EQ(form.Barcode1->Bar_Caption(), "999");
    EXPECT_EQ(program.errors, QStringList{"Unable to write to " + program.Ini() + "."});
    QDir().rmdir(program.Ini());
}

TEST(MainWindow, SaveByExtension) {
    Program program;
    TForm1& form = program.Start();
    form.Edit1->setText("03600029145"); // UPC-A: 116 x 83
    form.SaveSizeItems[1]->trigger();   // factor 2
    // Every name is written exactly as chosen: "label.BMP" never replaces a "label.bmp".
    for (const char* chosen : {"label.TIF", "label.JPG", "label.BMP", "label.gif", "label.png",
                               "label.emf", "label.svg"}) {
        form.ChooseSaveFileName = [&] { return program.Path(chosen); };
        form.ToolButton2->trigger();
        EXPECT_TRUE(QFile::exists(program.Path(chosen))) << chosen;
        const QImage picture(program.Path(chosen));
        if (!picture.isNull()) {
            EXPECT_EQ(picture.size(), QSize(240, 174)) << chosen;
        }
        EXPECT_EQ(form.SaveDialogFileName, program.Path(chosen));
    }
    EXPECT_EQ(form.SaveDialogDefaultExt, ".svg");
    EXPECT_FALSE(QFile::exists(program.Path("label.bmp")));
    EXPECT_FALSE(QFile::exists(program.Path("label.tif")));
    EXPECT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();

    form.ChooseSaveFileName = [&] { return program.Path("label.xyz"); };
    form.N1->trigger();
    EXPECT_EQ(program.errors,
              QStringList{"Unsupported file type \".xyz\": use .bmp, .gif, .tif, .jpg, .emf, .png, "
                          ".svg or .pdf."});
    EXPECT_FALSE(QFile::exists(program.Path("label.xyz")));
    EXPECT_EQ(form.SaveDialogDefaultExt, ".xyz");

    form.ChooseSaveFileName = [] { return QString(); }; // cancelled: nothing happens
    form.SaveBarcode1->trigger();
    EXPECT_EQ(program.errors.size(), 1);
}

TEST(MainWindow, HelpAndAbout) {
    Program program;
    TForm1& form = program.Start();
    EXPECT_EQ(form.HelpFile(), program.folder.path() + "/VARIMARK.HLP");
    QStringList missing;
    form.HelpWindow()->reportMissing = [&](const QString& m) { missing << m; };
    form.ToolButton6->trigger(); // no help file in this folder
    EXPECT_EQ(missing.size(), 1);
    QFile help(program.Path("VARIMARK.HLP"));
    help.open(QIODevice::WriteOnly);
    help.write("<html><body><h1>Varimark Help</h1></body></html>");
    help.close();
    form.ToolButton6->trigger();
    EXPECT_EQ(form.HelpWindow()->Shown(), program.Path("VARIMARK.HLP"));
    form.HelpWindow()->hide();

    TAboutBox about(&form);
    QTimer::singleShot(50, &about, [&] { QTest::mouseClick(&about, Qt::LeftButton); });
    EXPECT_EQ(about.exec(), QDialog::Rejected);
    EXPECT_EQ(about.windowTitle(), "About Varimark");
}

// Both help commands find the help file beside the program or where the package puts it,
// whatever the current folder.
TEST(MainWindow, HelpIsFoundFromAnyFolder) {
    const struct {
        const char* executable;
        const char* helpFile;
    } cases[] = {
        {"varimark", "VARIMARK.HLP"},
        {"bin/varimark", "bin/VARIMARK.HLP"},
        {"bin/varimark", "share/varimark/VARIMARK.HLP"},
    };
    const QString current = QDir::currentPath();
    for (const auto& c : cases) {
        Program program;
        const QString help = program.Path(c.helpFile);
        QDir().mkpath(program.Path("bin"));
        QDir().mkpath(QFileInfo(help).absolutePath());
        QFile file(help);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("Help") > 0 && file.flush());
        QTemporaryDir elsewhere;
        QDir::setCurrent(elsewhere.path());
        TForm1& form = program.Start(c.executable);
        QStringList missing;
        form.HelpWindow()->reportMissing = [&](const QString& m) { missing << m; };
        for (QAction* command : {form.HelpIndex1, form.ToolButton6, form.HelpIndex1}) {
            form.HelpWindow()->hide();
            command->trigger();
            EXPECT_EQ(form.HelpWindow()->Shown(), help) << c.helpFile;
        }
        EXPECT_TRUE(missing.isEmpty()) << missing.join("|").toStdString();
        QDir::setCurrent(current);
    }
}

TEST(MainWindow, KeysOfEveryDesktop) {
    Program program;
    TForm1& form = program.Start();
    int asked = 0;
    form.ChooseSaveFileName = [&] {
        ++asked;
        return QString();
    };
    QStringList missing;
    form.HelpWindow()->reportMissing = [&](const QString& m) { missing << m; };
    FocusText(form);
    QTest::keyClick(form.Edit1, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    QTest::keyClick(form.Edit1, Qt::Key_F1);
    EXPECT_EQ(missing.size(), 1); // the help was asked for (no file in this folder)
    EXPECT_TRUE(form.isVisible());
    QTest::keyClick(form.Edit1, Qt::Key_Q, Qt::ControlModifier);
    Settle();
    EXPECT_FALSE(form.isVisible());
}

// Tab goes round the visible widgets only; a list takes the focus itself, not its edit part.
TEST(MainWindow, TabStopsOnlyOnVisibleWidgets) {
    Program program;
    TForm1& form = program.Start();
    FocusText(form);
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        Settle();
        const QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << i;
        EXPECT_TRUE(focus->isVisible()) << i << " " << focus->objectName().toStdString();
        EXPECT_NE(focus, form.ComboBox1->lineEdit());
        EXPECT_NE(focus, form.ComboBox2->lineEdit());
    }
}

TEST(MainWindow, AboutBoxLinesAreWhole) {
    TAboutBox about;
    about.show();
    Settle();
    int lines = 0;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue; // the picture
        ++lines;
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        EXPECT_TRUE(about.rect().contains(label->geometry())) << label->text().toStdString();
    }
    EXPECT_GE(lines, 5);
}

// The splash's black frame runs along all four sides, one pixel wide: the picture fills the
// rest.
TEST(MainWindow, SplashFrameOnFourSides) {
    TSplashScreen splash;
    const QImage image = splash.grab().toImage();
    ASSERT_EQ(image.size(), QSize(288, 223));
    const auto black = [&](int x, int y) { return image.pixelColor(x, y) == QColor(Qt::black); };
    int frame = 0, inside = 0;
    for (int x = 0; x < image.width(); ++x) {
        frame += black(x, 0) + black(x, image.height() - 1);
        inside += !black(x, 1) + !black(x, image.height() - 2);
    }
    for (int y = 0; y < image.height(); ++y) {
        frame += black(0, y) + black(image.width() - 1, y);
        inside += !black(1, y) + !black(image.width() - 2, y);
    }
    EXPECT_EQ(frame, 2 * (image.width() + image.height()));
    EXPECT_GT(inside, 0);
}

// The save dialog as the user sees it: its title and the captions of its file types.
TEST(MainWindow, SaveDialogShowsTheCaptions) {
    Program program;
    TForm1& form = program.Start();
    QString title;
    QStringList captions;
    QTimer::singleShot(0, &form, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        if (auto* types = dialog->findChild<QComboBox*>("fileTypeCombo"))
            for (int i = 0; i < types->count(); ++i) captions << types->itemText(i);
        dialog->reject();
    });
    form.Button2Click();
    EXPECT_EQ(title, "Save Varimark as...");
    EXPECT_EQ(captions, (QStringList{"Windows Bitmap (*.BMP)", "Compuserve Gif (*.GIF)",
                                     "TIFF 6.0 (*.TIF)", "Enhanced Metafile (*.EMF)",
                                     "JPEG (*.JPG)", "PNG (*.PNG)", "SVG (*.SVG)", "PDF (*.PDF)"}));
}

// A settings file that cannot be read, other than the one written (the program under another
// name): the defaults, and the message once the window is set up.
TEST(MainWindow, UnreadableSettingsFileIsReported) {
    Program program;
    ASSERT_EQ(::mkfifo(QFile::encodeName(program.Path("varimark.ini")).constData(), 0644), 0);
    TForm1& form = program.Start("other");
    EXPECT_EQ(form.ComboBox1->currentText(), "Code UPC-A");
    EXPECT_EQ(program.errors, QStringList{"Unable to read " + program.Path("varimark.ini") + "."});
    const QFileInfo fifo(program.Path("varimark.ini")); // left alone
    EXPECT_TRUE(fifo.exists() && !fifo.isFile());
    EXPECT_EQ(ReadProfileString("Varimark", "bctype", "-", program.Path("other.INI")), "2");
}

// Start-up reads the settings file once for all its reads, and a type change once for its
// reload. (Under another program name the reads and writes go to two files, so only reads
// open the read file.)
TEST(MainWindow, SettingsFileIsReadOncePerBatch) {
    Program program("[Varimark]\nbctype=1\n1=590123412345\nsratio=3\nbarheight=50\n"
                    "[Addon]\nEan13=12\n");
    TFileOpenCounter opens(QFile::encodeName(program.Ini()).toStdString());
    ASSERT_TRUE(opens.Watching());
    TForm1& form = program.Start("other");
    EXPECT_EQ(form.Edit1->text(), "590123412345");
    EXPECT_EQ(form.Edit2->text(), "12");
    EXPECT_EQ(opens.Opens(), 1);
    ChooseType(form, 1);
    EXPECT_EQ(opens.Opens(), 1);
    EXPECT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();
}

} // namespace

// --- Quiet zones, the status line's print quality, PDF

namespace {

// The status line once it tells the barcode as it is now (the grading runs in a worker).
QString SettledStatus(TForm1& form) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.StatusGrader()->Settled(); }, 60000));
    return form.StatusGrade1->text();
}

// A barcode set up as the user does: the type list's entry, the text, the add-on, the Save
// Size item, Rotate commands, Zoom and Quiet zones.
struct TLook {
    int type;
    const char* text;
    const char* addon;
    int saveSize;
    int rotations;
    bool zoom;
    bool quietZones;
};

void SetLook(TForm1& form, const TLook& look) {
    ChooseType(form, look.type);
    form.Edit1->setText(look.text);
    form.Edit2->setText(look.addon);
    form.SaveSizeItems[static_cast<std::size_t>(look.saveSize)]->trigger();
    while (form.Barcode1->Bar_Rotation() != rotate_000) form.Rotate90Degrees1->trigger();
    for (int i = 0; i < look.rotations; ++i) form.Rotate90Degrees1->trigger();
    if (form.Zoom1->isChecked() != look.zoom) form.Zoom1->trigger();
    if (form.QuietZones1->isChecked() != look.quietZones) form.QuietZones1->trigger();
}

std::string FileBytes(const QString& path) {
    return ReadFileIfThere(QFile::encodeName(path).toStdString()).value_or("<missing>");
}

// With Quiet zones on, Save writes what varimark-cli render writes by default for the same
// look (the window's barcode is laid out with the wide-to-narrow ratio 2), and Copy puts
// the same picture at factor 1 on the clipboard.
TEST(QuietZones, SaveWritesTheCommandLinesPicture) {
    const struct {
        TLook look;
        std::vector<std::string> cli;
    } cases[] = {
        {{8, "Varimark-42", "", 0, 0, false, true},
         {"--type", "CODE128_B", "--ratio", "2", "--module", "2", "Varimark-42"}},
        {{2, "03600029145", "12", 1, 1, false, true},
         {"--type", "UPC_A", "--ratio", "2", "--module", "2", "--addon", "12", "--scale", "2",
          "--rotate", "270", "03600029145"}},
        {{4, "ABC-123", "", 2, 0, true, true},
         {"--type", "CODE39", "--ratio", "2", "--module", "9", "--scale", "3", "ABC-123"}},
        {{10, "12345", "", 0, 2, false, true},
         {"--type", "Postnet", "--ratio", "2", "--module", "2", "--rotate", "180", "12345"}},
    };
    Program program;
    TForm1& form = program.Start();
    for (const auto& c : cases) {
        SetLook(form, c.look);
        form.ChooseSaveFileName = [&] { return program.Path("window.png"); };
        form.Button2Click();
        std::vector<std::string> args = {"render", "-o", program.Path("cli.png").toStdString()};
        args.insert(args.end(), c.cli.begin(), c.cli.end());
        const RunResult cli = RunCli(args);
        ASSERT_EQ(cli.status, 0) << cli.err;
        const std::string window = FileBytes(program.Path("window.png"));
        EXPECT_TRUE(window == FileBytes(program.Path("cli.png")))
            << c.look.text << ": " << window.size() << " bytes";
        if (c.look.saveSize == 0) { // Copy: the same picture
            form.Copy1->trigger();
            EXPECT_TRUE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32) ==
                        QImage(program.Path("window.png")).convertToFormat(QImage::Format_RGB32))
                << c.look.text;
        }
    }
    EXPECT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();
}

// Code 128 needs ten modules of light space on each side (ISO/IEC 15417, 4.4.4): with the
// window's 2-pixel margin a 1-pixel module leaves 2 modules, F on Decode; with Quiet zones
// the saved picture grades A. The choice is stored and read back at start.
TEST(QuietZones, GradeOfTheSavedPictureAndTheSetting) {
    Program program;
    TForm1& form = program.Start();
    EXPECT_FALSE(form.QuietZones1->isChecked()); // off by default
    for (const bool on : {true, false}) {
        SetLook(form, {8, "Varimark-42", "", 0, 0, false, on});
        EXPECT_EQ(program.Read("Varimark", "quietzones"), on ? "True" : "False");
        form.ChooseSaveFileName = [&] { return program.Path("label.png"); };
        form.Button2Click();
        VerifyOptions options;
        options.dpi = 96;
        const VerifyReport report =
            VerifyFile(QFile::encodeName(program.Path("label.png")).toStdString(), options);
        EXPECT_EQ(report.letter, on ? 'A' : 'F');
        ASSERT_FALSE(report.profiles.empty());
        EXPECT_EQ(report.profiles[0].failure,
                  on ? "" : "the left quiet zone is 2.0 modules wide; CODE128_B needs 10");
    }
    const struct {
        const char* stored;
        bool checked;
    } stored[] = {{"True", true}, {"False", false}, {"true", false}, {"1", false}};
    for (const auto& row : stored) {
        Program again(QByteArray("[Varimark]\nquietzones=") + row.stored + "\n");
        EXPECT_EQ(again.Start().QuietZones1->isChecked(), row.checked) << row.stored;
    }
}

// The status line for symbols as Save writes them at 96 dpi. The module size SC2 (0.33 mm)
// is 0.33 * 96 / 25.4 = 1.25 pixels, drawn as 1 pixel: X = 25.4 / 96 = 0.26 mm (0.53 mm at
// factor 2). Code 128 needs 10 modules each side (ISO/IEC 15417): the quiet-zone margin is
// 10 pixels, and the drawing's extra pixel on the right makes 11 there; with the 2-pixel
// margin the left has 2. UPC-A needs 9 (ISO/IEC 15420): the drawing leaves 10 modules for
// each outer digit, so 2 + 10 = 12 left and 13 right, with or without quiet zones.
TEST(StatusLine, TellsTheGradeOrWhatFails) {
    const struct {
        const char* name;
        TLook look;
        const char* status;
    } cases[] = {
        {"code128QuietZones",
         {8, "Varimark-42", "", 0, 0, false, true},
         "Grade A (4.0) · X 0.26 mm · quiet zones 10/11 modules"},
        {"code128Margin",
         {8, "Varimark-42", "", 0, 0, false, false},
         "Grade F: left quiet zone 2 of 10 modules · turn on Barcode > Quiet zones"},
        {"code128Turned",
         {8, "Varimark-42", "", 0, 1, false, false},
         "Grade F: top quiet zone 2 of 10 modules · turn on Barcode > Quiet zones"},
        {"upcA",
         {2, "03600029145", "", 0, 0, false, false},
         "Grade A (4.0) · X 0.26 mm · quiet zones 12/13 modules"},
        {"upcAFactor2",
         {2, "03600029145", "", 1, 0, false, true},
         "Grade A (4.0) · X 0.53 mm · quiet zones 12/13 modules"},
        {"code128Refused",
         {8, "Var\u00FFmark", "", 0, 0, false, false},
         "Not graded: BarcoLL: Code128 error: character 4 (\"\u00FF\", U+00FF) is not one "
         "Code 128 B can carry"},
        {"postnet",
         {10, "12345", "", 0, 0, false, false},
         "Not graded: Postnet and FIM are postal symbols, outside ISO/IEC 15416 print-quality "
         "grading"},
    };
    Program program;
    TForm1& form = program.Start();
    for (const auto& c : cases) {
        SetLook(form, c.look);
        EXPECT_EQ(SettledStatus(form).toStdString(), c.status) << c.name;
    }
    // The error box of the failed paint is shown as before.
    EXPECT_EQ(program.errors.join("|").toStdString(), "BarcoLL: Code128 error");
}

// Changes made before the event loop runs again are graded once, as they stand at the end
// (UPC-A at factor 2, as in the table above).
TEST(StatusLine, ABurstOfChangesIsGradedOnce) {
    Program program;
    TForm1& form = program.Start();
    SettledStatus(form);
    const std::uint64_t shown = form.StatusGrader()->ShownCount();
    form.Edit1->setText("0360002914");
    form.QuietZones1->trigger();
    form.SaveSizeItems[1]->trigger();
    EXPECT_EQ(SettledStatus(form).toStdString(),
              "Grade A (4.0) · X 0.53 mm · quiet zones 12/13 modules");
    EXPECT_EQ(form.StatusGrader()->ShownCount(), shown + 1);
}

// Save as PDF: vector bars on a page as large as the picture at the save factor (a pixel is
// 1/96 inch, 0.75 point).
TEST(SavePdf, PageOfThePictureSize) {
    Program program;
    TForm1& form = program.Start();
    SetLook(form, {2, "03600029145", "", 1, 0, false, false}); // 116 x 83, factor 2
    form.ChooseSaveFileName = [&] { return program.Path("label.PDF"); };
    form.SaveBarcode1->trigger();
    const std::string pdf = FileBytes(program.Path("label.PDF"));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("/MediaBox [0 0 180 130.5]"), std::string::npos) << pdf.substr(0, 400);
    EXPECT_EQ(form.SaveDialogDefaultExt, ".pdf");
    EXPECT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();
}

} // namespace

// --- Keyboard and screen reader access

namespace {

// What a screen reader speaks for a node: its label's name (a list on Linux is named by the
// entry it shows, so only its label tells what it is for), else its own.
QString SpokenName(QAccessibleInterface* node) {
    for (const auto& [label, relation] : node->relations(QAccessible::Label))
        if (!label->text(QAccessible::Name).isEmpty()) return label->text(QAccessible::Name);
    return node->role() == QAccessible::ComboBox ? QString() : node->text(QAccessible::Name);
}

// Walks an accessible tree, closed menus included: every node that can take the focus or
// that a reader announces by its name must have one. Collects the nameless nodes, and the
// actions met (menu items and toolbar buttons).
void FindNameless(QAccessibleInterface* node, QStringList& nameless,
                  std::set<const QAction*>& seen) {
    static const std::set<QAccessible::Role> kNamedRoles = {
        QAccessible::PushButton, QAccessible::CheckBox,     QAccessible::RadioButton,
        QAccessible::ComboBox,   QAccessible::EditableText, QAccessible::MenuItem,
        QAccessible::PopupMenu,  QAccessible::MenuBar,      QAccessible::ToolBar,
        QAccessible::SpinBox,    QAccessible::Slider,       QAccessible::ScrollBar,
        QAccessible::Grip,       QAccessible::List,         QAccessible::ListItem,
        QAccessible::Graphic,    QAccessible::ButtonMenu,   QAccessible::ButtonDropDown};
    if (node == nullptr) return;
    QObject* object = node->object();
    if (const auto* action = qobject_cast<QAction*>(object)) seen.insert(action);
    if (const auto* button = qobject_cast<QToolButton*>(object))
        seen.insert(button->defaultAction());
    if ((node->state().focusable || kNamedRoles.count(node->role()) > 0) &&
        SpokenName(node).trimmed().isEmpty())
        nameless << QString("role %1 (%2)")
                        .arg(node->role())
                        .arg(object ? object->metaObject()->className() : "item");
    for (int i = 0; i < node->childCount(); ++i) FindNameless(node->child(i), nameless, seen);
}

TEST(MainWindowAccess, NothingInteractiveIsNameless) {
    Program program;
    TForm1& form = program.Start();
    // As started, then with a barcode larger than the window: its scroll bars are shown.
    for (const bool large : {false, true}) {
        if (large) {
            ChooseType(form, 8); // Code 128 B
            form.Edit1->setText(QString(50, 'W'));
            form.Zoom1->trigger();
            Settle();
            ASSERT_TRUE(form.ScrollBox1->horizontalScrollBar()->isVisible());
        }
        QStringList nameless;
        std::set<const QAction*> seen;
        FindNameless(QAccessible::queryAccessibleInterface(&form), nameless, seen);
        EXPECT_TRUE(nameless.isEmpty()) << large << ": " << nameless.join("; ").toStdString();
        // Every command of the menus and toolbars was met on the way.
        for (const QAction* action : form.findChildren<QAction*>()) {
            const QList<QObject*> shownIn = action->associatedObjects();
            const bool command = std::any_of(shownIn.begin(), shownIn.end(), [](QObject* o) {
                return qobject_cast<QMenu*>(o) || qobject_cast<QMenuBar*>(o) ||
                       qobject_cast<QToolBar*>(o);
            });
            if (command && !action->isSeparator() && !qobject_cast<const QWidgetAction*>(action)) {
                EXPECT_EQ(seen.count(action), 1u) << action->text().toStdString();
            }
        }
    }
    TAboutBox about(&form);
    QStringList nameless;
    std::set<const QAction*> seen;
    FindNameless(QAccessible::queryAccessibleInterface(&about), nameless, seen);
    EXPECT_TRUE(nameless.isEmpty()) << nameless.join("; ").toStdString();
}

// The fields and lists are spoken by what they are for, the lists not by the entry they
// show; the picture by what it shows, following every change.
TEST(MainWindowAccess, FieldsListsAndPictureSayWhatTheyAre) {
    Program program;
    TForm1& form = program.Start();
    const std::pair<QWidget*, const char*> named[] = {
        {form.Edit1, "Barcode text"},
        {form.Edit2, "Add-on digits"},
        {form.ComboBox1, "Barcode type"},
        {form.ComboBox2, "Font"},
        {form.Barcode1, "Barcode picture"},
        {form.findChild<QToolBar*>("ToolBar1")->widgetForAction(form.ToolButton5),
         "Rotate barcode 90 degrees"},
    };
    for (const auto& [widget, name] : named)
        EXPECT_EQ(SpokenName(QAccessible::queryAccessibleInterface(widget)), name);

    QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(form.Barcode1);
    EXPECT_EQ(picture->role(), QAccessible::Graphic);
    ChooseType(form, 1); // EAN-13
    form.Edit1->setText("590123412345");
    form.Edit2->setText("12");
    form.Rotate90Degrees1->trigger();
    Settle();
    EXPECT_EQ(picture->text(QAccessible::Description),
              "EAN-13 barcode of \"590123412345\", add-on \"12\", turned 270 degrees");
    ChooseType(form, 4); // Code 39: no add-on drawn
    form.Edit1->setText("ABC");
    Settle();
    EXPECT_EQ(picture->text(QAccessible::Description),
              "Code 39 barcode of \"ABC\", turned 270 degrees");
}

// One keystroke as the keyboard makes it: each event goes to the widget that has the focus
// at that moment, so the release of Shift+Tab lands in the field it moved to.
struct Keystroke {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

void Press(const Keystroke& stroke) {
    QTest::keyPress(QApplication::focusWidget(), stroke.key, stroke.modifiers);
    QTest::keyRelease(QApplication::focusWidget(), stroke.key, stroke.modifiers);
    Settle();
}

// A user at the keyboard, one step after the other, on EAN-13 (limit 12): typing the last
// character moves on to the add-on field; moving, selecting, deleting, pasting and Tab in a
// full text leave the focus in the text field.
TEST(MainWindowKeys, OnlyTheFillingCharacterMovesOn) {
    Program program;
    TForm1& form = program.Start();
    ChooseType(form, 1);
    form.Edit1->clear();
    FocusText(form);
    QApplication::clipboard()->setText("4");
    const struct {
        const char* what;
        const char* typed; // typed as characters, else the keystrokes
        std::vector<Keystroke> strokes;
        const char* text;     // Edit1's text afterwards
        bool inAddon;         // the focus in Edit2 afterwards, else in Edit1
        int cursor;           // Edit1's cursor afterwards, -1 unchecked
        const char* selected; // Edit1's selection afterwards, nullptr unchecked
    } steps[] = {
        // clang-format off
        {"eleven digits", "12345678901", {}, "12345678901", false, 11, nullptr},
        {"the twelfth digit fills it", "2", {}, "123456789012", true, -1, nullptr},
        {"Shift+Tab back", nullptr, {{Qt::Key_Backtab, Qt::ShiftModifier}}, "123456789012", false, -1, nullptr},
        {"Left", nullptr, {{Qt::Key_Left}}, "123456789012", false, -1, nullptr}, // to 0 or 11, by platform
        {"Home", nullptr, {{Qt::Key_Home}}, "123456789012", false, 0, nullptr},
        {"End", nullptr, {{Qt::Key_End}}, "123456789012", false, 12, nullptr},
        {"Shift+Home", nullptr, {{Qt::Key_Home, Qt::ShiftModifier}}, "123456789012", false, 0, "123456789012"},
        {"Right", nullptr, {{Qt::Key_Right}}, "123456789012", false, -1, ""},
        {"Ctrl+A", nullptr, {{Qt::Key_A, Qt::ControlModifier}}, "123456789012", false, -1, "123456789012"},
        {"End again", nullptr, {{Qt::Key_End}}, "123456789012", false, 12, ""},
        {"Backspace", nullptr, {{Qt::Key_Backspace}}, "12345678901", false, 11, nullptr},
        {"a paste that fills it", nullptr, {{Qt::Key_V, Qt::ControlModifier}}, "123456789014", false, 12, nullptr},
        {"a digit more is refused", "7", {}, "123456789014", false, 12, nullptr},
        {"Shift+Left", nullptr, {{Qt::Key_Left, Qt::ShiftModifier}}, "123456789014", false, 11, "4"},
        {"typed over the selection", "9", {}, "123456789019", false, 12, nullptr},
        {"Left, Delete", nullptr, {{Qt::Key_Left}, {Qt::Key_Delete}}, "12345678901", false, 11, nullptr},
        {"the last digit again", "3", {}, "123456789013", true, -1, nullptr},
        // clang-format on
    };
    for (const auto& step : steps) {
        if (step.typed) {
            QTest::keyClicks(QApplication::focusWidget(), step.typed);
            Settle();
        }
        for (const Keystroke& stroke : step.strokes) Press(stroke);
        EXPECT_EQ(form.Edit1->text(), step.text) << step.what;
        EXPECT_EQ(QApplication::focusWidget(), step.inAddon ? form.Edit2 : form.Edit1) << step.what;
        if (step.cursor >= 0) {
            EXPECT_EQ(form.Edit1->cursorPosition(), step.cursor) << step.what;
        }
        if (step.selected) {
            EXPECT_EQ(form.Edit1->selectedText(), step.selected) << step.what;
        }
    }
}

// A key held down repeats: the field fills during the repeats and the focus moves on at the
// key's real release, not at a repeat's.
TEST(MainWindowKeys, AHeldKeyMovesOnAtItsRelease) {
    Program program;
    TForm1& form = program.Start();
    ChooseType(form, 3); // UPC-E, limit 6
    form.Edit1->setText("1234");
    FocusText(form);
    form.Edit1->end(false);
    const auto send = [&](QEvent::Type type, bool repeat) {
        QKeyEvent key(type, Qt::Key_0, Qt::NoModifier, "0", repeat);
        QApplication::sendEvent(QApplication::focusWidget(), &key);
        Settle();
    };
    send(QEvent::KeyPress, false);
    for (int i = 0; i < 3; ++i) {
        send(QEvent::KeyRelease, true);
        send(QEvent::KeyPress, true);
        EXPECT_EQ(QApplication::focusWidget(), form.Edit1) << i;
    }
    EXPECT_EQ(form.Edit1->text(), "123400");
    send(QEvent::KeyRelease, false);
    EXPECT_EQ(QApplication::focusWidget(), form.Edit2);
}

// Tab reaches everything a keyboard user needs, the lists included, starting from the text
// field; an arrow key opens the closed type list, and the entry chosen there moves the focus
// on to the text field.
TEST(MainWindowKeys, TabReachesTheListsAndArrowsOpenTheTypeList) {
    Program program;
    TForm1& form = program.Start();
    QApplication::setActiveWindow(&form);
    Settle();
    EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
    const QWidget* order[] = {form.Edit2, form.ComboBox2, form.ComboBox1, form.ScrollBox1,
                              form.Edit1};
    for (const QWidget* next : order) {
        Press({Qt::Key_Tab});
        EXPECT_EQ(QApplication::focusWidget(), next) << next->accessibleName().toStdString();
    }
    Press({Qt::Key_Backtab, Qt::ShiftModifier});
    EXPECT_EQ(QApplication::focusWidget(), form.ScrollBox1);
    Press({Qt::Key_Backtab, Qt::ShiftModifier});
    ASSERT_EQ(QApplication::focusWidget(), form.ComboBox1);

    ASSERT_EQ(form.TypeIndex(), 2); // UPC-A
    Press({Qt::Key_Down});
    EXPECT_TRUE(form.ComboBox1->view()->isVisible());
    EXPECT_EQ(form.TypeIndex(), 2);
    Press({Qt::Key_Down});
    Press({Qt::Key_Return});
    EXPECT_FALSE(form.ComboBox1->view()->isVisible());
    EXPECT_EQ(form.TypeIndex(), 3);
    EXPECT_EQ(form.ComboBox1->currentText(), "Code UPC-E");
    // The window's focus moves on to the text field. On an X server without a window manager
    // the window may get the keyboard back from the closed list only later, or not before the
    // test ends (then the application has no focus widget): what the keyboard reaches when it
    // does is the window's own focus widget.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.focusWidget() == form.Edit1; }, 5000))
        << form.focusWidget();
}

// The about box at its fixed size shows every part at once: each lies inside it and none
// covers another, the picture is whole (the artwork's proportions, inside its place) and the
// button is there to press.
TEST(MainWindowAccess, AboutBoxShowsEveryPart) {
    TAboutBox about;
    about.show();
    Settle();
    EXPECT_EQ(about.size(), QSize(384, 208));
    const QList<QWidget*> parts = about.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QRect place = parts[i]->geometry();
        EXPECT_TRUE(about.rect().contains(place)) << i;
        for (qsizetype j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(place.intersects(parts[j]->geometry())) << i << " " << j;
    }
    int pictures = 0;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        const QPixmap picture = label->pixmap();
        if (picture.isNull()) continue;
        ++pictures;
        EXPECT_LE(picture.width(), label->width());
        EXPECT_LE(picture.height(), label->height());
        EXPECT_NEAR(picture.width() * 222.0 / 288.0, picture.height(), 1.0);
    }
    EXPECT_EQ(pictures, 1);
    EXPECT_TRUE(about.OkButton()->isVisible());
    EXPECT_TRUE(about.OkButton()->isDefault());
}

} // namespace
