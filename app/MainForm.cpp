#include "app/MainForm.h"

#include "app/AboutBox.h"
#include "app/Artwork.h"
#include "app/HelpFile.h"
#include "app/HelpWindow.h"
#include "app/VarimarkApplication.h"
#include "engine/EOverflow.h"
#include "engine/Units.h"
#include "export/FileWriter.h"
#include "platform/ProfileFile.h"
#include "platform/QtSurface.h"
#include "render/PdfSurface.h"
#include "render/PictureSave.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <stdexcept>

namespace varimark {

const std::array<const char*, 14> TForm1::kTypeCaptions = {"Code EAN-8",
                                                           "Code EAN-13",
                                                           "Code UPC-A",
                                                           "Code UPC-E",
                                                           "CODE 39",
                                                           "Code 2 of 5 interleaved",
                                                           "Codabar",
                                                           "Code 128 - Table A",
                                                           "Code 128 - Table B",
                                                           "Code 128 - Table C",
                                                           "Postnet 5-digit",
                                                           "Postnet 9-digit",
                                                           "Postnet 11-digit",
                                                           "MSI Plessey"};

namespace {

// The control type of each entry of the type list.
constexpr btCodeTypes kListTypes[14] = {
    btCodeTypes::EAN_8,     btCodeTypes::EAN_13,     btCodeTypes::UPC_A,   btCodeTypes::UPC_E,
    btCodeTypes::CODE39,    btCodeTypes::CODE25i,    btCodeTypes::Codabar, btCodeTypes::CODE128_A,
    btCodeTypes::CODE128_B, btCodeTypes::CODE128_C,  btCodeTypes::Postnet, btCodeTypes::Postnet,
    btCodeTypes::Postnet,   btCodeTypes::MSI_Plessey};
constexpr int kSaveFactors[6] = {1, 2, 3, 4, 5, 10};
constexpr int kPercents[9] = {100, 90, 80, 70, 60, 50, 40, 30, 20};

QFont ArialPixels(int pixels) {
    QFont font("Arial");
    font.setPixelSize(pixels);
    return font;
}

// The height item of a percent: 20 .. 90 their own, anything else 100%.
int HeightItem(int percent) {
    for (int i = 1; i < 9; ++i)
        if (kPercents[i] == percent) return i;
    return 0;
}

} // namespace

int TextToInt(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok) throw std::runtime_error("'" + text.toStdString() + "' is not a valid integer value");
    return value;
}

namespace {

// A label that a screen reader speaks for a field (the field's label relation, and its name
// where it has none of its own); never shown, so the window looks as it did.
void SpokenLabel(QWidget* field, const char* text) {
    auto* label = new QLabel(text, field->parentWidget());
    label->setBuddy(field);
    label->hide();
}

// The toolbar's own button for what does not fit the window.
void NameOverflowButton(QToolBar* bar) {
    if (auto* more = bar->findChild<QToolButton*>("qt_toolbar_ext_button"))
        more->setAccessibleName("More of the toolbar");
}

// What a screen reader says of the barcode picture: the symbology, the text and add-on it
// encodes, and its turn.
QString DescribeBarcode(const TBarcode& barcode) {
    const btCodeTypes type = barcode.Bar_CodeType();
    const TSymbology* symbology = Symbology(type);
    QString text = QString("%1 barcode of \"%2\"")
                       .arg(symbology ? symbology->caption : "Unknown", barcode.Bar_Caption());
    if ((type == btCodeTypes::EAN_13 || type == btCodeTypes::UPC_A) &&
        !barcode.Bar_CodeAddon().isEmpty())
        text += QString(", add-on \"%1\"").arg(barcode.Bar_CodeAddon());
    if (barcode.Bar_Rotation() != btCodeRotate::rotate_000)
        text += QString(", turned %1 degrees").arg(90 * static_cast<int>(barcode.Bar_Rotation()));
    return text;
}

// Keeps the picture's description to what it shows: read again at every paint, which
// follows every change of the control.
class TPictureDescription : public QObject {
public:
    explicit TPictureDescription(TBarcode* barcode) : QObject(barcode), barcode_(barcode) {
        barcode->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const QString description = DescribeBarcode(*barcode_);
            if (description != barcode_->accessibleDescription())
                barcode_->setAccessibleDescription(description);
        }
        return false;
    }

private:
    TBarcode* barcode_;
};

