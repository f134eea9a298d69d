// The records window: its controls at their places, the grid, the scale labels, the refresh,
// the energy scaling and the grid's pop-up menu.

#include "window/records/trecord.h"

#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QStyleFactory>
#include <QTableView>

#include "core/recordsio/energy_scaling.h"
#include "core/recordsio/record_grid.h"
#include "window/mainwindow/clickable_label.h"
#include "window/mainwindow/tsdf.h"
#include "window/mainwindow/widget_style.h"
#include "window/records/record_cell_delegate.h"
#include "window/records/record_table_model.h"

namespace tev {

namespace {

constexpr Rgb kGridBackground{235, 234, 209};
constexpr int kFormFontHeight = 11;
constexpr int kButtonFontHeight = 12;
constexpr int kScaleFontHeight = 13;
constexpr int kGridFontHeight = 15;
constexpr int kColumnWidth = 53;
constexpr int kRowHeight = 22;

constexpr int kScaleToneHz = 1600;
constexpr int kScaleToneMs = 150;
constexpr int kWhDivToneHz = 1400;
constexpr int kKwhMulToneHz = 1600;
constexpr int kScalingToneMs = 200;

struct ScaleLabelPlace {
    const char* name;
    const char* caption;
    QRect geometry;
};

constexpr std::array<ScaleLabelPlace, kScaleCount> kScaleLabels = {{
    {"min_l", "Min 一分鐘", {429, 15, 73, 16}},
    {"m5_l", "5Min 五分", {507, 15, 64, 16}},
    {"m10_l", "10Min 十分", {574, 15, 71, 16}},
    {"hour_l", "Hour 小時", {650, 15, 63, 16}},
    {"day_l", "Day 日 ", {720, 15, 47, 16}},
    {"week_l", "Week 周 ", {772, 15, 58, 16}},
    {"month_l", "Month 月 ", {834, 15, 60, 16}},
}};

QPushButton* makeFlatButton(QWidget* parent, const char* name, QRect geometry, const char* caption,
                            Rgb colour) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFont(pixelFont("Arial", kButtonFontHeight));
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    setTextColour(button, colour);
    return button;
}

ClickableLabel* makeLabel(QWidget* parent, const char* name, QRect geometry, const char* caption,
                          const QFont& font, Rgb colour) {
    auto* label = new ClickableLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label, colour);
    // As on the about windows, a label sizes itself to its caption: where the substituted font
    // is wider than the form's, the label grows to the right instead of cutting its text. The
    // form's width stays the least.
    const int needed = label->fontMetrics().horizontalAdvance(label->text().trimmed());
    if (needed > geometry.width()) label->resize(needed, geometry.height());
    return label;
}

}  // namespace

TRecord::TRecord(Tsdf& sdf, QWidget* parent) : QWidget(parent), sdf_(sdf) {
    setObjectName("Record");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // The records window closes to hidden; the program ends with the main window alone.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QString::fromUtf8("Records 資料管理"));
    setFont(pixelFont("MS Sans Serif", kFormFontHeight));
    setFixedSize(kClientWidth, kClientHeight);
    setBackgroundColour(this, kFormBackground);
    move(kInitialLeft, kInitialTop);
    buildControls();
    buildPopupMenu();
    FormCreate();
}

TRecord::~TRecord() = default;

void TRecord::buildControls() {
    TRecordControls& k = controls_;
    k.input_b = makeFlatButton(this, "input_b", {7, 13, 90, 22}, "Input 讀入檔案", kFormBlue);
    const QFont formFont = pixelFont("MS Sans Serif", kFormFontHeight);
    k.wh_div = makeLabel(this, "wh_div", {106, 16, 52, 13}, "Wh /1000 ", formFont, kFormAqua);
    k.wh_div->setToolTip("Divided all data /1000 to KW/hr");
    k.kwh_mul = makeLabel(this, "kwh_mul", {165, 16, 59, 13}, "KWh x1000 ", formFont, kFormAqua);
    k.kwh_mul->setToolTip("Upscale all data x1000 to Watt/hr");
    k.output_b =
        makeFlatButton(this, "output_b", {257, 13, 90, 22}, "Output 輸出檔案", kFormMaroon);

    const QFont scaleFont = pixelFont("Arial", kScaleFontHeight);
    for (int i = 0; i < kScaleCount; ++i) {
        const ScaleLabelPlace& place = kScaleLabels[i];
        ClickableLabel* label =
            makeLabel(this, place.name, place.geometry, place.caption, scaleFont, kFormGrey);
        setBackgroundColour(label, kFormBlack);
        const TimeScale scale = scaleAt(i);
        connect(label, &ClickableLabel::clicked, this, [this, scale] { scaleLabelClick(scale); });
        k.scales[i] = label;
    }
    k.update_b = makeFlatButton(this, "update_b", {909, 12, 80, 22}, "Update 更新", kFormBlue);

    model_ = new RecordTableModel(this);
    k.sg = new QTableView(this);
    k.sg->setObjectName("sg");
    k.sg->setGeometry(2, 44, 999, 713);
    k.sg->setModel(model_);
    k.sg->setItemDelegate(new RecordCellDelegate(k.sg));
    // The plain Windows look of a string grid; it also spares every cell the colour work the
    // Fusion style does for each row panel it draws.
    if (QStyle* plain = QStyleFactory::create("Windows")) {
        plain->setParent(k.sg);
        k.sg->setStyle(plain);
    }
    k.sg->setFont(pixelFont("Arial", kGridFontHeight));
    setBackgroundColour(k.sg, kGridBackground);
    setTextColour(k.sg, kFormBlue);
    k.sg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    k.sg->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    k.sg->setEditTriggers(QAbstractItemView::NoEditTriggers);
    k.sg->setWordWrap(false);
    k.sg->setTextElideMode(Qt::ElideNone);
    k.sg->setCornerButtonEnabled(false);
    k.sg->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* rows = k.sg->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    // The header row of the grid stays in place while the rows scroll.
    QHeaderView* columns = k.sg->horizontalHeader();
    columns->setMinimumSectionSize(1);
    columns->setDefaultSectionSize(kColumnWidth);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setFixedHeight(kRowHeight);
    columns->setFont(pixelFont("Arial", kGridFontHeight));
    columns->setStyleSheet(
        "QHeaderView::section { background-color: rgb(240,240,240); color: rgb(0,0,255);"
        " border: none; border-right: 1px solid rgb(160,160,160);"
        " border-bottom: 1px solid rgb(160,160,160); padding-left: 2px; }");

    connect(k.input_b, &QPushButton::clicked, this, &TRecord::input_bClick);
    connect(k.output_b, &QPushButton::clicked, this, &TRecord::output_bClick);
    connect(k.update_b, &QPushButton::clicked, this, &TRecord::update_bClick);
    connect(k.wh_div, &ClickableLabel::clicked, this, &TRecord::wh_divClick);
    connect(k.kwh_mul, &ClickableLabel::clicked, this, &TRecord::kwh_mulClick);
    connect(k.sg, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popup_.PopupMenu->popup(controls_.sg->viewport()->mapToGlobal(at));
    });
}

