#include "ui/reading/ChartSelection.h"

#include "ui/reading/ChartExport.h"
#include "ui/reading/ChartReadout.h"
#include "ui/shell/Messages.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Over the plot's top left corner, clear of the axis labels.
constexpr int BoxInset = 6;

QString Number(double value, int decimals) {
    return QString::number(value, 'f', decimals).replace('.', ',');
}

// The readout's units: whole revolutions, degrees to hundredths, bytes as decoded.
QString FigureText(int series, double value, bool spread) {
    switch (series) {
    case telemetry::SeriesSpeed:
        return Number(value, spread ? 1 : 0);
    case telemetry::SeriesAdvance:
        return Number(value, 2);
    default:
        return Number(value, spread ? 2 : 0);
    }
}

QString DurationText(double seconds) {
    QString text = Number(seconds, 2) + " с";
    if (seconds >= 60) {
        const auto minutes = static_cast<long long>(seconds / 60);
        text += " (" + QString::number(minutes) + " мин " +
                Number(seconds - 60.0 * static_cast<double>(minutes), 1) + " с)";
    }
    return text;
}

} // namespace

analysis::TFrameRange FramesInSpan(double from, double to, std::int64_t rows) {
    if (rows <= 0)
        return {0, 0};
    if (from > to)
        std::swap(from, to);
    const auto clamp = [rows](double x) {
        return static_cast<std::int64_t>(std::clamp(x, 0.0, static_cast<double>(rows - 1)));
    };
    const std::int64_t first = clamp(std::ceil(from)), last = clamp(std::floor(to));
    if (first <= last && std::ceil(from) <= std::floor(to))
        return {first, last + 1};
    const std::int64_t nearest = clamp(std::round((from + to) / 2));
    return {nearest, nearest + 1};
}

QString SelectionText(const analysis::TSelectionFigures& figures,
                      const std::array<QString, 6>& captions) {
    const std::int64_t count = figures.Frames.End - figures.Frames.First;
    QString head = "Выделено кадров: " + QString::number(count) + " (" +
                   QString::number(figures.Frames.First) + "–" +
                   QString::number(figures.Frames.End - 1) + ")";
    if (figures.Seconds)
        head += ", " + QString(figures.Measured ? "" : "≈ ") + DurationText(*figures.Seconds);
    QString text =
        "<b>" + head.toHtmlEscaped() +
        "</b><table cellspacing='0' cellpadding='1'><tr><td></td>"
        "<td align='right'>&nbsp;мин</td><td align='right'>&nbsp;макс</td>"
        "<td align='right'>&nbsp;среднее</td><td align='right'>&nbsp;ст. откл.</td></tr>";
    for (int s = 0; s < static_cast<int>(figures.Quantities.size()); ++s) {
        const analysis::TQuantityFigures& q = figures.Quantities[s];
        const QString unit = QuantityUnit(s);
        text += "<tr><td>" + (captions[s] + (unit.isEmpty() ? "" : ", " + unit)).toHtmlEscaped() +
                "</td>";
        if (q.Frames == 0) {
            text += "<td align='right' colspan='4'>—</td></tr>";
            continue;
        }
        for (const auto& [value, spread] : {std::pair(q.Minimum, false),
                                            {q.Maximum, false},
                                            {q.Mean, true},
                                            {q.StandardDeviation, true}})
            text += "<td align='right'>&nbsp;" + FigureText(s, value, spread) + "</td>";
        text += "</tr>";
    }
    return text + "</table>";
}

TChartSelection::TChartSelection(TChart& chart, const telemetry::TFrameTable& frames,
                                 TFileDialogs& dialogs, const std::array<QString, 6>& captions)
    : QObject(&chart), chart_(chart), frames_(frames), dialogs_(dialogs), captions_(captions) {
    chart.AllowSelection = true;
    chart.OnSelect = [this](TChart&) { Selected(); };
    chart.installEventFilter(this);

    Box = new QFrame(&chart);
    Box->setObjectName("SelectionBox");
    Box->setFrameShape(QFrame::Box);
    Box->setAutoFillBackground(true);
    QPalette palette = Box->palette();
    palette.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xF0));
    Box->setPalette(palette);
    auto* layout = new QVBoxLayout(Box);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(2);
    lblFigures = new QLabel(Box);
    lblFigures->setObjectName("lblFigures");
    lblFigures->setTextFormat(Qt::RichText);
    layout->addWidget(lblFigures);
    btnExportSelection = new QPushButton("Экспорт выделения в CSV…", Box);
    btnExportSelection->setObjectName("btnExportSelection");
    btnExportSelection->setFocusPolicy(Qt::NoFocus); // the chart keeps the keys
    layout->addWidget(btnExportSelection, 0, Qt::AlignLeft);
    Box->hide();
    connect(btnExportSelection, &QPushButton::clicked, this, &TChartSelection::ExportClick);

    CsvDialog.Kind = TFileDialog::TKind::Save;
    CsvDialog.Options = ofOverwritePrompt | ofHideReadOnly | ofPathMustExist | ofEnableSizing;
    CsvDialog.Filter = "Файлы CSV *.csv|*.csv|";
    CsvDialog.DefaultExt = "csv";
    CsvDialog.Name = "csv";
}

void TChartSelection::Selected() {
    const std::optional<TChart::TSpan> span = chart_.Selection();
    if (!span) {
        Clear();
        return;
    }
    Select(FramesInSpan(span->From, span->To, frames_.Rows()));
}

void TChartSelection::Select(analysis::TFrameRange frames) {
    frames = frames.Within({0, frames_.Rows()});
    if (frames.Empty()) {
        Clear();
        return;
    }
    figures_ = analysis::SelectionFigures(frames_, frames, &frameTimes_);
    // The shade covers the selected frames' whole columns.
    chart_.SetSelection(TChart::TSpan{static_cast<double>(frames.First) - 0.5,
                                      static_cast<double>(frames.End - 1) + 0.5});
    Show();
    emit Changed();
}

void TChartSelection::Clear() {
    const bool had = figures_.has_value();
    figures_.reset();
    chart_.SetSelection(std::nullopt);
    Box->hide();
    if (had)
        emit Changed();
}

std::optional<analysis::TFrameRange> TChartSelection::Frames() const {
    if (!figures_)
        return std::nullopt;
    return figures_->Frames;
}

void TChartSelection::SetTimes(const telemetry::TRecordingTimes& times) {
    times_ = times;
    if (figures_)
        Select(figures_->Frames);
}

void TChartSelection::EstimateTimes() {
    SetTimes(telemetry::TRecordingTimes(0, telemetry::TCompanionState::Missing));
}

void TChartSelection::Show() {
    lblFigures->setText(SelectionText(*figures_, captions_));
    const chart::TRectI plot = chart_.PlotRect();
    Box->adjustSize();
    Box->move(plot.Left + BoxInset, plot.Top + BoxInset);
    Box->show();
    Box->raise();
}

void TChartSelection::WriteCsv(const QString& path) const {
    if (figures_)
        WriteTextFile(path, analysis::SelectionCsv(*figures_));
}

void TChartSelection::ExportClick() {
    if (!figures_ || !dialogs_.Execute(CsvDialog, chart_.window()))
        return;
    try {
        WriteCsv(CsvDialog.FileName);
    } catch (const std::exception& failure) {
        ShowError(failure.what());
    }
}

bool TChartSelection::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &chart_ && event->type() == QEvent::KeyPress && figures_ &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        Clear();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
