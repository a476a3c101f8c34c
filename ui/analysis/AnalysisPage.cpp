#include "ui/analysis/AnalysisPage.h"

#include "ui/analysis/TableView.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/FrameMarks.h"
#include "ui/shell/Messages.h"
#include "ui/shell/Settings.h"
#include "widgets/chart/Chart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

using analysis::TQuantity;

struct TQuantityChoice {
    TQuantity Quantity;
    const char* Caption; // on the controls and as an axis title
};

// The six, in the chart's series order, in their own units.
constexpr TQuantityChoice AxisChoices[] = {
    {TQuantity::Speed, "Обороты, об/мин"},
    {TQuantity::Map, "ДАД"},
    {TQuantity::Curve, "Номер кривой"},
    {TQuantity::Temperature, "Температура"},
    {TQuantity::Octane, "ОК"},
    {TQuantity::Advance, "УОЗ, °"},
};
constexpr TQuantityChoice ColourChoices[] = {
    {TQuantity::Map, "ДАД"},
    {TQuantity::Curve, "Номер кривой"},
    {TQuantity::Temperature, "Температура"},
    {TQuantity::Octane, "ОК"},
    {TQuantity::Speed, "Обороты, об/мин"},
    {TQuantity::Advance, "УОЗ, °"},
    {TQuantity::Frame, "Номер кадра"},
};
constexpr char NoColour[] = "Нет";
constexpr char NoRange[] = "Нет";
constexpr char DeviationCaption[] = "Отклонение УОЗ от кривой, °";

// An automatic speed axis ends here at most: a frame garbled into a period of a few ticks
// reads as millions of об/мин and would squeeze every real frame into the axis' first pixel.
constexpr double HighestAutomaticSpeed = 15000;
// Share of an automatic axis' range left free at each end, so that no frame lies under the
// plot's frame.
constexpr double AxisPadding = 0.03;
// How far from the pointer a click still finds a frame, in pixels.
constexpr double ClickRadius = 24;
constexpr int RefreshMilliseconds = 100;

constexpr char CurveFilter[] = "Кривые CSV *.csv|*.csv|";

QString CaptionOf(TQuantity q) {
    if (q == TQuantity::Deviation)
        return DeviationCaption;
    for (const TQuantityChoice& c : ColourChoices)
        if (c.Quantity == q)
            return QString::fromUtf8(c.Caption);
    return {};
}

// A number typed by the user, with a point or a comma for the decimals; none for an empty
// text; NaN for a text that is no number.
std::optional<double> TypedNumber(const QString& text) {
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    t.replace(',', '.');
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok && std::isfinite(v) ? v : std::numeric_limits<double>::quiet_NaN();
}

std::filesystem::path NativePath(const QString& path) {
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(path.toStdString());
#endif
}

// The page's numbers stand in Russian texts, as the status line's do, whatever the system's
// language: "4 767 из 50 351 (9,5 %)", never "4,767", which reads as a fraction.
QLocale PageLocale() {
    return QLocale(QLocale::Russian);
}

QString NumberText(double v) {
    return PageLocale().toString(v, 'g', 6);
}

std::optional<chart::TExtent> Padded(std::optional<analysis::TValueExtent> e, TQuantity q) {
    if (!e)
        return std::nullopt;
    double low = e->Minimum, high = e->Maximum;
    if (q == TQuantity::Speed)
        high = std::min(high, std::max(low, HighestAutomaticSpeed));
    const double pad = high > low ? (high - low) * AxisPadding : 1;
    return chart::TExtent{low - pad, high + pad};
}

} // namespace

// -------------------------------------------------------------------------------------------
// The scale beside the plot

TShadeScale::TShadeScale(QWidget* parent) : QWidget(parent) {
    setFixedWidth(64);
}

void TShadeScale::Show(const QString& caption, const QString& low, const QString& high,
                       std::function<QRgb(double)> shade) {
    caption_ = caption;
    low_ = low;
    high_ = high;
    shade_ = std::move(shade);
    update();
}