void TRecord::buildPopupMenu() {
    TRecordPopup& p = popup_;
    p.PopupMenu = new QMenu(this);
    p.PopupMenu->setObjectName("PopupMenu");
    p.N11 = p.PopupMenu->addAction(QString::fromUtf8("Insert 插入"));
    p.N11->setObjectName("N11");
    p.PopupMenu->addSeparator()->setObjectName("N1");
    p.Monify1 = p.PopupMenu->addAction(QString::fromUtf8("Monify 修改"));
    p.Monify1->setObjectName("Monify1");
    p.PopupMenu->addSeparator()->setObjectName("N21");
    p.N31 = p.PopupMenu->addAction(QString::fromUtf8("Delete 刪除"));
    p.N31->setObjectName("N31");
    connect(p.N11, &QAction::triggered, this, &TRecord::N11Click);
    connect(p.N31, &QAction::triggered, this, &TRecord::N31Click);
}

// The header texts of row 0; its first cell stays empty until the first refresh.
void TRecord::FormCreate() {
    model_->setGrid(RecordGrid());
}

void TRecord::min_lClick() {
    scaleLabelClick(TimeScale::Min);
}
void TRecord::m5_lClick() {
    scaleLabelClick(TimeScale::M5);
}
void TRecord::m10_lClick() {
    scaleLabelClick(TimeScale::M10);
}
void TRecord::hour_lClick() {
    scaleLabelClick(TimeScale::Hour);
}
void TRecord::day_lClick() {
    scaleLabelClick(TimeScale::Day);
}
void TRecord::week_lClick() {
    scaleLabelClick(TimeScale::Week);
}
void TRecord::month_lClick() {
    scaleLabelClick(TimeScale::Month);
}

void TRecord::scaleLabelClick(TimeScale scale) {
    beep(kScaleToneHz, kScaleToneMs);
    recordScale_ = static_cast<int>(scale);
    for (int i = 0; i < kScaleCount; ++i)
        setTextColour(controls_.scales[i], scaleAt(i) == scale ? kFormAqua : kFormGrey);
    update_bClick();
}

// The grid shows the table as it stands now and keeps showing it until the next refresh.
void TRecord::update_bClick() {
    if (!isValidScale(recordScale_)) return;
    model_->setGrid(RecordGrid(sdf_.store().table(static_cast<TimeScale>(recordScale_))));
}

void TRecord::wh_divClick() {
    scaleEnergyBy(kWhToKWhFactor, kWhDivToneHz);
}

void TRecord::kwh_mulClick() {
    scaleEnergyBy(kKWhToWhFactor, kKwhMulToneHz);
}

void TRecord::scaleEnergyBy(double factor, int toneHz) {
    if (scaleEnergy(sdf_.store(), factor)) sdf_.requestRepaint();
    update_bClick();
    beep(toneHz, kScalingToneMs);
}

// Row editing is offered in the pop-up but the records are never edited by hand.
void TRecord::N11Click() {}
void TRecord::N31Click() {}

void TRecord::beep(int frequencyHz, int durationMs) {
    if (ToneSink* tones = sdf_.seams().tones) tones->beep(frequencyHz, durationMs);
}

void TRecord::log(std::string line) {
    sdf_.eventLog().append(std::move(line));
}

std::string TRecord::workingDirectory() const {
    const std::string& configured = sdf_.seams().workingDirectory;
    return configured.empty() ? QDir::currentPath().toStdString() : configured;
}

}  // namespace tev
