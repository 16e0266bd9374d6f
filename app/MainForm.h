#pragma once
// The main window: toolbars with the type and font lists, the text and add-on fields,
// the barcode in a white scroll box, the menus, and every command. Part of its state is
// kept as text (the captions of hidden labels), because it goes to the settings file as
// text; its internal commands keep their button handler names.
#include "app/LimitedEdit.h"
#include "app/StatusGrade.h"
#include "control/Barcode.h"
#include "platform/ProfileFile.h"
#include "platform/SettingsLocation.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class QAction;
class QComboBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QScrollArea;

namespace varimark {

class TAboutBox;
class THelpWindow;

class TForm1 : public QMainWindow {
public:
    struct TOptions {
        QString executablePath;     // the running program (settings and help beside it)
        std::function<void()> wait; // the start-up wait with the splash on screen
    };
    // Builds the window and runs FormCreate; a failure there is shown in the error box and
    // the window is built all the same.
    explicit TForm1(const TOptions& options);
    ~TForm1() override;

    void SetAboutBox(TAboutBox* box) { aboutBox_ = box; }

    // Creation and the internal commands.
    void FormCreate();
    void Button1Click(); // print on the default printer
    void Button2Click(); // save
    void Button3Click(); // copy to the clipboard
    void Button4Click(); // apply the type
    void Button5Click(); // exit
    void Button6Click(); // rotate
    void btnLoadIniClick();
    void btnWriteIniClick();
    void btnBarHeightClick();
    void btnFontScaleClick();

    // Field and list events.
    void Edit1Change();
    void Edit1KeyUp(const QKeyEvent& key);
    void Edit2Change();
    void ComboBox1Change();
    void ComboBox2Change();

    // Menu commands.
    void HumanReadable1Click();
    void Zoom1Click();
    void QuietZones1Click();
    void C11Click() { SaveSizeClick(0); }
    void C21Click() { SaveSizeClick(1); }
    void C31Click() { SaveSizeClick(2); }
    void C41Click() { SaveSizeClick(3); }
    void C51Click() { SaveSizeClick(4); }
    void C61Click() { SaveSizeClick(5); }
    void BarHeightClick(int item);  // N101Click (100%) .. N201Click (20%)
    void FontHeightClick(int item); // N1001Click (100%) .. N202Click (20%)
    void HelpIndex1Click();
    void ToolButton6Click();
    void AboutVarimark1Click();
    void Exit1Click() { Button5Click(); }

    // The components.
    TBarcode* Barcode1;
    TLimitedEdit* Edit1;
    TLimitedEdit* Edit2;
    QComboBox* ComboBox1; // barcode types
    QComboBox* ComboBox2; // fonts
    QScrollArea* ScrollBox1;
    QAction *ToolButton2, *ToolButton3, *ToolButton5, *ToolButton6;
    QAction *N1, *Exit1, *SaveBarcode1, *Copy1, *Rotate90Degrees1, *HumanReadable1, *Zoom1;
    QAction *HelpIndex1, *AboutVarimark1;
    std::array<QAction*, 6> SaveSizeItems;   // C11 .. C61
    std::array<QAction*, 9> BarHeightItems;  // N101 .. N201: 100% .. 20%
    std::array<QAction*, 9> FontHeightItems; // N1001 .. N202
    QAction* QuietZones1; // Barcode > Quiet zones: Save and Copy with each side's quiet zone
    QLabel* StatusGrade1; // the status line: the print quality of what Save would write
    TStatusGrade* StatusGrader() const { return statusGrade_.get(); }

    // The hidden labels' captions.
    QString lblType = "lblType";
    QString lblsaveRatio = "1";
    QString lblBarHeight = "lblBarHeight";
    QString lblFontScale = "lblFontScale";

    // The selected entry of the type list, -1 when none is (typing clears it).
    int TypeIndex() const { return typeIndex_; }
    // The application's help file: the one found beside the program or where it is installed.
    QString HelpFile() const { return helpFile_; }
    THelpWindow* HelpWindow() const { return helpWindow_; }
    const TSettingsFiles& SettingsFiles() const { return settings_; }

    // The save dialog: its default extension and proposed name carry from save to save.
    QString SaveDialogDefaultExt = "bmp";
    QString SaveDialogFileName;
    // Asks for the file name (empty when cancelled); the tests answer it themselves.
    std::function<QString()> ChooseSaveFileName;

    static const std::array<const char*, 14> kTypeCaptions;

private:
    // The window's parts, built in this order by the constructor.
    void BuildToolBars();
    void BuildCommandBar();
    void ConnectLists();
    void BuildTextBar();
    void BuildMenus();
    void BuildBarcodeMenu(QMenu* barcode);
    void BuildBarcodeArea();
    void BuildStatusBar();
    void ConnectFields();
    // Menu items whose handler runs as a command (its failure shown in the error box).
    QAction* AddMenuItem(QMenu* menu, const char* caption, void (TForm1::*handler)());
    // A switch, whose handler flips its check mark.
    QAction* AddMenuSwitch(QMenu* menu, const char* caption, void (TForm1::*handler)(),
                           bool checked);
    // A radio submenu, whose items check themselves from the handler; the first is checked.
    void AddRadioMenu(QMenu* parent, const char* title, std::span<const char* const> captions,
                      void (TForm1::*handler)(int), QAction** items);
    void SaveSizeClick(int item);
    void CheckHeightItem(std::array<QAction*, 9>& items, int percent);
    QString ReadSetting(const QString& section, const QString& key,
                        const QString& defaultValue) const;
    void WriteSetting(const QString& section, const QString& key, const QString& value) const;
    // Sets a field's text as the program does: its change event runs; a failure there ends
    // the caller during start-up, afterwards it is shown at once and the caller goes on.
    void SetFieldText(TLimitedEdit* edit, const QString& text);
    void FieldChanged(void (TForm1::*handler)());
    QString SaveDialog();
    TDrawFunction Drawer();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Quiet zones, the status line's grade and PDF.
    void BuildStatusGrade();
    void RequestStatusGrade();
    TGradeRequest GradeRequest() const;
    void LoadQuietZones();
    int PictureDpi() const;
    int OutputMargin() const;
    void SavePicture(const QString& name, int factor);

    TSettingsFiles settings_;
    QString programFolder_;
    QString helpFile_;
    int typeIndex_ = -1;
    bool starting_ = true;
    std::exception_ptr pendingError_;
    TAboutBox* aboutBox_ = nullptr;
    THelpWindow* helpWindow_ = nullptr;
    std::function<void()> wait_;
    // While set, the settings are read from this one reading of the file (start-up, reload).
    std::optional<varimark::ProfileReader> batch_;
    // Last, so that its worker has ended before the window's parts go.
    std::unique_ptr<TStatusGrade> statusGrade_;
};

// StrToInt: decimal text with an optional sign; raises "'%s' is not a valid integer value".
int TextToInt(const QString& text);

} // namespace varimark