void TShadeScale::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (!shade_)
        return;
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    // The caption over the ramp, broken at its blanks.
    const QRect captionBox(2, 4, width() - 4, 3 * line);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(captionBox, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, caption_);
    const int top = captionBox.bottom() + line + 4;
    const int bottom = height() - line - 8;
    const QRect ramp(8, top, 16, std::max(bottom - top, 1));
    for (int y = 0; y < ramp.height(); ++y) {
        const double share =
            ramp.height() > 1 ? 1 - static_cast<double>(y) / (ramp.height() - 1) : 1;
        painter.fillRect(QRect(ramp.left(), ramp.top() + y, ramp.width(), 1),
                         QColor(shade_(share)));
    }
    painter.drawRect(ramp.adjusted(0, 0, -1, -1));
    painter.drawText(QRect(ramp.right() + 3, ramp.top() - line / 2, width(), line),
                     Qt::AlignLeft | Qt::AlignVCenter, high_);
    painter.drawText(QRect(ramp.right() + 3, ramp.bottom() - line / 2, width(), line),
                     Qt::AlignLeft | Qt::AlignVCenter, low_);
}

// -------------------------------------------------------------------------------------------
// The curve list

std::optional<std::bitset<256>> CurveList(const QString& text) {
    std::bitset<256> curves;
    const QString t = text.trimmed();
    if (t.isEmpty() || t.compare("все", Qt::CaseInsensitive) == 0)
        return curves.set();
    static const QRegularExpression item(
        QStringLiteral("^\\s*(\\d{1,3})\\s*(?:-\\s*(\\d{1,3})\\s*)?$"));
    for (const QString& part : t.split(QRegularExpression(QStringLiteral("[,;]")))) {
        const QRegularExpressionMatch m = item.match(part);
        if (!m.hasMatch())
            return std::nullopt;
        const int first = m.captured(1).toInt();
        const int last = m.captured(2).isEmpty() ? first : m.captured(2).toInt();
        if (first > 255 || last > 255 || last < first)
            return std::nullopt;
        for (int c = first; c <= last; ++c)
            curves.set(static_cast<std::size_t>(c));
    }
    return curves;
}

// -------------------------------------------------------------------------------------------
// The page