// The barcode control is a picture to a screen reader, not a blank panel.
QAccessibleInterface* BarcodeAccessible(const QString&, QObject* object) {
    if (auto* barcode = dynamic_cast<TBarcode*>(object))
        return new QAccessibleWidget(barcode, QAccessible::Graphic);
    return nullptr;
}

// The barcode control as a screen reader meets it: a picture with its name, and a
// description that follows what it shows.
void ShowAsPicture(TBarcode* barcode) {
    static const bool kInstalled = [] {
        QAccessible::installFactory(BarcodeAccessible);
        return true;
    }();
    (void)kInstalled;
    barcode->setAccessibleName("Barcode picture");
    barcode->setAccessibleDescription(DescribeBarcode(*barcode));
    new TPictureDescription(barcode);
}

// A toolbar fixed along the window's top, its row as wide as the window.
QToolBar* AddFixedToolBar(QMainWindow* window, const char* title, const char* name) {
    auto* bar = window->addToolBar(title);
    bar->setObjectName(name);
    bar->setMovable(false);
    bar->setContentsMargins(0, 0, 0, 0); // the row is as wide as the window
    bar->layout()->setSpacing(0);
    return bar;
}

// An editable list on the toolbar, showing text until an entry is chosen.
QComboBox* AddList(QToolBar* bar, int width, const char* hint, const char* text, const char* name) {
    auto* combo = new QComboBox(bar);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setFixedWidth(width);
    combo->setFont(ArialPixels(11));
    combo->setToolTip(hint);
    // Tab reaches the lists as it does the fields: the types and fonts have no other way in
    // from the keyboard. A click focuses them as before.
    combo->setFocusPolicy(Qt::StrongFocus);
    combo->setEditText(text);
    bar->addWidget(combo);
    // A screen reader names a list by its label, not by the entry shown in it.
    combo->setAccessibleName(name);
    combo->lineEdit()->setAccessibleName(name);
    combo->view()->setAccessibleName(name);
    SpokenLabel(combo, name);
    return combo;
}

} // namespace

TForm1::TForm1(const TOptions& options) : wait_(options.wait) {
    setWindowTitle("Varimark 1.0");
    setWindowIcon(ProgramIcon());
    setFont(ArialPixels(13));
    resize(384, 343);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    const QFileInfo executable(options.executablePath);
    programFolder_ = executable.absolutePath() + "/";
    settings_ = LocateSettingsFiles(options.executablePath);

    BuildToolBars();
    BuildMenus();
    BuildBarcodeArea();
    BuildStatusBar();
    helpWindow_ = new THelpWindow(this);
    ConnectFields();

    try {
        FormCreate();
    } catch (const std::exception& e) {
        TVarimarkApplication::ShowError(QString::fromStdString(e.what()));
    }
    starting_ = false;
    BuildStatusGrade();
}

TForm1::~TForm1() {
    // The fields and lists may still signal while the window takes them down (a list's edit
    // losing the focus); nothing of this window may run by then.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

// The white scroll box with the barcode at (35, 32), laid out as UPC-A, Ratio_2.
void TForm1::BuildBarcodeArea() {
    ScrollBox1 = new QScrollArea(this);
    auto* box = new QWidget;
    box->setAutoFillBackground(true);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, Qt::white);
    box->setPalette(palette);
    ScrollBox1->setWidget(box);
    ScrollBox1->setWidgetResizable(true);
    ScrollBox1->setPalette(palette);
    ScrollBox1->setAccessibleName("Barcode area");
    ScrollBox1->setAccessibleDescription(
        "Shows the barcode; the arrow keys scroll it when it is larger than the window");
    ScrollBox1->horizontalScrollBar()->setAccessibleName("Scroll the barcode sideways");
    ScrollBox1->verticalScrollBar()->setAccessibleName("Scroll the barcode up and down");
    setCentralWidget(ScrollBox1);
    Barcode1 = new TBarcode(box);
    Barcode1->move(35, 32);
    Barcode1->resize(116, 83);
    Barcode1->SetBar_Caption("4711");
    Barcode1->SetBar_CodeType(btCodeTypes::UPC_A);
    Barcode1->SetBar_Fontname("Arial");
    Barcode1->SetBar_HighDensity(false);
    Barcode1->SetBar_ModuleWidth(btCodeSizes::SC2);
    Barcode1->SetBar_Ratio(btCodeRatio::Ratio_2);
    Barcode1->SetBar_WidthReduce(false);
    Barcode1->SetBar_ZoomSize(false);
    Barcode1->installEventFilter(this);
    ShowAsPicture(Barcode1);
}

