#include "ui/reading/ChartExport.h"

#include "ui/reading/ChartReadout.h"
#include "ui/reading/CompareShift.h"
#include "ui/shell/Messages.h"
#include "ui/window/TelemetryChart.h"

#include <QAction>
#include <QBuffer>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QTabBar>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

// Flushed to the file at this size, so that an hour's export needs no hour of text.
constexpr std::size_t CsvChunk = 1 << 20;

// A file written whole under a temporary name and renamed onto path at the end. Writes go
// straight to the file: a buffered write that the disk cuts short would still be committed.
class TExportFile {
public:
    explicit TExportFile(const QString& path) : file_(path) {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw std::runtime_error(ExportWriteError);
    }
    void Write(const char* data, std::size_t size) {
        if (file_.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size))
            throw std::runtime_error(ExportWriteError);
    }
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    // Without a commit the destructor removes the temporary file.
    void Commit() {
        if (!file_.commit())
            throw std::runtime_error(ExportWriteError);
    }

private:
    QSaveFile file_;
};

// The visible range is that of the picture on screen, laid out for the latest points.
void LayOut(TChart& chart) {
    if (chart.ImageStale())
        chart.Draw();
}

// The legend row: framed swatches, so that light colours show on the panel, each followed by
// its text.
constexpr int LegendPadding = 4;
constexpr int SwatchSize = 11;
constexpr int SwatchGap = 5;
constexpr int EntryGap = 20;
constexpr QRgb SwatchFrameColour = 0xFF606060;

QString LegendText(int series, const QString& caption) {
    const QString unit = QuantityUnit(series);
    const int scale = PlotScale(series);
    return caption + (unit.isEmpty() ? QString() : ", " + unit) +
           (scale == 1 ? QString() : " ×" + QString::number(scale));
}

// The panel's colour, as the chart fills it.
QRgb PanelRgb(const TChart& chart) {
    return chart.PanelColor() == clDefault ? chart.palette().color(QPalette::Window).rgb()
                                           : chart::ToRgb(chart.PanelColor());
}

} // namespace

int LegendRowHeight() {
    return QFontMetrics(ChartDefaultFont()).height() + 2 * LegendPadding;
}

std::vector<TLegendEntry> LegendRow(const TChart& chart, const std::array<QString, 6>& captions) {
    const QFontMetrics metrics(ChartDefaultFont());
    std::vector<TLegendEntry> row;
    int x = chart.PlotRect().Left;
    for (int s = 0; s < telemetry::PlotSeriesCount; ++s) {
        if (!chart.Series(s).Active())
            continue;
        const QString text = LegendText(s, captions[s]);
        const QRect swatch(x, LegendPadding + (metrics.height() - SwatchSize) / 2, SwatchSize,
                           SwatchSize);
        const QRect textBox(swatch.right() + 1 + SwatchGap, LegendPadding,
                            metrics.horizontalAdvance(text), metrics.height());
        row.push_back({telemetry::PlotColours[s], text, swatch, textBox});
        x = textBox.right() + 1 + EntryGap;
    }
    return row;
}

QImage ChartPicture(TChart& chart, const std::array<QString, 6>& captions) {
    const QImage& drawn = chart.Draw();
    const std::vector<TLegendEntry> legend = LegendRow(chart, captions);
    if (legend.empty())
        return drawn;
    QImage picture(drawn.width(), drawn.height() + LegendRowHeight(), drawn.format());
    picture.fill(PanelRgb(chart));
    QPainter painter(&picture);
    painter.drawImage(0, 0, drawn);
    painter.translate(0, drawn.height());
    painter.setFont(ChartDefaultFont());
    for (const TLegendEntry& entry : legend) {
        painter.fillRect(entry.Swatch, QColor(chart::ToRgb(entry.Colour)));
        painter.setPen(QColor(SwatchFrameColour));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(entry.Swatch.adjusted(0, 0, -1, -1));
        painter.setPen(chart.palette().color(QPalette::WindowText));
        painter.drawText(entry.TextBox, Qt::AlignLeft | Qt::AlignVCenter, entry.Text);
    }
    return picture;
}