TAnalysisPage::TAnalysisPage(const telemetry::TFrameTable& frames, TChart& chart,
                             TChosenFrame& chosen, TFileDialogs& dialogs, QWidget* parent)
    : QWidget(parent), frames_(frames), chart_(chart), chosen_(chosen), dialogs_(dialogs),
      density_(frames), chosenItem_(frames, density_) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 4, 0);
    row->setSpacing(6);

    // The plot with its scales; a second view may be stacked beside it.
    Views = new QStackedWidget;
    Views->setObjectName("Views");
    auto* plotView = new QWidget;
    plotView->setObjectName("PlotView");
    auto* plotRow = new QHBoxLayout(plotView);
    plotRow->setContentsMargins(0, 0, 0, 0);
    plotRow->setSpacing(0);
    Plot = new TXYPlot;
    Plot->setObjectName("Plot");
    DensityScale = new TShadeScale;
    DensityScale->setObjectName("DensityScale");
    ColourScale = new TShadeScale;
    ColourScale->setObjectName("ColourScale");
    plotRow->addWidget(Plot, 1);
    plotRow->addWidget(DensityScale);
    plotRow->addWidget(ColourScale);
    Views->addWidget(plotView);
    Table = new TTableView(frames, dialogs);
    Views->addWidget(Table);
    row->addWidget(Views, 1);

    auto* controls = new QWidget;
    controls->setFixedWidth(236);
    auto* column = new QVBoxLayout(controls);
    column->setContentsMargins(0, 4, 0, 4);
    column->setSpacing(4);
    auto* form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    form->setVerticalSpacing(3);
    cmbX = new QComboBox;
    cmbY = new QComboBox;
    for (const TQuantityChoice& c : AxisChoices) {
        cmbX->addItem(QString::fromUtf8(c.Caption), static_cast<int>(c.Quantity));
        cmbY->addItem(QString::fromUtf8(c.Caption), static_cast<int>(c.Quantity));
    }
    cmbY->setCurrentIndex(5);
    cmbColour = new QComboBox;
    for (const TQuantityChoice& c : ColourChoices)
        cmbColour->addItem(QString::fromUtf8(c.Caption), static_cast<int>(c.Quantity));
    cmbColour->addItem(NoColour, -1);
    cmbView = new QComboBox;
    cmbView->setObjectName("cmbView");
    cmbView->addItems({"Точки XY", "Таблица"});
    form->addRow("Вид:", cmbView);
    form->addRow("По оси X:", cmbX);
    form->addRow("По оси Y:", cmbY);
    form->addRow("Цвет:", cmbColour);
    edtCurves = new QLineEdit;
    edtCurves->setPlaceholderText("все, или например 1, 3-5");
    form->addRow("Кривые:", edtCurves);
    cmbRange = new QComboBox;
    cmbRange->addItem(NoRange, -1);
    for (const TQuantityChoice& c : AxisChoices)
        cmbRange->addItem(QString::fromUtf8(c.Caption), static_cast<int>(c.Quantity));
    form->addRow("Диапазон:", cmbRange);
    auto* bounds = new QHBoxLayout;
    edtRangeFrom = new QLineEdit;
    edtRangeTo = new QLineEdit;
    edtRangeFrom->setPlaceholderText("от");
    edtRangeTo->setPlaceholderText("до");
    bounds->addWidget(edtRangeFrom);
    bounds->addWidget(new QLabel("…"));
    bounds->addWidget(edtRangeTo);
    form->addRow("", bounds);
    column->addLayout(form);
    chkChartRange = new QCheckBox("Только кадры, видимые на графике");
    column->addWidget(chkChartRange);
    lblFilterError = new QLabel;
    lblFilterError->setWordWrap(true);
    lblFilterError->setStyleSheet("color: #c00000");
    lblFilterError->hide();
    column->addWidget(lblFilterError);
    lblCompared = new QLabel("Пурпурные точки: запись для сравнения.");
    lblCompared->setObjectName("lblComparedColour");
    lblCompared->setWordWrap(true);
    lblCompared->setStyleSheet("color: #82007a");
    lblCompared->hide();
    column->addWidget(lblCompared);

    auto* curvesForm = new QFormLayout;
    curvesForm->setContentsMargins(0, 6, 0, 0);
    spnTolerance = new QDoubleSpinBox;
    spnTolerance->setRange(0, 30);
    spnTolerance->setDecimals(2);
    spnTolerance->setSingleStep(0.25);
    spnTolerance->setValue(analysis::DefaultTolerance);
    curvesForm->addRow("Допуск, ±°:", spnTolerance);
    column->addLayout(curvesForm);
    chkDeviation = new QCheckBox("Отклонение от кривой");
    column->addWidget(chkDeviation);
    btnLoadCurves = new QPushButton("Загрузить кривые…");
    btnSaveCurves = new QPushButton("Сохранить кривые…");
    btnEditCurves = new QPushButton("Изменить кривые…");
    column->addWidget(btnLoadCurves);
    column->addWidget(btnSaveCurves);
    column->addWidget(btnEditCurves);
    lblBand = new QLabel;
    lblBand->setObjectName("lblBand");
    lblBand->setWordWrap(true);
    lblBand->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblBand->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(lblBand, 1);
    btnSavePicture = new QPushButton("Сохранить изображение…");
    column->addWidget(btnSavePicture);
    row->addWidget(controls);

    CurvesOpenDialog.Kind = TFileDialog::TKind::Open;
    CurvesOpenDialog.Options = ofHideReadOnly | ofEnableSizing;
    CurvesOpenDialog.Filter = CurveFilter;
    CurvesOpenDialog.Name = "curves";
    CurvesSaveDialog.Kind = TFileDialog::TKind::Save;
    CurvesSaveDialog.Options =
        ofOverwritePrompt | ofHideReadOnly | ofPathMustExist | ofEnableSizing;
    CurvesSaveDialog.Filter = CurveFilter;
    CurvesSaveDialog.DefaultExt = "csv";
    CurvesSaveDialog.Name = "curves";
    PictureDialog.Kind = TFileDialog::TKind::Save;
    PictureDialog.Options = CurvesSaveDialog.Options;
    PictureDialog.Filter = "Изображение PNG *.png|*.png|";
    PictureDialog.DefaultExt = "png";
    PictureDialog.Name = "picture";

    Plot->AddItem(density_);
    Plot->AddItem(curvesItem_);
    Plot->AddItem(chosenItem_);

    // What the user changes is remembered; what the page recounts on its own is not.
    auto apply = [this] {
        ApplyChoices();
        Remember();
    };
    connect(cmbX, &QComboBox::currentIndexChanged, this, apply);
    connect(cmbY, &QComboBox::currentIndexChanged, this, apply);
    connect(cmbColour, &QComboBox::currentIndexChanged, this, apply);
    connect(cmbRange, &QComboBox::currentIndexChanged, this, apply);
    connect(edtCurves, &QLineEdit::editingFinished, this, apply);
    connect(edtRangeFrom, &QLineEdit::editingFinished, this, apply);
    connect(edtRangeTo, &QLineEdit::editingFinished, this, apply);
    connect(chkChartRange, &QCheckBox::toggled, this, apply);
    connect(spnTolerance, &QDoubleSpinBox::valueChanged, this, apply);
    connect(chkDeviation, &QCheckBox::toggled, this, apply);
    connect(btnLoadCurves, &QPushButton::clicked, this, &TAnalysisPage::btnLoadCurvesClick);
    connect(btnSaveCurves, &QPushButton::clicked, this, &TAnalysisPage::btnSaveCurvesClick);
    connect(btnEditCurves, &QPushButton::clicked, this, &TAnalysisPage::btnEditCurvesClick);
    connect(btnSavePicture, &QPushButton::clicked, this, &TAnalysisPage::btnSavePictureClick);
    connect(Plot, &TXYPlot::Clicked, this, &TAnalysisPage::ClickAt);
    connect(cmbView, &QComboBox::currentIndexChanged, this, [this](int view) {
        Views->setCurrentIndex(view);
        Remember();
    });
    // A cell's frames are marked on the chart and stepped through with Ctrl+arrows, here and
    // there.
    marks_ = new TFrameMarks(chart, chosen);
    marks_->TakeKeysOf(*this);
    connect(Table, &TTableView::CellChosen, this,
            [this](const std::vector<std::int64_t>& cell) { marks_->Mark(cell); });
    connect(Plot, &TXYPlot::Drawn, this, &TAnalysisPage::ShowScales);
    refreshTimer_.setInterval(RefreshMilliseconds);
    connect(&refreshTimer_, &QTimer::timeout, this, &TAnalysisPage::Refresh);

    ApplyChoices();
}