void TForm1::BuildStatusBar() {
    auto* status = new QStatusBar(this);
    status->setFont(ArialPixels(11));
    status->setFixedHeight(19);
    status->setAccessibleName("Status");
    if (auto* grip = status->findChild<QSizeGrip*>()) grip->setAccessibleName("Resize the window");
    setStatusBar(status);
}

void TForm1::ConnectFields() {
    // The program sets a field's text: its change event runs (an equal text fires nothing).
    connect(Edit1, &QLineEdit::textChanged, this, [this] { FieldChanged(&TForm1::Edit1Change); });
    connect(Edit2, &QLineEdit::textChanged, this, [this] { FieldChanged(&TForm1::Edit2Change); });
    Edit1->installEventFilter(this);
    // Typing starts in the text field: it leads the tab order, the lists follow the fields.
    // (Set once every widget of the window is there: the chain is complete.)
    setTabOrder(Edit2, ComboBox2);
    setTabOrder(ComboBox2, ComboBox1);
}

void TForm1::BuildToolBars() {
    BuildCommandBar();
    ConnectLists();
    addToolBarBreak();
    BuildTextBar();
}

// The first toolbar: the command buttons, then the font and type lists.
void TForm1::BuildCommandBar() {
    // The title names the toolbar to a screen reader and in the window's toolbar menu.
    QToolBar* bar1 = AddFixedToolBar(this, "Commands and lists", "ToolBar1");
    bar1->setIconSize(QSize(16, 16));
    bar1->setFixedHeight(26);
    NameOverflowButton(bar1);
    bar1->addSeparator();
    struct TTool {
        TToolImage image;
        const char* hint;
        void (TForm1::*handler)();
        QAction* TForm1::*button;
    };
    const TTool tools[] = {
        {TToolImage::Save, "Save barcode to file", &TForm1::Button2Click, &TForm1::ToolButton2},
        {TToolImage::Copy, "Copy", &TForm1::Button3Click, &TForm1::ToolButton3},
        {TToolImage::Rotate, "Rotate barcode 90 degrees", &TForm1::Button6Click,
         &TForm1::ToolButton5},
        {TToolImage::Help, "Varimark Help", &TForm1::ToolButton6Click, &TForm1::ToolButton6},
    };
    for (const TTool& tool : tools) {
        QAction* action = bar1->addAction(ToolImage(tool.image), tool.hint);
        action->setToolTip(tool.hint);
        bar1->widgetForAction(action)->setAccessibleName(tool.hint);
        connect(action, &QAction::triggered, this,
                [this, handler = tool.handler] { Handle([&] { (this->*handler)(); }); });
        this->*tool.button = action;
    }
    bar1->addSeparator();

    ComboBox2 = AddList(bar1, 118, "List of available fonts", "Fonts", "Font");
    ComboBox1 = AddList(bar1, 143, "Select a barcode type", "Barcode Types", "Barcode type");
    ComboBox1->installEventFilter(this);
    bar1->addSeparator();
}

// Choosing an entry: the click event, then the change event (the font list handles both);
// typing fires the change event once per edit and leaves no entry selected.
void TForm1::ConnectLists() {
    connect(ComboBox1, &QComboBox::activated, this, [this](int index) {
        typeIndex_ = index;
        Handle([&] { ComboBox1Change(); });
    });
    connect(ComboBox1->lineEdit(), &QLineEdit::textEdited, this, [this] {
        typeIndex_ = -1;
        Handle([&] { ComboBox1Change(); });
    });
    connect(ComboBox2, &QComboBox::activated, this, [this] {
        Handle([&] { ComboBox2Change(); });
        Handle([&] { ComboBox2Change(); });
    });
    connect(ComboBox2->lineEdit(), &QLineEdit::textEdited, this,
            [this] { Handle([&] { ComboBox2Change(); }); });
}