void WriteChartPicture(TChart& chart, const std::array<QString, 6>& captions, const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!ChartPicture(chart, captions).save(&buffer, "PNG"))
        throw std::runtime_error(ExportWriteError);
    TExportFile file(path);
    file.Write(png.constData(), static_cast<std::size_t>(png.size()));
    file.Commit();
}

void WriteTextFile(const QString& path, const std::string& text) {
    TExportFile file(path);
    file.Write(text);
    file.Commit();
}

void WriteVisibleFramesCsv(TChart& chart, const telemetry::TFrameTable& frames, const QString& path,
                           const std::function<double(std::int64_t frame)>& seconds) {
    LayOut(chart);
    TExportFile file(path);
    std::string text = seconds ? telemetry::CsvHeaderWithTime : telemetry::CsvHeader;
    if (const auto completed = CompletedFrames(frames)) {
        const chart::TAxisMap& x = chart.BottomAxis().Map();
        const auto first =
            std::max<std::int64_t>(completed->First, std::llround(std::ceil(x.Minimum)));
        const auto last =
            std::min<std::int64_t>(completed->Last, std::llround(std::floor(x.Maximum)));
        for (std::int64_t k = first; k <= last; ++k) {
            if (seconds)
                telemetry::AppendCsvLine(text, *frames.Frame(k), seconds(k));
            else
                telemetry::AppendCsvLine(text, *frames.Frame(k));
            if (text.size() >= CsvChunk) {
                file.Write(text);
                text.clear();
            }
        }
    }
    file.Write(text);
    file.Commit();
}

namespace {

// The CSV header's columns, each named with prefix in front.
std::string PrefixedColumns(const std::string& prefix) {
    std::string columns = telemetry::CsvHeader;
    columns.pop_back();
    std::string named = prefix;
    for (const char c : columns)
        named += c == ',' ? "," + prefix : std::string(1, c);
    return named;
}

// A frame's columns without their line end; empty ones without a frame.
void AppendColumns(std::string& text, const std::optional<telemetry::TDecodedFrame>& frame) {
    if (!frame) {
        static const auto separators = static_cast<std::size_t>(
            std::count(std::begin(telemetry::CsvHeader), std::end(telemetry::CsvHeader), ','));
        text.append(separators, ',');
        return;
    }
    telemetry::AppendCsvLine(text, *frame);
    text.pop_back();
}

} // namespace

void WriteVisibleFramesCsv(TChart& chart, const telemetry::TFrameTable& frames,
                           const TComparedOnChart& compared, const QString& path) {
    LayOut(chart);
    TExportFile file(path);
    std::string text = PrefixedColumns("") + "," + PrefixedColumns("b_") + "\n";
    const auto span = [](const std::optional<TFrameSpan>& completed) {
        return completed ? std::optional(compare::TFrames{completed->First, completed->Last})
                         : std::nullopt;
    };
    const auto a = span(CompletedFrames(frames));
    const auto b = span(CompletedFrames(*compared.Frames));
    const std::int64_t rowsB = FramesOnChart(*compared.Frames);
    const auto either =
        compare::Union(a, b ? std::optional(compare::OnA(*b, compared.Alignment)) : std::nullopt);
    if (either) {
        const chart::TAxisMap& x = chart.BottomAxis().Map();
        const auto first =
            std::max<std::int64_t>(either->First, std::llround(std::ceil(x.Minimum)));
        const auto last = std::min<std::int64_t>(either->Last, std::llround(std::floor(x.Maximum)));
        for (std::int64_t at = first; at <= last; ++at) {
            std::optional<telemetry::TDecodedFrame> frameA, frameB;
            if (a && at >= a->First && at <= a->Last)
                frameA = frames.Frame(at);
            if (const auto j = compared.Alignment.FrameOfB(at, rowsB))
                frameB = compared.Frames->Frame(*j);
            if (!frameA && !frameB)
                continue;
            AppendColumns(text, frameA);
            text += ',';
            AppendColumns(text, frameB);
            text += '\n';
            if (text.size() >= CsvChunk) {
                file.Write(text);
                text.clear();
            }
        }
    }
    file.Write(text);
    file.Commit();
}