TAnalysisPage::~TAnalysisPage() {
    Plot->RemoveItem(chosenItem_);
    Plot->RemoveItem(curvesItem_);
    Plot->RemoveItem(density_);
    if (comparedDensity_)
        Plot->RemoveItem(*comparedDensity_);
}

void TAnalysisPage::SetCompared(std::optional<TComparedOnChart> compared) {
    // Counting B waits for the page to be shown: opening B costs no more than opening A. A
    // closed B goes at once, its frame table with it.
    if (compared && !isVisible()) {
        pendingCompared_ = compared;
        return;
    }
    pendingCompared_.reset();
    const bool opened = compared.has_value() != compared_.has_value() ||
                        (compared && compared->Frames != compared_->Frames);
    compared_ = compared;
    if (opened) {
        if (comparedDensity_) {
            Plot->RemoveItem(*comparedDensity_);
            comparedDensity_.reset();
        }
        if (compared_) {
            // Drawn first, so that A's frames lie over B's.
            comparedDensity_ = std::make_unique<analysis_view::TDensityItem>(
                *compared_->Frames, analysis_view::ComparedShade);
            for (chart::TPlotItem* item :
                 std::initializer_list<chart::TPlotItem*>{&density_, &curvesItem_, &chosenItem_})
                Plot->RemoveItem(*item);
            for (chart::TPlotItem* item : std::initializer_list<chart::TPlotItem*>{
                     comparedDensity_.get(), &density_, &curvesItem_, &chosenItem_})
                Plot->AddItem(*item);
        }
        lblCompared->setVisible(compared_.has_value());
        extentsCounted_ = 0; // the axes span B's frames too, while it is open
    }
    Table->SetCompared(compared_);
    // A shift moves B's frames only in or out of the chart's range.
    if (opened || chkChartRange->isChecked())
        ApplyChoices();
}

void TAnalysisPage::RecordingChanged() {
    extentsCounted_ = 0;
    extents_ = {};
    chosenItem_.SetFrame(std::nullopt);
    marks_->Mark({});
    ApplyChoices();
    Table->RecordingChanged();
}