// The second toolbar: the text and add-on fields.
void TForm1::BuildTextBar() {
    QToolBar* bar2 = AddFixedToolBar(this, "Text and add-on", "ToolBar2");
    NameOverflowButton(bar2);
    bar2->addSeparator();
    Edit1 = new TLimitedEdit(bar2);
    Edit1->setFixedWidth(305);
    Edit1->setFont(ArialPixels(12));
    Edit1->SetMaxLength(50);
    Edit1->setToolTip("Enter Barcode Symbology");
    Edit1->setText("01234567890");
    bar2->addWidget(Edit1);
    Edit1->setAccessibleName("Barcode text");
    Edit1->setAccessibleDescription(
        "The text the barcode encodes; typing its last character moves on to the add-on digits");
    SpokenLabel(Edit1, "Barcode text");
    Edit2 = new TLimitedEdit(bar2);
    Edit2->setFixedWidth(55);
    Edit2->setFont(ArialPixels(12));
    Edit2->SetMaxLength(5);
    Edit2->setToolTip("2 or 5 digit Addon");
    bar2->addWidget(Edit2);
    Edit2->setAccessibleName("Add-on digits");
    Edit2->setAccessibleDescription("2 or 5 digits printed beside an EAN-13 or UPC-A barcode");
    SpokenLabel(Edit2, "Add-on digits");
    bar2->addSeparator();
}

QAction* TForm1::AddMenuItem(QMenu* menu, const char* caption, void (TForm1::*handler)()) {
    QAction* action = menu->addAction(caption);
    connect(action, &QAction::triggered, this,
            [this, handler] { Handle([&] { (this->*handler)(); }); });
    return action;
}

QAction* TForm1::AddMenuSwitch(QMenu* menu, const char* caption, void (TForm1::*handler)(),
                               bool checked) {
    QAction* action = menu->addAction(caption);
    action->setCheckable(true);
    action->setChecked(checked);
    connect(action, &QAction::triggered, this, [this, action, handler](bool now) {
        action->setChecked(!now); // undo the action's own flip
        Handle([&] { (this->*handler)(); });
    });
    return action;
}

void TForm1::AddRadioMenu(QMenu* parent, const char* title, std::span<const char* const> captions,
                          void (TForm1::*handler)(int), QAction** items) {
    QMenu* menu = parent->addMenu(title);
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    for (int i = 0; i < static_cast<int>(captions.size()); ++i) {
        QAction* action = menu->addAction(captions[static_cast<std::size_t>(i)]);
        action->setCheckable(true);
        action->setActionGroup(group);
        connect(action, &QAction::triggered, this,
                [this, handler, i] { Handle([&] { (this->*handler)(i); }); });
        items[i] = action;
    }
    items[0]->setChecked(true);
}

void TForm1::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    N1 = AddMenuItem(file, "&Save Barcode to File", &TForm1::Button2Click);
    Exit1 = AddMenuItem(file, "E&xit", &TForm1::Exit1Click);
    // The keys of every desktop.
    N1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    BuildBarcodeMenu(menuBar()->addMenu("&Barcode"));

    QMenu* help = menuBar()->addMenu("&Help");
    HelpIndex1 = AddMenuItem(help, "Hel&p Contents", &TForm1::HelpIndex1Click);
    HelpIndex1->setShortcut(QKeySequence(Qt::Key_F1));
    AboutVarimark1 = AddMenuItem(help, "A&bout Varimark", &TForm1::AboutVarimark1Click);

    // A screen reader names an open menu by its title; its items speak their own captions.
    menuBar()->setAccessibleName("Menu bar");
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        QString title = menu->title();
        menu->setAccessibleName(title.remove('&'));
    }
}

void TForm1::BuildBarcodeMenu(QMenu* barcode) {
    SaveBarcode1 = AddMenuItem(barcode, "Sa&ve", &TForm1::Button2Click);
    Copy1 = AddMenuItem(barcode, "C&opy", &TForm1::Button3Click);
    Rotate90Degrees1 = AddMenuItem(barcode, "&Rotate 90 Degrees", &TForm1::Button6Click);
    // The two switches flip their own check marks in their handlers.
    HumanReadable1 = AddMenuSwitch(barcode, "H&uman Readable", &TForm1::HumanReadable1Click, true);

    static const char* const kFactors[6] = {" &1 X", " &2 X", " &3 X", " &4 X", " &5 X", "1&0 X"};
    static const char* const kPercentCaptions[9] = {"100%", " 90%", " 80%", " 70%", " 60%",
                                                    " 50%", " 40%", " 30%", " 20%"};
    AddRadioMenu(barcode, "&Save Size", kFactors, &TForm1::SaveSizeClick, SaveSizeItems.data());
    QFont bold = SaveSizeItems[0]->font();
    bold.setBold(true);
    SaveSizeItems[0]->setFont(bold); // the default item
    AddRadioMenu(barcode, "B&ar Height", kPercentCaptions, &TForm1::BarHeightClick,
                 BarHeightItems.data());
    AddRadioMenu(barcode, "Font &Height", kPercentCaptions, &TForm1::FontHeightClick,
                 FontHeightItems.data());
    Zoom1 = AddMenuSwitch(barcode, "&Zoom", &TForm1::Zoom1Click, false);
    QuietZones1 = AddMenuSwitch(barcode, "&Quiet zones", &TForm1::QuietZones1Click, false);
}

