#include "ui/reading/ChartMarkers.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include <cstdlib>

namespace {

QString SaveFailureText(telemetry::TCompanionWriteFailure failure) {
    switch (failure) {
    case telemetry::TCompanionWriteFailure::ReadOnly:
        return "Метки не сохранены: в папку записи нельзя писать. "
               "Они останутся на графике, пока запись открыта.";
    case telemetry::TCompanionWriteFailure::InUse:
        return "Метки не сохранены: файл меток занят другой программой. "
               "Они останутся на графике, пока запись открыта.";
    default:
        return "Метки не сохранены: файл меток записать не удалось. "
               "Они останутся на графике, пока запись открыта.";
    }
}

// Esc on the input leaves the marker without text.
class TEscape final : public QObject {
public:
    TEscape(QObject* parent, std::function<void()> escaped)
        : QObject(parent), escaped_(std::move(escaped)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            escaped_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> escaped_;
};

} // namespace

TChartMarkers::TChartMarkers(QWidget& window, TChart& chart, const telemetry::TFrameTable& frames,
                             const TChartReadout& readout, const TChosenFrame& chosen,
                             std::function<double(std::int64_t)> seconds)
    : QObject(&window), chart_(chart), chartAlive_(&chart), frames_(frames), readout_(readout),
      chosen_(chosen), model_(frames, std::move(seconds)) {
    Place = new QAction("Поставить метку", this);
    Place->setShortcut(QKeySequence(Qt::Key_M));
    Place->setShortcutContext(Qt::WindowShortcut);
    Place->setEnabled(false);
    window.addAction(Place);
    connect(Place, &QAction::triggered, this, &TChartMarkers::PlaceMarker);

    Input = new QLineEdit(&chart);
    Input->setMaxLength(TextLength);
    Input->setPlaceholderText("Текст метки, Enter — сохранить");
    Input->resize(260, Input->sizeHint().height());
    Input->hide();
    Input->installEventFilter(new TEscape(Input, [this] { CloseInput(); }));
    connect(Input, &QLineEdit::returnPressed, this, &TChartMarkers::KeepText);
    chart_.AddDecoration(lines_);
}

TChartMarkers::~TChartMarkers() {
    if (chartAlive_)
        chart_.RemoveDecoration(lines_);
}

void TChartMarkers::WatchMenu(QMenu& menu) {
    connect(&menu, &QMenu::aboutToShow, this, [this] { menuFrame_ = readout_.CursorFrame(); });
    connect(&menu, &QMenu::aboutToHide, this, [this] {
        // The menu's action runs after it hides.
        QMetaObject::invokeMethod(
            this, [this] { menuFrame_.reset(); }, Qt::QueuedConnection);
    });
}

void TChartMarkers::View(const QString& path, const telemetry::TRecordingTimes& times) {
    CloseInput();
    model_.View(path.toStdString(), times);
    toldFailure_ = false;
    Place->setEnabled(true);
    Redraw();
    emit Changed(); // were they the same, they may be changed now
}

void TChartMarkers::Live(telemetry::TCompanionWriter& writer) {
    CloseInput();
    model_.Live(writer);
    toldFailure_ = false;
    Place->setEnabled(true);
    Redraw();
}

void TChartMarkers::Freeze() {
    CloseInput();
    model_.Freeze();
    Place->setEnabled(false);
    Redraw();
    emit Changed(); // they can no longer be changed
}

void TChartMarkers::Stop() {
    CloseInput();
    model_.Clear();
    Place->setEnabled(false);
    Redraw();
}

void TChartMarkers::Refresh() {
    Redraw();
}

bool TChartMarkers::Rename(int number, const QString& text) {
    const bool renamed = model_.Rename(number, text.trimmed().toStdString());
    TellSaveFailure();
    Redraw();
    return renamed;
}

bool TChartMarkers::Delete(int number) {
    const bool deleted = model_.Delete(number);
    TellSaveFailure();
    Redraw();
    return deleted;
}

std::vector<telemetry::TMarker> TChartMarkers::Markers() const {
    return model_.Markers();
}

std::optional<QString> TChartMarkers::SaveFailure() const {
    if (const auto failure = model_.SaveFailure())
        return SaveFailureText(*failure);
    return std::nullopt;
}

namespace {

// The image's 0xAARRGGBB as the readout's 0x00BBGGRR.
TColor ReadoutColour(QRgb rgb) {
    return static_cast<TColor>(qRed(rgb) | qGreen(rgb) << 8 | qBlue(rgb) << 16);
}

} // namespace

std::vector<TReadoutLine> TChartMarkers::ReadoutLinesAt(int x) const {
    std::vector<TReadoutLine> lines;
    const chart::TAxisMap& map = chart_.BottomAxis().Map();
    for (const telemetry::TMark& mark : marks_) {
        if (mark.Frame < 0 ||
            std::abs(map.ToPixel(static_cast<double>(mark.Frame)) - x) > NearPixels)
            continue;
        QString text = QString::fromStdString(mark.Text);
        if (mark.Kind == telemetry::TMarkKind::Marker)
            text = QString("Метка %1").arg(mark.Number) + (text.isEmpty() ? "" : ": " + text);
        lines.push_back({-1, std::nullopt, text,
                         ReadoutColour(mark.Kind == telemetry::TMarkKind::Marker
                                           ? chart::TMarkerLines::LineColour
                                           : chart::TMarkerLines::EventColour)});
    }
    return lines;
}

std::optional<std::int64_t> TChartMarkers::FrameToMark() const {
    if (const auto chosen = chosen_.Frame())
        return chosen;
    if (menuFrame_)
        return menuFrame_;
    return readout_.CursorFrame();
}

void TChartMarkers::PlaceMarker() {
    if (!model_.CanAdd())
        return;
    const auto frame = model_.Live() ? std::nullopt : FrameToMark();
    if (!model_.Live() && (!frame || *frame >= frames_.Rows())) {
        if (Tell)
            Tell("Метка ставится на выбранный кадр: щёлкните по графику или наведите на него "
                 "указатель.");
        return;
    }
    CloseInput();
    const std::optional<int> number = model_.Add(frame);
    if (!number)
        return;
    editing_ = *number;
    Redraw();
    TellSaveFailure();
    const chart::TRectI plot = chart_.PlotRect();
    const std::int64_t at = frame.value_or(frames_.Rows() - 1);
    const int x = at >= 0 ? chart_.BottomAxis().Map().ToPixel(static_cast<double>(at)) : plot.Left;
    Input->move(std::clamp(x + 4, plot.Left, std::max(plot.Left, plot.Right - Input->width())),
                plot.Top + 20);
    Input->clear();
    Input->show();
    Input->setFocus();
}

void TChartMarkers::KeepText() {
    const QString text = Input->text().trimmed();
    if (!text.isEmpty() && editing_ != 0)
        Rename(editing_, text);
    CloseInput();
}

void TChartMarkers::CloseInput() {
    editing_ = 0;
    if (Input->isVisible()) {
        Input->hide();
        chart_.setFocus();
    }
}

void TChartMarkers::Redraw() {
    std::vector<telemetry::TMark> marks = model_.Marks();
    if (marks == marks_)
        return;
    marks_ = std::move(marks);
    std::vector<chart::TMarkerLine> lines;
    for (const telemetry::TMark& mark : marks_)
        if (mark.Frame >= 0)
            lines.push_back({static_cast<double>(mark.Frame), mark.Number,
                             mark.Kind != telemetry::TMarkKind::Marker});
    lines_.SetMarkers(std::move(lines));
    emit Changed();
}

void TChartMarkers::TellSaveFailure() {
    if (toldFailure_ || !Tell)
        return;
    if (const auto failure = model_.SaveFailure()) {
        Tell(SaveFailureText(*failure));
        toldFailure_ = true;
    }
}