void TAnalysisPage::SetCurves(const analysis::TExpectedCurves& curves) {
    band_.reset(); // it holds the expected advance that goes now
    Table->SetFilter(layout_.Filter, nullptr);
    density_.SetChoice(layout_, nullptr, std::nullopt);
    curves_ = curves;
    expected_ = curves_.Empty() ? nullptr : std::make_unique<analysis::TExpectedAdvance>(curves_);
    extentsCounted_ = 0; // the deviation's range follows the curves
    ApplyChoices();
}

analysis::TFrameRange TAnalysisPage::ChartRange() const {
    // Frames before A's first count: B's may stand there. Far beyond any frame, the range is
    // cut where an integer still holds it.
    constexpr double Far = 0x1p60;
    const TChartAxis& axis = chart_.BottomAxis();
    const double low = std::clamp(std::ceil(axis.Minimum()), -Far, Far);
    const double high = std::clamp(std::floor(axis.Maximum()) + 1, low, Far);
    return {static_cast<std::int64_t>(low), static_cast<std::int64_t>(high)};
}

void TAnalysisPage::ApplyChoices() {
    if (restoring_)
        return;
    const bool deviation = chkDeviation->isChecked() && expected_ != nullptr;
    const auto x = static_cast<TQuantity>(cmbX->currentData().toInt());
    const auto y =
        deviation ? TQuantity::Deviation : static_cast<TQuantity>(cmbY->currentData().toInt());
    const int colourData = cmbColour->currentData().toInt();
    const std::optional<TQuantity> colour =
        colourData < 0 ? std::nullopt : std::optional(static_cast<TQuantity>(colourData));
    cmbY->setEnabled(!deviation);
    chkDeviation->setEnabled(expected_ != nullptr);

    // The filter: what the user typed wrong keeps the part it was for as it was.
    QStringList errors;
    analysis::TFrameFilter filter = layout_.Filter;
    if (const auto curves = CurveList(edtCurves->text()))
        filter.Curves = *curves;
    else
        errors << "Кривые: номера от 0 до 255 через запятую, например 1, 3-5.";
    filter.Ranges.clear();
    const int rangeData = cmbRange->currentData().toInt();
    edtRangeFrom->setEnabled(rangeData >= 0);
    edtRangeTo->setEnabled(rangeData >= 0);
    if (rangeData >= 0) {
        const std::optional<double> from = TypedNumber(edtRangeFrom->text());
        const std::optional<double> to = TypedNumber(edtRangeTo->text());
        if ((from && std::isnan(*from)) || (to && std::isnan(*to)))
            errors << "Диапазон: границы должны быть числами.";
        else {
            analysis::TQuantityRange range;
            range.Quantity = static_cast<TQuantity>(rangeData);
            if (from)
                range.Minimum = *from;
            if (to)
                range.Maximum = *to;
            filter.Ranges.push_back(range);
        }
    }
    filter.Frames = chkChartRange->isChecked() ? ChartRange() : analysis::TFrameRange{};
    lblFilterError->setText(errors.join('\n'));
    lblFilterError->setVisible(!errors.isEmpty());

    const bool axesChanged = x != layout_.X.Quantity || y != layout_.Y.Quantity;
    const bool colourChanged = colour != layout_.Colour;
    layout_.X.Quantity = x;
    layout_.Y.Quantity = y;
    layout_.Colour = colour;
    layout_.Filter = filter;
    if (axesChanged || colourChanged || extentsCounted_ == 0) {
        extentsCounted_ = 0;
        ApplyExtents();
    }
    if (axesChanged) {
        // New quantities on the axes: the ranges follow them again.
        if (Plot->Zoomed())
            Plot->UndoZoom();
        Plot->BottomAxis().SetAutomatic(true);
        Plot->LeftAxis().SetAutomatic(true);
    }
    Plot->BottomAxis().SetTitle({CaptionOf(x), ChartDefaultFont(), 0});
    Plot->LeftAxis().SetTitle({CaptionOf(y), ChartDefaultFont(), 90});
    density_.SetChoice(layout_, expected_.get(), extents_[2]);
    if (comparedDensity_) {
        analysis::TDensityLayout compared = layout_;
        compared.Colour.reset();
        compared.Filter = compared_->Alignment.FilterOfB(filter, compared_->Frames->Rows());
        comparedDensity_->SetChoice(compared, expected_.get(), std::nullopt);
    }
    const bool curvesFit =
        x == TQuantity::Speed && (y == TQuantity::Advance || y == TQuantity::Deviation);
    curvesItem_.Set(curves_, curvesFit ? filter.Curves : std::bitset<256>(), spnTolerance->value(),
                    deviation);
    Table->SetFilter(filter, expected_.get());
    CountBand();
}