// --- Settings

QString TForm1::ReadSetting(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    if (batch_) return batch_->Read(section, key, defaultValue);
    return ReadProfileString(section, key, defaultValue, settings_.readFile);
}

namespace {

// Reads the settings file once for the reads of a handler and what it runs; the outermost
// reader is the one used, and it ends with the handler that made it.
class TReadBatch {
public:
    TReadBatch(std::optional<varimark::ProfileReader>& batch, const QString& fileName)
        : batch_(batch), owner_(!batch) {
        if (owner_) batch_.emplace(fileName);
    }
    ~TReadBatch() {
        if (owner_) batch_.reset();
    }
    TReadBatch(const TReadBatch&) = delete;
    TReadBatch& operator=(const TReadBatch&) = delete;

private:
    std::optional<varimark::ProfileReader>& batch_;
    bool owner_;
};

} // namespace

void TForm1::WriteSetting(const QString& section, const QString& key, const QString& value) const {
    if (!WriteProfileString(section, key, value, settings_.writeFile))
        throw std::runtime_error("Unable to write to " + settings_.writeFile.toStdString());
}

void TForm1::SetFieldText(TLimitedEdit* edit, const QString& text) {
    edit->setText(text);
    if (pendingError_) std::rethrow_exception(std::exchange(pendingError_, nullptr));
}

void TForm1::FieldChanged(void (TForm1::*handler)()) {
    try {
        (this->*handler)();
    } catch (const std::exception& e) {
        // Never through Qt's own frames: during start-up the caller raises it afterwards.
        if (starting_)
            pendingError_ = std::current_exception();
        else
            TVarimarkApplication::ShowError(QString::fromStdString(e.what()));
    }
}

// --- Creation and internal commands

