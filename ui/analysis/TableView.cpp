#include "ui/analysis/TableView.h"

#include "ui/analysis/AnalysisPage.h"
#include "ui/reading/ChartExport.h"
#include "ui/shell/Messages.h"
#include "ui/shell/Settings.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <stdexcept>

using analysis::TQuantity;
using analysis::TStatistic;

namespace {

constexpr int HeaderHeight = 18;
const char* const CornerCaption = "об/мин \\ ДАД от";

QFont HeaderFont(QFont font) {
    font.setPixelSize(11);
    return font;
}
constexpr QRgb GridLine = 0xFFA0A0A0;

QString Number(double value, int decimals) {
    return QString::number(value, 'f', decimals).replace('.', ',');
}

// Whole numbers for counts and the byte quantities' extremes, tenths for the speed's, hundredths
// for degrees and every mean and spread.
int Decimals(TQuantity q, TStatistic s) {
    if (s == TStatistic::Count)
        return 0;
    const bool spread = s == TStatistic::Mean || s == TStatistic::StandardDeviation;
    if (q == TQuantity::Advance || q == TQuantity::Deviation)
        return 2;
    if (q == TQuantity::Speed)
        return spread ? 1 : 0;
    return spread ? 2 : 0;
}

struct TNamed {
    int Value;
    const char* Caption;
};
constexpr TNamed Quantities[] = {
    {int(TQuantity::Advance), "УОЗ, °"},
    {int(TQuantity::Deviation), "Отклонение УОЗ от кривой, °"},
    {int(TQuantity::Speed), "Обороты, об/мин"},
    {int(TQuantity::Map), "ДАД"},
    {int(TQuantity::Curve), "Номер кривой"},
    {int(TQuantity::Temperature), "Температура"},
    {int(TQuantity::Octane), "ОК"},
};
constexpr TNamed Statistics[] = {
    {int(TStatistic::Mean), "Среднее"},     {int(TStatistic::Minimum), "Минимум"},
    {int(TStatistic::Maximum), "Максимум"}, {int(TStatistic::StandardDeviation), "Ст. отклонение"},
    {int(TStatistic::Count), "Кадров"},
};

QString SpeedBinsText(const analysis::TSpeedBins& bins) {
    return QString::number(bins.From) + ":" + QString::number(bins.To) + ":" +
           QString::number(bins.Step);
}

} // namespace

QRgb TableShade(double share) noexcept {
    share = std::clamp(std::isnan(share) ? 0.0 : share, 0.0, 1.0);
    // Hue from blue (240°) down to red (0°), pale enough for black text.
    return QColor::fromHsvF(static_cast<float>((1 - share) * 240.0 / 360.0), 0.45f, 1.0f).rgb();
}

