// The desktop program's window on the offscreen platform, its program folder a temporary
// copy: start-up from the settings file, the commands and what they write, and Save.
#include "AboutBox.h"
#include "Bitmap.h"
#include "ErrorReport.h"
#include "HelpWindow.h"
#include "MainForm.h"
#include "ProfileFile.h"
#include "VarimarkApplication.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// A program folder with its settings file, and the window started from it.
class Program {
public:
    explicit Program(const QString& settings = {}) {
        if (!settings.isNull()) {
            QFile file(Ini());
            file.open(QIODevice::WriteOnly);
            file.write(settings.toUtf8());
        }
        TVarimarkApplication::SetErrorPresenter([this](const QString& text) { errors << text; });
        SetErrorReporter(
            [this](const std::string& text) { errors << QString::fromStdString(text); });
    }
    ~Program() {
        form.reset();
        TVarimarkApplication::SetErrorPresenter({});
        SetErrorReporter({});
    }
    TForm1& Start() {
        form = std::make_unique<TForm1>(TForm1::TOptions{folder.path() + "/varimark", {}});
        form->show();
        Settle();
        return *form;
    }
    QString Ini() const { return folder.path() + "/varimark.INI"; }
    QString Read(const QString& section, const QString& key) const {
        return ReadProfileString(section, key, "<missing>", Ini());
    }
    QString Path(const QString& name) const { return folder.path() + "/" + name; }

    QTemporaryDir folder;
    QStringList errors;
    std::unique_ptr<TForm1> form;
};

// Chooses a type from the list as the user does.
void ChooseType(TForm1& form, int index) {
    form.ComboBox1->setCurrentIndex(index);
    emit form.ComboBox1->activated(index);
    Settle();
}

TEST(MainWindow, FreshStart) {
    Program program(QString{}); // no settings file
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
        StoredCase{"bctype20", "[Varimark]\nbctype=20\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(f.TypeIndex(), -1);
                       EXPECT_EQ(f.lblType, "-1");
                       EXPECT_EQ(f.Barcode1->Bar_CodeType(), UPC_A);
                       EXPECT_EQ(f.Edit1->MaxLength(), 11);
                       EXPECT_EQ(p.Read("Varimark", "bctype"), "-1");
                   }},
        StoredCase{"bctypeNotANumber", "[Varimark]\nbctype=abc\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(p.errors, QStringList{"'abc' is not a valid integer value."});
                       EXPECT_EQ(f.TypeIndex(), -1);
                       EXPECT_EQ(f.Barcode1->Bar_CodeType(), UPC_A);
                   }},
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
        StoredCase{"barheight55", "[Varimark]\nbarheight=55\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(f.Barcode1->Bar_HeightPercent(), 55);
                       EXPECT_TRUE(f.BarHeightItems[0]->isChecked()); // "100%"
                       EXPECT_TRUE(p.errors.isEmpty());
                   }},
        StoredCase{"barheight10", "[Varimark]\nbarheight=10\nfontheight=50\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(p.errors,
                                 QStringList{"Bar_HeightPercent must be in the range 20..200!"});
                       EXPECT_EQ(f.Barcode1->Bar_Fontscaling(), 100); // not restored
                   }},
        StoredCase{"sratio7", "[Varimark]\nsratio=7\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(f.lblsaveRatio, "1");
                       EXPECT_TRUE(f.SaveSizeItems[0]->isChecked());
                       EXPECT_EQ(p.Read("Varimark", "sratio"), "1");
                   }},
        StoredCase{"sratio10zoom", "[Varimark]\nsratio=10\nzoom=SC9\nfont=Liberation Serif\n",
                   [](Program&, TForm1& f) {
                       EXPECT_EQ(f.lblsaveRatio, "10");
                       EXPECT_TRUE(f.SaveSizeItems[5]->isChecked());
                       EXPECT_EQ(f.Barcode1->Bar_ModuleWidth(), SC9);
                       EXPECT_TRUE(f.Zoom1->isChecked());
                       EXPECT_EQ(f.Barcode1->Bar_Fontname(), "Liberation Serif");
                   }},
        StoredCase{"textTooLong",
                   "[Varimark]\n2=123456789012345678901234567890123456789012345678901\n",
                   [](Program& p, TForm1& f) {
                       EXPECT_EQ(p.errors, QStringList{"String exceeds maximum length."});
                       EXPECT_EQ(f.Edit1->text().size(), 51); // the field keeps it
                   }}),
    [](const ::testing::TestParamInfo<StoredCase>& info) { return std::string(info.param.name); });

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
    ChooseType(form, 6); // Codabar sets no limit
    EXPECT_EQ(form.Edit1->MaxLength(), 7);
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

struct SaveCase {
    const char* chosen;
    const char* written;
};

TEST(MainWindow, SaveByExtension) {
    Program program;
    TForm1& form = program.Start();
    form.Edit1->setText("03600029145"); // UPC-A: 116 x 83
    form.SaveSizeItems[1]->trigger();   // factor 2
    const SaveCase cases[] = {{"label.TIF", "label.tif"}, {"label.JPG", "label.JPG"},
                              {"label.BMP", "label.bmp"}, {"label.gif", "label.gif"},
                              {"label.png", "label.png"}, {"label.emf", "label.emf"},
                              {"label.svg", "label.svg"}};
    for (const SaveCase& c : cases) {
        form.ChooseSaveFileName = [&] { return program.Path(c.chosen); };
        form.ToolButton2->trigger();
        EXPECT_TRUE(QFile::exists(program.Path(c.written))) << c.chosen;
        const QImage picture(program.Path(c.written));
        if (!picture.isNull()) {
            EXPECT_EQ(picture.size(), QSize(240, 174)) << c.chosen;
        }
        EXPECT_EQ(form.SaveDialogFileName, program.Path(c.chosen));
    }
    EXPECT_EQ(form.SaveDialogDefaultExt, ".svg");
    EXPECT_TRUE(program.errors.isEmpty()) << program.errors.join("|").toStdString();

    form.ChooseSaveFileName = [&] { return program.Path("label.xyz"); };
    form.N1->trigger();
    EXPECT_EQ(program.errors,
              QStringList{"Unsupported file type \".xyz\": use .bmp, .gif, .tif, .jpg, .emf, .png "
                          "or .svg."});
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
    form.HelpWindow()->ReportMissing = [&](const QString& m) { missing << m; };
    form.ToolButton6->trigger(); // no help file in this folder
    EXPECT_EQ(missing.size(), 1);
    QFile help(program.Path("VARIMARK.HLP"));
    help.open(QIODevice::WriteOnly);
    help.write("<html><body><h1>Varimark Help</h1></body></html>");
    help.close();
    form.ToolButton6->trigger();
    EXPECT_EQ(form.HelpWindow()->Shown(), program.Path("VARIMARK.HLP"));
    form.HelpWindow()->hide();
    form.HelpIndex1->trigger(); // the menu form asks for the bare name
    EXPECT_EQ(form.HelpFile(), "VARIMARK.HLP");

    TAboutBox about(&form);
    QTimer::singleShot(50, &about, [&] { QTest::mouseClick(&about, Qt::LeftButton); });
    EXPECT_EQ(about.exec(), QDialog::Rejected);
    EXPECT_EQ(about.windowTitle(), "About Varimark");
}

} // namespace