void TForm1::FormCreate() {
    helpFile_ = varimark::FindHelpFile(programFolder_);
    const TReadBatch batch(batch_, settings_.readFile);
    // A settings file that cannot be read reads as defaults; when it is also the written file
    // the first write reports it, else it is reported once the window is set up.
    const bool unreadable = batch_->Refused() && settings_.readFile != settings_.writeFile;
    if (wait_) wait_();
    Barcode1->SetBar_Caption(Edit1->text());
    Barcode1->SetBar_CodeAddon(Edit2->text());

    QStringList families = QFontDatabase::families();
    std::sort(families.begin(), families.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    ComboBox2->addItem("Default");
    ComboBox2->addItems(families);
    ComboBox2->setEditText(ReadSetting("varimark", "font", "Arial"));
    Barcode1->SetBar_Fontname(ComboBox2->currentText());

    const QString listText = ComboBox1->currentText();
    for (const char* caption : kTypeCaptions) ComboBox1->addItem(caption);
    ComboBox1->setEditText(listText); // adding entries selects none
    const int stored = TextToInt(ReadSetting("varimark", "bctype", "2"));
    if (stored >= 0 && stored < 14) {
        typeIndex_ = stored;
        ComboBox1->setCurrentIndex(stored);
    }
    lblType = QString::number(typeIndex_);
    Button4Click();
    btnLoadIniClick();
    if (unreadable) throw std::runtime_error("Unable to read " + settings_.readFile.toStdString());
}

void TForm1::Button4Click() {
    const int index = TextToInt(lblType);
    Barcode1->SetBar_CodeType(index >= 0 && index < 14 ? kListTypes[index] : btCodeTypes::UPC_A);
    switch (Barcode1->Bar_CodeType()) {
    case btCodeTypes::EAN_8: Edit1->SetMaxLength(7); break;
    case btCodeTypes::EAN_13: Edit1->SetMaxLength(12); break;
    case btCodeTypes::UPC_A: Edit1->SetMaxLength(11); break;
    case btCodeTypes::UPC_E: Edit1->SetMaxLength(6); break;
    // Code 39 and the types whose length the symbology leaves open: the most the control takes.
    case btCodeTypes::CODE39:
    case btCodeTypes::CODE25i:
    case btCodeTypes::Codabar:
    case btCodeTypes::CODE128_A:
    case btCodeTypes::CODE128_B:
    case btCodeTypes::CODE128_C:
    case btCodeTypes::MSI_Plessey: Edit1->SetMaxLength(50); break;
    default: break;
    }
    const QString text = ComboBox1->currentText();
    if (text == "Postnet 5-digit") Edit1->SetMaxLength(5);
    if (text == "Postnet 9-digit") Edit1->SetMaxLength(9);
    if (text == "Postnet 11-digit") Edit1->SetMaxLength(11);
    WriteSetting("Varimark", "bctype", lblType);
}

void TForm1::btnLoadIniClick() {
    const TReadBatch batch(batch_, settings_.readFile);
    SetFieldText(Edit1, ReadSetting("varimark", lblType, ""));
    const QString list = ComboBox1->currentText();
    if (list == "Code EAN-13") {
        SetFieldText(Edit2, ReadSetting("addon", "Ean13", ""));
    } else if (list == "Code UPC-A") {
        SetFieldText(Edit2, ReadSetting("addon", "UPCA", ""));
    } else if (std::find(kTypeCaptions.begin(), kTypeCaptions.end(), list) != kTypeCaptions.end()) {
        SetFieldText(Edit2, "");
    }

    lblsaveRatio = ReadSetting("varimark", "sratio", "1");
    const int factor = TextToInt(lblsaveRatio);
    const int* found = std::find(std::begin(kSaveFactors), std::end(kSaveFactors), factor);
    SaveSizeClick(found == std::end(kSaveFactors) ? 0 : static_cast<int>(found - kSaveFactors));

    const QString human = ReadSetting("varimark", "humanread", "True");
    if (human == "True" || human == "False") {
        Barcode1->SetBar_HumanReadable(human == "True");
        HumanReadable1->setChecked(human == "True");
    }
    const QString zoom = ReadSetting("varimark", "zoom", "SC2");
    if (zoom == "SC2" || zoom == "SC9") {
        Barcode1->SetBar_ModuleWidth(zoom == "SC9" ? btCodeSizes::SC9 : btCodeSizes::SC2);
        Zoom1->setChecked(zoom == "SC9");
    }
    const int bar = TextToInt(ReadSetting("varimark", "barheight", "100"));
    Barcode1->SetBar_HeightPercent(bar);
    BarHeightItems[HeightItem(bar)]->setChecked(true);
    const int font = TextToInt(ReadSetting("varimark", "fontheight", "100"));
    Barcode1->SetBar_Fontscaling(font);
    FontHeightItems[HeightItem(font)]->setChecked(true);
    LoadQuietZones();
}

void TForm1::btnWriteIniClick() {
    WriteSetting("Varimark", lblType, Edit1->text());
}
void TForm1::btnBarHeightClick() {
    WriteSetting("Varimark", "barheight", lblBarHeight);
}
void TForm1::btnFontScaleClick() {
    WriteSetting("Varimark", "fontheight", lblFontScale);
}

TDrawFunction TForm1::Drawer() {
    return [this](TSurface& surface, int x, int y) {
        TDrawnSize size;
        Barcode1->DrawAt(surface, x, y, &size);
        return size;
    };
}

void TForm1::Button1Click() {
    TBarcode printed(this);
    printed.hide();
    printed.SetBar_CodeType(Barcode1->Bar_CodeType());
    printed.SetBar_Caption(Barcode1->Bar_Caption());
    printed.SetBar_ModuleWidth(Barcode1->Bar_ModuleWidth());
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) throw std::runtime_error("There is no default printer currently selected");
    QPrinter printer(info, QPrinter::HighResolution);
    QPainter page;
    if (!page.begin(&printer)) throw std::runtime_error("Printing could not be started");
    TQtSurface surface(page, printer.logicalDpiX(), printer.logicalDpiY());
    printed.LoMetricPrint(surface, 200, 200);
    page.end();
}