std::optional<analysis::TSpeedBins> SpeedBinsTyped(const QString& text) {
    const QStringList parts = text.trimmed().split(':');
    if (parts.size() != 3)
        return std::nullopt;
    double values[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().replace(',', '.').toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    const analysis::TSpeedBins bins{values[0], values[1], values[2]};
    try {
        bins.Check();
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
    return bins;
}

// ---------------------------------------------------------------------------------------
// The grid

TTableGrid::TTableGrid(QWidget* parent)
    : QWidget(parent),
      headerWidth_(
          std::max(76, QFontMetrics(HeaderFont(font())).horizontalAdvance(CornerCaption) + 6)) {
    setObjectName("TableGrid");
    setAutoFillBackground(true);
    setFocusPolicy(Qt::ClickFocus);
}

void TTableGrid::Show(const analysis::TBinnedTable* table, TStatistic statistic,
                      std::int64_t threshold, const analysis::TBinnedTable* minus) {
    table_ = table;
    minus_ = table ? minus : nullptr;
    statistic_ = statistic;
    threshold_ = threshold;
    extent_.reset();
    if (table)
        for (int r = 0; r < table->Rows(); ++r)
            for (int c = 0; c < table->Columns(); ++c)
                if (Frames(r, c) >= std::max<std::int64_t>(threshold, 1))
                    if (const auto v = Value(r, c))
                        extent_ = extent_ ? std::pair(std::min(extent_->first, *v),
                                                      std::max(extent_->second, *v))
                                          : std::pair(*v, *v);
    // A difference is shaded about 0: as much more and as much less take opposite ends.
    if (minus_ && extent_) {
        const double most = std::max(std::abs(extent_->first), std::abs(extent_->second));
        extent_ = std::pair(-most, most);
    }
    setMinimumHeight(HeaderHeight + (table ? table->Rows() : 0) * RowHeight + 1);
    update();
}

std::optional<double> TTableGrid::Value(int row, int column) const {
    if (!table_)
        return std::nullopt;
    return minus_ ? analysis::Difference(*table_, *minus_, row, column, statistic_)
                  : table_->Value(row, column, statistic_);
}

std::int64_t TTableGrid::Frames(int row, int column) const {
    const std::int64_t frames = table_->Frames(row, column);
    return minus_ ? std::min(frames, minus_->Frames(row, column)) : frames;
}

QRect TTableGrid::CellRect(int row, int column) const {
    const int columns = table_ ? table_->Columns() : 1;
    const int width = std::max(1, (this->width() - headerWidth_ - 1) / columns);
    return {headerWidth_ + column * width, HeaderHeight + row * RowHeight, width, RowHeight};
}

std::optional<std::pair<int, int>> TTableGrid::CellAt(QPoint p) const {
    if (!table_ || p.x() < headerWidth_ || p.y() < HeaderHeight)
        return std::nullopt;
    const int width = CellRect(0, 0).width();
    const int row = (p.y() - HeaderHeight) / RowHeight, column = (p.x() - headerWidth_) / width;
    if (row >= table_->Rows() || column >= table_->Columns())
        return std::nullopt;
    return std::pair(row, column);
}

void TTableGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!table_)
        return;
    const analysis::TTableLayout& layout = table_->Layout();
    painter.setFont(HeaderFont(painter.font()));
    const QRect corner(0, 0, headerWidth_, HeaderHeight);
    painter.drawText(corner.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, CornerCaption);
    for (int c = 0; c < table_->Columns(); ++c) {
        const QRect cell = CellRect(0, c);
        // The bin's lowest code: its whole range would not fit a narrow column.
        painter.drawText(QRect(cell.left(), 0, cell.width(), HeaderHeight), Qt::AlignCenter,
                         QString::number(layout.Map.Lower(c)));
    }
    const int decimals = Decimals(layout.Quantity, statistic_);
    for (int r = 0; r < table_->Rows(); ++r) {
        const QRect head(0, HeaderHeight + r * RowHeight, headerWidth_, RowHeight);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(head.adjusted(2, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(layout.Speed.Lower(r)) + "–" +
                             QString::number(layout.Speed.Upper(r)));
        for (int c = 0; c < table_->Columns(); ++c) {
            const QRect cell = CellRect(r, c);
            const std::int64_t frames = Frames(r, c);
            const std::optional<double> value = Value(r, c);
            QRgb fill = 0xFFFFFFFF;
            if (value && frames < threshold_)
                fill = TableGreyed;
            else if (value && extent_)
                fill =
                    TableShade(extent_->second > extent_->first
                                   ? (*value - extent_->first) / (extent_->second - extent_->first)
                                   : 0.5);
            painter.fillRect(cell, QColor(fill));
            painter.setPen(QColor(GridLine));
            painter.drawRect(cell.adjusted(0, 0, -1, -1));
            if (value) {
                painter.setPen(frames < threshold_ ? QColor(0xFF707070) : QColor(Qt::black));
                painter.drawText(cell.adjusted(1, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter,
                                 Number(*value, decimals));
            }
        }
    }
    if (Chosen && Chosen->first < table_->Rows() && Chosen->second < table_->Columns()) {
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(CellRect(Chosen->first, Chosen->second).adjusted(1, 1, -1, -1));
    }
}

void TTableGrid::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (const auto cell = CellAt(event->position().toPoint())) {
        Chosen = cell;
        update();
        emit CellClicked(cell->first, cell->second);
    }
}

// ---------------------------------------------------------------------------------------
// The view

TTableView::TTableView(const telemetry::TFrameTable& frames, TFileDialogs& dialogs, QWidget* parent)
    : QWidget(parent), frames_(frames), dialogs_(dialogs) {
    setObjectName("TableView");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* controls = new QHBoxLayout;
    layout->addLayout(controls);

    cmbQuantity = new QComboBox;
    cmbQuantity->setObjectName("cmbQuantity");
    for (const TNamed& q : Quantities)
        cmbQuantity->addItem(q.Caption, q.Value);
    cmbStatistic = new QComboBox;
    cmbStatistic->setObjectName("cmbStatistic");
    for (const TNamed& s : Statistics)
        cmbStatistic->addItem(s.Caption, s.Value);
    edtSpeedBins = new QLineEdit(SpeedBinsText(spec_.Speed));
    edtSpeedBins->setObjectName("edtSpeedBins");
    edtSpeedBins->setToolTip("Обороты: от:до:шаг, об/мин");
    edtSpeedBins->setFixedWidth(100);
    spnMapBins = new QSpinBox;
    spnMapBins->setObjectName("spnMapBins");
    spnMapBins->setRange(1, 256);
    spnMapBins->setValue(spec_.Map.Count);
    spnThreshold = new QSpinBox;
    spnThreshold->setObjectName("spnThreshold");
    spnThreshold->setRange(0, 1000000);
    spnThreshold->setValue(10);
    cmbCompared = new QComboBox;
    cmbCompared->setObjectName("cmbCompared");
    cmbCompared->addItems({"Запись", "Для сравнения", "Разница"});
    cmbCompared->setToolTip("Разница: запись минус запись для сравнения, в ячейках, где кадры "
                            "есть в обеих");
    cmbCompared->hide();
    btnExportTable = new QPushButton("Экспорт таблицы в CSV…");
    btnExportTable->setObjectName("btnExportTable");
    controls->addWidget(cmbQuantity);
    controls->addWidget(cmbStatistic);
    controls->addWidget(cmbCompared);
    controls->addStretch(1);
    controls->addWidget(btnExportTable);
    auto* bins = new QHBoxLayout;
    layout->addLayout(bins);
    bins->addWidget(new QLabel("Строки, об/мин (от:до:шаг):"));
    bins->addWidget(edtSpeedBins);
    bins->addWidget(new QLabel("Столбцов ДАД:"));
    bins->addWidget(spnMapBins);
    bins->addWidget(new QLabel("Серые, если кадров меньше:"));
    bins->addWidget(spnThreshold);
    bins->addStretch(1);

    lblTableError = new QLabel;
    lblTableError->setObjectName("lblTableError");
    lblTableError->setStyleSheet("color: #B00000");
    lblTableError->hide();
    layout->addWidget(lblTableError);

    auto* body = new QHBoxLayout;
    layout->addLayout(body, 1);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    Grid = new TTableGrid;
    scroll->setWidget(Grid);
    body->addWidget(scroll, 1);
    Scale = new TShadeScale;
    body->addWidget(Scale);

    CsvDialog.Kind = TFileDialog::TKind::Save;
    CsvDialog.Options = ofOverwritePrompt | ofHideReadOnly | ofPathMustExist | ofEnableSizing;
    CsvDialog.Filter = "Файлы CSV *.csv|*.csv|";
    CsvDialog.DefaultExt = "csv";
    CsvDialog.Name = "csv";

    connect(cmbQuantity, &QComboBox::currentIndexChanged, this, &TTableView::ApplyChoices);
    connect(cmbStatistic, &QComboBox::currentIndexChanged, this, [this] {
        ShowTable();
        Remember();
    });
    connect(edtSpeedBins, &QLineEdit::editingFinished, this, &TTableView::ApplyChoices);
    connect(spnMapBins, &QSpinBox::valueChanged, this, &TTableView::ApplyChoices);
    connect(cmbCompared, &QComboBox::currentIndexChanged, this, [this] {
        Grid->Chosen.reset();
        ShowTable();
    });
    connect(spnThreshold, &QSpinBox::valueChanged, this, [this] {
        ShowTable();
        Remember();
    });
    connect(btnExportTable, &QPushButton::clicked, this, &TTableView::ExportClick);
    connect(Grid, &TTableGrid::CellClicked, this,
            [this](int row, int column) { emit CellChosen(CellFrames(row, column)); });
    refreshTimer_.setInterval(RefreshMilliseconds);
    connect(&refreshTimer_, &QTimer::timeout, this, &TTableView::Refresh);
    ApplyChoices();
}

TTableView::~TTableView() = default;

TStatistic TTableView::Statistic() const {
    return static_cast<TStatistic>(cmbStatistic->currentData().toInt());
}

TTableView::TShown TTableView::Shown() const {
    if (!comparedTable_)
        return TShown::Recording;
    return static_cast<TShown>(cmbCompared->currentIndex());
}

void TTableView::SetCompared(std::optional<TComparedOnChart> compared) {
    const bool same = compared && compared_ && compared->Frames == compared_->Frames &&
                      comparedTable_ &&
                      compared->Alignment.FilterOfB(spec_.Filter, compared->Frames->Rows()) ==
                          comparedTable_->Layout().Filter;
    compared_ = compared;
    if (same)
        return; // a shift that leaves B's frames counted as they are
    if (!compared_)
        cmbCompared->setCurrentIndex(0);
    cmbCompared->setVisible(compared_.has_value());
    Grid->Chosen.reset();
    CountCompared();
    ShowTable();
}

void TTableView::SetFilter(const analysis::TFrameFilter& filter,
                           const analysis::TExpectedAdvance* expected) {
    if (filter == spec_.Filter && expected == expected_ && table_)
        return;
    spec_.Filter = filter;
    expected_ = expected;
    ApplyChoices();
}

void TTableView::ApplyChoices() {
    if (restoring_)
        return;
    QStringList errors;
    if (const auto bins = SpeedBinsTyped(edtSpeedBins->text()))
        spec_.Speed = *bins;
    else
        errors << "Обороты: от:до:шаг, например 0:7000:250 (не больше " +
                      QString::number(analysis::TSpeedBins::MostBins) + " строк).";
    spec_.Map.Count = spnMapBins->value();
    spec_.Quantity = static_cast<TQuantity>(cmbQuantity->currentData().toInt());
    if (spec_.Quantity == TQuantity::Deviation && !expected_) {
        errors << "Отклонение: задайте ожидаемые кривые на странице.";
        spec_.Quantity = TQuantity::Advance;
    }
    lblTableError->setText(errors.join('\n'));
    lblTableError->setVisible(!errors.isEmpty());
    Rebuild();
    Remember();
}

void TTableView::Rebuild() {
    Grid->Chosen.reset();
    try {
        table_ = std::make_unique<analysis::TBinnedTable>(
            spec_, spec_.Quantity == TQuantity::Deviation ? expected_ : nullptr);
        table_->Extend(frames_);
        CountCompared();
    } catch (const std::invalid_argument& e) {
        table_.reset();
        comparedTable_.reset();
        lblTableError->setText(QString::fromUtf8(e.what()));
        lblTableError->show();
    }
    ShowTable();
}

// B's table, by A's choices, its frames aligned with A's.
void TTableView::CountCompared() {
    comparedTable_.reset();
    if (!compared_ || !table_)
        return;
    analysis::TTableLayout compared = table_->Layout();
    compared.Filter = compared_->Alignment.FilterOfB(compared.Filter, compared_->Frames->Rows());
    comparedTable_ = std::make_unique<analysis::TBinnedTable>(
        compared, compared.Quantity == TQuantity::Deviation ? expected_ : nullptr);
    comparedTable_->Extend(*compared_->Frames);
}

void TTableView::RecordingChanged() {
    Rebuild();
}

void TTableView::Refresh() {
    if (!table_)
        return;
    if (frames_.Rows() < table_->Counted()) {
        Rebuild();
        return;
    }
    if (frames_.Rows() == table_->Counted())
        return;
    table_->Extend(frames_);
    ShowTable();
}

void TTableView::ShowTable() {
    const TShown shown = Shown();
    Grid->Show(shown == TShown::Compared ? comparedTable_.get() : table_.get(), Statistic(),
               spnThreshold->value(), shown == TShown::Difference ? comparedTable_.get() : nullptr);
    if (const auto extent = Grid->Extent()) {
        const int decimals = Decimals(spec_.Quantity, Statistic());
        const QString caption = shown == TShown::Difference
                                    ? "Разница, " + cmbStatistic->currentText().toLower()
                                    : cmbStatistic->currentText();
        Scale->Show(caption, Number(extent->first, decimals), Number(extent->second, decimals),
                    TableShade);
    } else {
        Scale->Show({}, {}, {}, nullptr);
    }
}

std::vector<std::int64_t> TTableView::CellFrames(int row, int column) const {
    std::vector<std::int64_t> frames;
    if (Shown() == TShown::Compared) {
        if (row < comparedTable_->Rows() && column < comparedTable_->Columns())
            comparedTable_->ForEachFrameIn(
                *compared_->Frames, row, column, [&](std::int64_t frameB) {
                    const std::int64_t onA = compared_->Alignment.OnA(frameB);
                    if (onA >= 0 && onA < frames_.Rows())
                        frames.push_back(onA);
                });
        return frames;
    }
    if (table_ && row < table_->Rows() && column < table_->Columns())
        table_->ForEachFrameIn(frames_, row, column,
                               [&](std::int64_t frame) { frames.push_back(frame); });
    return frames;
}

void TTableView::WriteCsv(const QString& path) const {
    if (!table_)
        return;
    switch (Shown()) {
    case TShown::Recording:
        WriteTextFile(path, analysis::TableCsv(*table_, Statistic()));
        break;
    case TShown::Compared:
        WriteTextFile(path, analysis::TableCsv(*comparedTable_, Statistic()));
        break;
    case TShown::Difference:
        WriteTextFile(path, analysis::DifferenceCsv(*table_, *comparedTable_, Statistic()));
        break;
    }
}

void TTableView::ExportClick() {
    if (!table_ || !dialogs_.Execute(CsvDialog, window()))
        return;
    try {
        WriteCsv(CsvDialog.FileName);
    } catch (const std::exception& failure) {
        ShowError(failure.what());
    }
}

void TTableView::RememberIn(TSettings& settings) {
    settings_ = &settings;
    restoring_ = true;
    // By the recording tool's names.
    const std::string quantity = settings.AnalysisChoice("table-quantity").toStdString();
    if (const auto q = analysis::QuantityNamed(quantity); q && cmbQuantity->findData(int(*q)) >= 0)
        cmbQuantity->setCurrentIndex(cmbQuantity->findData(int(*q)));
    const std::string statistic = settings.AnalysisChoice("table-statistic").toStdString();
    if (const auto st = analysis::StatisticNamed(statistic))
        cmbStatistic->setCurrentIndex(cmbStatistic->findData(int(*st)));
    if (SpeedBinsTyped(settings.AnalysisChoice("table-speed-bins")))
        edtSpeedBins->setText(settings.AnalysisChoice("table-speed-bins"));
    bool ok = false;
    if (const int n = settings.AnalysisChoice("table-map-bins").toInt(&ok);
        ok && n >= 1 && n <= 256)
        spnMapBins->setValue(n);
    if (const int n = settings.AnalysisChoice("table-threshold").toInt(&ok); ok && n >= 0)
        spnThreshold->setValue(n);
    restoring_ = false;
    ApplyChoices();
}

void TTableView::Remember() {
    if (!settings_ || restoring_)
        return;
    settings_->SetAnalysisChoice("table-quantity",
                                 QString::fromUtf8(analysis::QuantityName(
                                     static_cast<TQuantity>(cmbQuantity->currentData().toInt()))));
    settings_->SetAnalysisChoice("table-statistic",
                                 QString::fromUtf8(analysis::StatisticName(Statistic())));
    settings_->SetAnalysisChoice("table-speed-bins", edtSpeedBins->text().trimmed());
    settings_->SetAnalysisChoice("table-map-bins", QString::number(spnMapBins->value()));
    settings_->SetAnalysisChoice("table-threshold", QString::number(spnThreshold->value()));
}

void TTableView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    refreshTimer_.start();
}

void TTableView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    refreshTimer_.stop();
}