// The ranges of the quantities over the frames not yet taken in, joined to those before; the
// axes' over B's frames too, which are all there once B is open.
void TAnalysisPage::ApplyExtents() {
    const std::int64_t rows = frames_.Rows();
    const analysis::TFrameRange added{extentsCounted_, rows};
    const bool anew = extentsCounted_ == 0;
    const std::array<std::optional<TQuantity>, 3> quantities = {layout_.X.Quantity,
                                                                layout_.Y.Quantity, layout_.Colour};
    for (std::size_t i = 0; i < quantities.size(); ++i) {
        if (anew)
            extents_[i].reset();
        if (!quantities[i])
            continue;
        if (!added.Empty())
            extents_[i] =
                analysis::Joined(extents_[i], analysis::QuantityExtent(frames_, *quantities[i],
                                                                       expected_.get(), added));
        if (anew && compared_ && i < 2)
            extents_[i] = analysis::Joined(
                extents_[i],
                analysis::QuantityExtent(*compared_->Frames, *quantities[i], expected_.get()));
    }
    extentsCounted_ = rows;
    density_.SetColourRange(extents_[2]);
    // Shown or hidden here, before the plot draws: the scale takes its width from the plot,
    // whose axes are laid out for the width it has when it draws.
    ColourScale->setVisible(layout_.Colour && extents_[2]);
    density_.SetExtents(Padded(extents_[0], layout_.X.Quantity),
                        Padded(extents_[1], layout_.Y.Quantity));
}

void TAnalysisPage::CountBand() {
    band_.reset();
    if (expected_) {
        analysis::TFrameFilter filter = layout_.Filter;
        band_ = std::make_unique<analysis::TBandCounts>(*expected_, spnTolerance->value(), filter);
        band_->Extend(frames_);
    }
    ShowBand();
}

std::vector<analysis::TCurveBand> TAnalysisPage::BandCounts() const {
    return band_ ? band_->Curves() : std::vector<analysis::TCurveBand>{};
}

void TAnalysisPage::ShowBand() {
    if (curves_.Empty()) {
        lblBand->setText("Кривые не заданы. Загрузите их из файла или введите.");
        return;
    }
    const std::vector<analysis::TCurveBand> bands = BandCounts();
    if (bands.empty()) {
        lblBand->setText("Нет кадров с заданными кривыми.");
        return;
    }
    QString text = "Вне полосы ±" + NumberText(spnTolerance->value()) + "°:";
    const QLocale locale = PageLocale();
    for (const analysis::TCurveBand& b : bands) {
        const double share =
            b.Frames > 0 ? 100.0 * static_cast<double>(b.Outside) / static_cast<double>(b.Frames)
                         : 0;
        text += QString("\nКривая %1: %2 из %3 (%4 %)")
                    .arg(b.Curve)
                    .arg(locale.toString(static_cast<qlonglong>(b.Outside)))
                    .arg(locale.toString(static_cast<qlonglong>(b.Frames)))
                    .arg(locale.toString(share, 'f', 1));
    }
    lblBand->setText(text);
}

void TAnalysisPage::ShowScales() {
    const analysis::TDensity* d = density_.Density();
    const std::uint32_t most = d ? std::max<std::uint32_t>(d->MostFrames(), 1) : 1;
    DensityScale->Show("Кадров в точке", "1", PageLocale().toString(most), [most](double share) {
        const double frames = 1 + std::expm1(share * std::log1p(static_cast<double>(most) - 1));
        return analysis_view::DensityShade(static_cast<std::uint32_t>(std::lround(frames)), most);
    });
    const std::optional<analysis::TValueExtent> range = density_.ColourRange();
    if (!layout_.Colour || !range) {
        ColourScale->Show({}, {}, {}, {});
        return;
    }
    ColourScale->Show(CaptionOf(*layout_.Colour), NumberText(range->Minimum),
                      NumberText(range->Maximum),
                      [](double share) { return analysis_view::ColouredShade(2, 3, share); });
}