QString TForm1::SaveDialog() {
    QFileDialog dialog(this, "Save Varimark as...");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // Each caption is shown as written; the pattern after it (hidden) is what the list filters.
    dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog |
                      QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({"Windows Bitmap (*.BMP) (*.bmp)", "Compuserve Gif (*.GIF) (*.gif)",
                           "TIFF 6.0 (*.TIF) (*.tif)", "Enhanced Metafile (*.EMF) (*.emf)",
                           "JPEG (*.JPG) (*.jpg)", "PNG (*.PNG) (*.png)", "SVG (*.SVG) (*.svg)",
                           "PDF (*.PDF) (*.pdf)"});
    QString suffix = SaveDialogDefaultExt;
    if (suffix.startsWith('.')) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!SaveDialogFileName.isEmpty()) dialog.selectFile(SaveDialogFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

void TForm1::Button2Click() {
    const int factor = TextToInt(lblsaveRatio); // before the dialog opens
    const QString name = ChooseSaveFileName ? ChooseSaveFileName() : SaveDialog();
    if (name.isEmpty()) return;
    SaveDialogDefaultExt = QString::fromStdString(LowerExtension(name.toStdString()));
    SaveDialogFileName = name;
    SavePicture(name, factor);
}

void TForm1::Button3Click() {
    Barcode1->CopyToClipboard(OutputMargin());
}

void TForm1::Button5Click() {
    close();
    QCoreApplication::quit();
}

void TForm1::Button6Click() {
    static constexpr btCodeRotate kNext[4] = {btCodeRotate::rotate_270, btCodeRotate::rotate_000,
                                              btCodeRotate::rotate_090, btCodeRotate::rotate_180};
    Barcode1->SetBar_Rotation(kNext[static_cast<int>(Barcode1->Bar_Rotation()) & 3]);
}

// --- Events

void TForm1::Edit1Change() {
    Barcode1->SetBar_Caption(Edit1->text());
    btnWriteIniClick();
}

// Typing the character that fills the field moves on to the add-on field; any other key
// (moving, selecting, deleting, Tab, a modifier) leaves the focus where the user put it, so
// a full text can still be edited from the keyboard.
void TForm1::Edit1KeyUp(const QKeyEvent& key) {
    if (Edit1->TakeFilledBy(key) && Edit1->text().size() == Edit1->MaxLength()) Edit2->setFocus();
}

void TForm1::Edit2Change() {
    Barcode1->SetBar_CodeAddon(Edit2->text());
    const QString list = ComboBox1->currentText();
    if (list == "Code EAN-13") WriteSetting("Addon", "Ean13", Edit2->text());
    if (list == "Code UPC-A") WriteSetting("Addon", "UPCA", Edit2->text());
}

void TForm1::ComboBox1Change() {
    lblType = QString::number(typeIndex_);
    Button4Click();
    Edit1->setFocus();
    btnLoadIniClick();
}

void TForm1::ComboBox2Change() {
    Barcode1->SetBar_Fontname(ComboBox2->currentText());
    WriteSetting("Varimark", "font", ComboBox2->currentText());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::KeyRelease)
        Handle([&] { Edit1KeyUp(*static_cast<QKeyEvent*>(event)); });
    // An arrow key opens the closed type list instead of stepping to the next entry: a chosen
    // type moves the focus on to the text field, so stepping would leave the list at once.
    if (watched == ComboBox1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                      key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown)) {
            ComboBox1->showPopup();
            return true;
        }
    }
    if (watched == Barcode1 && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        ScrollBox1->widget()->setMinimumSize(Barcode1->geometry().right() + 1,
                                             Barcode1->geometry().bottom() + 1);
    return QMainWindow::eventFilter(watched, event);
}

// --- Menu commands

void TForm1::HumanReadable1Click() {
    HumanReadable1->setChecked(!HumanReadable1->isChecked());
    Barcode1->SetBar_HumanReadable(HumanReadable1->isChecked());
    WriteSetting("Varimark", "humanread", Barcode1->Bar_HumanReadable() ? "True" : "False");
}

void TForm1::Zoom1Click() {
    Zoom1->setChecked(!Zoom1->isChecked());
    Barcode1->SetBar_ModuleWidth(Zoom1->isChecked() ? btCodeSizes::SC9 : btCodeSizes::SC2);
    WriteSetting("Varimark", "zoom",
                 Barcode1->Bar_ModuleWidth() == btCodeSizes::SC9 ? "SC9" : "SC2");
}