TChartExport::TChartExport(QWidget& window, TChart& chart, const telemetry::TFrameTable& frames,
                           QTabBar& tabs, TFileDialogs& dialogs,
                           const std::array<QString, 6>& captions)
    : QObject(&window), window_(window), chart_(chart), frames_(frames), dialogs_(dialogs),
      captions_(captions) {
    SavePicture = new QAction("Сохранить изображение графика…", this);
    SavePicture->setShortcut(QKeySequence("Ctrl+S"));
    ExportCsv = new QAction("Экспорт в CSV…", this);
    ExportCsv->setShortcut(QKeySequence("Ctrl+E"));
    ExportComparedCsv = new QAction("Экспорт в CSV с записью для сравнения…", this);
    ExportComparedCsv->setShortcut(QKeySequence("Ctrl+Shift+E"));
    ExportComparedCsv->setEnabled(false);
    for (QAction* action : {SavePicture, ExportCsv, ExportComparedCsv}) {
        action->setShortcutContext(Qt::WindowShortcut);
        window.addAction(action);
    }
    connect(SavePicture, &QAction::triggered, this, &TChartExport::SavePictureClick);
    connect(ExportCsv, &QAction::triggered, this, &TChartExport::ExportCsvClick);
    connect(ExportComparedCsv, &QAction::triggered, this, &TChartExport::ExportComparedCsvClick);

    Menu = new QMenu(&window);
    Menu->addAction(SavePicture);
    Menu->addAction(ExportCsv);
    Menu->addAction(ExportComparedCsv);
    tabs.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&tabs, &QWidget::customContextMenuRequested, this,
            [this, &tabs](QPoint at) { Menu->popup(tabs.mapToGlobal(at)); });
    chart.installEventFilter(this);

    for (TFileDialog* dialog : {&PictureDialog, &CsvDialog}) {
        dialog->Kind = TFileDialog::TKind::Save;
        dialog->Options = ofOverwritePrompt | ofHideReadOnly | ofPathMustExist | ofEnableSizing;
    }
    PictureDialog.Filter = "Изображение PNG *.png|*.png|";
    PictureDialog.DefaultExt = "png";
    CsvDialog.Filter = "Таблица CSV *.csv|*.csv|";
    CsvDialog.DefaultExt = "csv";
    PictureDialog.Name = "picture";
    CsvDialog.Name = "csv";
}

void TChartExport::SavePictureClick() {
    Export(PictureDialog,
           [this](const QString& path) { WriteChartPicture(chart_, captions_, path); });
}

void TChartExport::ExportCsvClick() {
    Export(CsvDialog, [this](const QString& path) {
        WriteVisibleFramesCsv(chart_, frames_, path,
                              WithTimes && WithTimes() ? FrameSeconds
                                                       : std::function<double(std::int64_t)>());
    });
}

void TChartExport::ExportComparedCsvClick() {
    if (!compared_)
        return;
    const TComparedOnChart compared = *compared_;
    Export(CsvDialog, [this, compared](const QString& path) {
        WriteVisibleFramesCsv(chart_, frames_, compared, path);
    });
}

void TChartExport::SetCompared(const std::optional<TComparedOnChart>& compared) {
    compared_ = compared;
    ExportComparedCsv->setEnabled(compared.has_value());
}

void TChartExport::Export(TFileDialog& dialog, const std::function<void(const QString&)>& write) {
    if (!dialogs_.Execute(dialog, &window_))
        return;
    try {
        write(dialog.FileName);
    } catch (const std::exception& failure) {
        ShowError(failure.what());
    }
}

// A right press scrolls the chart as it moves; one released where it went down scrolled
// nothing and brings up the menu instead.
bool TChartExport::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &chart_)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton)
            rightPressedAt_ = mouse->position().toPoint();
        else
            rightPressedAt_.reset();
    } else if (event->type() == QEvent::MouseMove) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (rightPressedAt_ && mouse->position().toPoint() != *rightPressedAt_)
            rightPressedAt_.reset();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && rightPressedAt_ &&
            mouse->position().toPoint() == *rightPressedAt_)
            Menu->popup(mouse->globalPosition().toPoint());
        rightPressedAt_.reset();
    }
    return false;
}