void TAnalysisPage::Refresh() {
    const std::int64_t rows = frames_.Rows();
    if (rows < extentsCounted_) {
        RecordingChanged();
        return;
    }
    if (chkChartRange->isChecked() && ChartRange() != layout_.Filter.Frames) {
        ApplyChoices();
    } else if (rows > extentsCounted_) {
        // New frames: the density and the band count only these.
        ApplyExtents();
        if (band_) {
            band_->Extend(frames_);
            ShowBand();
        }
        Plot->RequestRepaint();
    }
    chosenItem_.SetFrame(chosen_.Frame());
}

void TAnalysisPage::ClickAt(QPoint p) {
    // The frames drawn are those of the choices made: a change not painted yet is drawn first.
    if (Plot->ImageStale())
        Plot->Draw();
    const analysis::TDensity* density = density_.Density();
    if (!density)
        return;
    const chart::TItemView view{Plot->BottomAxis().Map(), Plot->LeftAxis().Map(), Plot->PlotRect()};
    const std::optional<std::int64_t> frame =
        density->Nearest(frames_, analysis_view::GridPoint(view, p), ClickRadius);
    if (!frame)
        return;
    chosen_.Choose(*frame);
    chosenItem_.SetFrame(chosen_.Frame());
}

void TAnalysisPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (pendingCompared_)
        SetCompared(pendingCompared_);
    Refresh();
    refreshTimer_.start();
}

void TAnalysisPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    refreshTimer_.stop();
}

// -------------------------------------------------------------------------------------------
// Curves and the picture

void TAnalysisPage::btnLoadCurvesClick() {
    if (!dialogs_.Execute(CurvesOpenDialog, window()))
        return;
    try {
        SetCurves(analysis::ReadCurveFile(NativePath(CurvesOpenDialog.FileName)));
        Remember();
    } catch (const analysis::ECurveError& failure) {
        ShowError(failure.what(), "Кривые остались прежними.");
    }
}

void TAnalysisPage::btnSaveCurvesClick() {
    if (curves_.Empty()) {
        ShowError("Кривые не заданы: сохранять нечего");
        return;
    }
    if (!dialogs_.Execute(CurvesSaveDialog, window()))
        return;
    try {
        analysis::WriteCurveFile(NativePath(CurvesSaveDialog.FileName), curves_);
    } catch (const analysis::ECurveError& failure) {
        ShowError(failure.what());
    }
}

void TAnalysisPage::btnEditCurvesClick() {
    QDialog dialog(window());
    dialog.setWindowTitle("Ожидаемые кривые");
    auto* column = new QVBoxLayout(&dialog);
    auto* hint = new QLabel("Строка на точку: номер кривой, обороты (об/мин), УОЗ (°), "
                            "через запятую; дробная часть через точку.");
    hint->setWordWrap(true);
    column->addWidget(hint);
    auto* text = new QPlainTextEdit;
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setPlainText(QString::fromStdString(curves_.Empty()
                                                  ? std::string(analysis::CurveFileHeader) + "\n"
                                                  : analysis::CurveFileText(curves_)));
    column->addWidget(text, 1);
    auto* error = new QLabel;
    error->setWordWrap(true);
    error->setStyleSheet("color: #c00000");
    column->addWidget(error);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    column->addWidget(buttons);
    std::optional<analysis::TExpectedCurves> accepted;
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const std::string typed = text->toPlainText().toStdString();
        // Only the header, or nothing: no curves at all.
        const QString bare = text->toPlainText().trimmed();
        if (bare.isEmpty() || bare == analysis::CurveFileHeader) {
            accepted = analysis::TExpectedCurves{};
            dialog.accept();
            return;
        }
        try {
            accepted = analysis::ParseCurveFile(typed);
            dialog.accept();
        } catch (const analysis::ECurveError& failure) {
            error->setText(QString::fromUtf8(failure.what()));
        }
    });
    dialog.resize(420, 360);
    if (dialog.exec() == QDialog::Accepted && accepted) {
        SetCurves(*accepted);
        Remember();
    }
}

QImage TAnalysisPage::Picture() {
    Plot->Draw();
    return Views->currentWidget()->grab().toImage();
}