void TForm1::SaveSizeClick(int item) {
    SaveSizeItems[static_cast<std::size_t>(item)]->setChecked(true);
    lblsaveRatio = QString::number(kSaveFactors[item]);
    WriteSetting("Varimark", "sratio", lblsaveRatio);
    RequestStatusGrade();
}

void TForm1::BarHeightClick(int item) {
    BarHeightItems[static_cast<std::size_t>(item)]->setChecked(true);
    Barcode1->SetBar_HeightPercent(kPercents[item]);
    lblBarHeight = QString::number(Barcode1->Bar_HeightPercent());
    btnBarHeightClick();
}

void TForm1::FontHeightClick(int item) {
    FontHeightItems[static_cast<std::size_t>(item)]->setChecked(true);
    Barcode1->SetBar_Fontscaling(kPercents[item]);
    lblFontScale = QString::number(Barcode1->Bar_Fontscaling());
    btnFontScaleClick();
}

// Both help commands show the help file found now (it may have been installed meanwhile),
// whatever the current folder.
void TForm1::HelpIndex1Click() {
    helpFile_ = varimark::FindHelpFile(programFolder_);
    helpWindow_->ShowContents(helpFile_);
}

void TForm1::ToolButton6Click() {
    HelpIndex1Click();
}

void TForm1::AboutVarimark1Click() {
    if (aboutBox_ != nullptr) aboutBox_->exec();
}

// --- Quiet zones, the status line's grade and PDF

// Pictures are laid out at the screen's logical resolution (module widths from millimetres
// at that many dots per inch), as the barcode on the screen is, and the files state no
// resolution of their own: a viewer or a layout program takes their pixels at the screen's
// resolution, so that is also where the status line grades them and measures X. 96 when
// the screen states none: the desktops' own default.
int TForm1::PictureDpi() const {
    const int dpi = Barcode1->logicalDpiY();
    return dpi > 0 ? dpi : kScreenDpi;
}

int TForm1::OutputMargin() const {
    return SaveMargin(Barcode1->Engine(), PictureDpi(), QuietZones1->isChecked());
}

void TForm1::SavePicture(const QString& name, int factor) {
    const std::string file = name.toStdString();
    const int dpi = PictureDpi();
    if (LowerExtension(file) == ".pdf") {
        // Vector bars, and no date: the same barcode gives the same file.
        WriteFileReplacing(file, BarcodePdfBytes(Drawer(), OutputMargin(), factor, dpi, {}));
        return;
    }
    if (!PictureTypeOf(file))
        throw EUnsupportedFileType("Unsupported file type \"" + LowerExtension(file) +
                                   "\": use .bmp, .gif, .tif, .jpg, .emf, .png, .svg or .pdf");
    SaveBarcodePicture(Drawer(), OutputMargin(), factor, dpi, file);
}

void TForm1::QuietZones1Click() {
    QuietZones1->setChecked(!QuietZones1->isChecked());
    RequestStatusGrade();
    WriteSetting("Varimark", "quietzones", QuietZones1->isChecked() ? "True" : "False");
}

// "True" or "False" as stored; anything else changes nothing.
void TForm1::LoadQuietZones() {
    const QString quiet = ReadSetting("varimark", "quietzones", "False");
    if (quiet == "True" || quiet == "False") QuietZones1->setChecked(quiet == "True");
    RequestStatusGrade();
}

void TForm1::BuildStatusGrade() {
    StatusGrade1 = new QLabel(statusBar());
    StatusGrade1->setObjectName("StatusGrade1");
    StatusGrade1->setAccessibleDescription("Print quality of the picture Save writes");
    statusBar()->addWidget(StatusGrade1, 1);
    statusGrade_ = std::make_unique<TStatusGrade>(StatusGrade1, [this] { return GradeRequest(); });
    Barcode1->SetOnWritten([this] { RequestStatusGrade(); });
    RequestStatusGrade();
}

void TForm1::RequestStatusGrade() {
    if (statusGrade_) statusGrade_->Schedule();
}

TGradeRequest TForm1::GradeRequest() const {
    return {Barcode1->Engine(), TextToInt(lblsaveRatio), QuietZones1->isChecked(), PictureDpi()};
}

} // namespace varimark