void TAnalysisPage::WritePicture(const QString& path) {
    const QImage picture = Picture();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit())
        throw std::runtime_error("Ошибка записи файла");
}

void TAnalysisPage::btnSavePictureClick() {
    if (!dialogs_.Execute(PictureDialog, window()))
        return;
    try {
        WritePicture(PictureDialog.FileName);
    } catch (const std::exception& failure) {
        ShowError(failure.what());
    }
}

// -------------------------------------------------------------------------------------------
// Remembered choices

namespace {

QString QuantityKey(std::optional<TQuantity> q) {
    return q ? QString::fromUtf8(analysis::QuantityName(*q).data(),
                                 static_cast<qsizetype>(analysis::QuantityName(*q).size()))
             : QStringLiteral("none");
}

// Selects the entry of box whose quantity key is key; leaves it as it is for an unknown key.
void SelectQuantity(QComboBox& box, const QString& key) {
    if (key.isEmpty())
        return;
    for (int i = 0; i < box.count(); ++i) {
        const int data = box.itemData(i).toInt();
        if (QuantityKey(data < 0 ? std::nullopt : std::optional(static_cast<TQuantity>(data))) ==
            key)
            box.setCurrentIndex(i);
    }
}

} // namespace

void TAnalysisPage::RememberIn(TSettings& settings) {
    settings_ = nullptr;
    restoring_ = true;
    SelectQuantity(*cmbX, settings.AnalysisChoice("x"));
    SelectQuantity(*cmbY, settings.AnalysisChoice("y"));
    SelectQuantity(*cmbColour, settings.AnalysisChoice("colour"));
    SelectQuantity(*cmbRange, settings.AnalysisChoice("range"));
    edtCurves->setText(settings.AnalysisChoice("curve-list"));
    edtRangeFrom->setText(settings.AnalysisChoice("range-from"));
    edtRangeTo->setText(settings.AnalysisChoice("range-to"));
    chkChartRange->setChecked(settings.AnalysisChoice("chart-range") == "1");
    cmbView->setCurrentIndex(settings.AnalysisChoice("view") == "table" ? 1 : 0);
    Table->RememberIn(settings);
    if (const std::optional<double> tolerance = TypedNumber(settings.AnalysisChoice("tolerance"));
        tolerance && *tolerance >= 0 && *tolerance <= spnTolerance->maximum())
        spnTolerance->setValue(*tolerance);
    chkDeviation->setChecked(settings.AnalysisChoice("deviation") == "1");
    restoring_ = false;
    const QString curves = settings.AnalysisChoice("curves");
    try {
        if (!curves.isEmpty())
            curves_ = analysis::ParseCurveFile(curves.toStdString());
    } catch (const analysis::ECurveError&) {
        // Curves that do not parse are not remembered.
    }
    settings_ = &settings;
    SetCurves(curves_);
}

void TAnalysisPage::Remember() {
    if (!settings_)
        return;
    settings_->SetAnalysisChoice("x", QuantityKey(layout_.X.Quantity));
    settings_->SetAnalysisChoice("y",
                                 QuantityKey(static_cast<TQuantity>(cmbY->currentData().toInt())));
    settings_->SetAnalysisChoice("colour", QuantityKey(layout_.Colour));
    const int range = cmbRange->currentData().toInt();
    settings_->SetAnalysisChoice(
        "range",
        QuantityKey(range < 0 ? std::nullopt : std::optional(static_cast<TQuantity>(range))));
    settings_->SetAnalysisChoice("curve-list", edtCurves->text());
    settings_->SetAnalysisChoice("range-from", edtRangeFrom->text());
    settings_->SetAnalysisChoice("range-to", edtRangeTo->text());
    settings_->SetAnalysisChoice("chart-range", chkChartRange->isChecked() ? "1" : "0");
    settings_->SetAnalysisChoice("tolerance", QString::number(spnTolerance->value()));
    settings_->SetAnalysisChoice("deviation", chkDeviation->isChecked() ? "1" : "0");
    settings_->SetAnalysisChoice("view", cmbView->currentIndex() == 1 ? "table" : "plot");
    settings_->SetAnalysisChoice(
        "curves",
        curves_.Empty() ? QString() : QString::fromStdString(analysis::CurveFileText(curves_)));
}
