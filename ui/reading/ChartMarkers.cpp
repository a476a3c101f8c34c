#include "ui/reading/ChartMarkers.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

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
                             const TChartReadout& readout, const TChosenFrame& chosen)
    : QObject(&window), chart_(chart), chartAlive_(&chart), frames_(frames), readout_(readout),
      chosen_(chosen) {
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
    viewed_.emplace(path.toStdString(), times);
    events_ = times.Events();
    toldFailure_ = false;
    Place->setEnabled(true);
    Redraw();
    emit Changed();
}

void TChartMarkers::Stop() {
    CloseInput();
    viewed_.reset();
    events_.clear();
    Place->setEnabled(false);
    Redraw();
    emit Changed();
}

std::vector<telemetry::TMarker> TChartMarkers::Markers() const {
    return viewed_ ? viewed_->Markers() : std::vector<telemetry::TMarker>{};
}

std::optional<std::int64_t> TChartMarkers::FrameToMark() const {
    if (const auto chosen = chosen_.Frame())
        return chosen;
    if (menuFrame_)
        return menuFrame_;
    return readout_.CursorFrame();
}

void TChartMarkers::PlaceMarker() {
    const auto frame = FrameToMark();
    if (!viewed_)
        return;
    if (!frame || *frame >= frames_.Rows()) {
        if (Tell)
            Tell("Метка ставится на выбранный кадр: щёлкните по графику или наведите на него "
                 "указатель.");
        return;
    }
    CloseInput();
    editing_ = viewed_->Add(frames_.EndOffset(*frame), {});
    Redraw();
    TellSaveFailure();
    emit Changed();
    const chart::TRectI plot = chart_.PlotRect();
    const int x = chart_.BottomAxis().Map().ToPixel(static_cast<double>(*frame));
    Input->move(std::clamp(x + 4, plot.Left, std::max(plot.Left, plot.Right - Input->width())),
                plot.Top + 20);
    Input->clear();
    Input->show();
    Input->setFocus();
}

void TChartMarkers::KeepText() {
    const std::string text = Input->text().trimmed().toStdString();
    if (!text.empty() && editing_ != 0 && viewed_) {
        viewed_->Rename(editing_, text);
        TellSaveFailure();
        emit Changed();
    }
    CloseInput();
}

bool TChartMarkers::Rename(int number, const QString& text) {
    if (!viewed_ || !viewed_->Rename(number, text.trimmed().toStdString()))
        return false;
    TellSaveFailure();
    emit Changed();
    return true;
}

bool TChartMarkers::Delete(int number) {
    if (!viewed_ || !viewed_->Delete(number))
        return false;
    if (editing_ == number)
        CloseInput();
    Redraw();
    TellSaveFailure();
    emit Changed();
    return true;
}

std::optional<QString> TChartMarkers::SaveFailure() const {
    if (viewed_ && viewed_->SaveFailure())
        return SaveFailureText(viewed_->SaveFailure()->Failure());
    return std::nullopt;
}

void TChartMarkers::CloseInput() {
    editing_ = 0;
    if (Input->isVisible()) {
        Input->hide();
        chart_.setFocus();
    }
}

void TChartMarkers::Redraw() {
    std::vector<chart::TMarkerLine> lines;
    for (const telemetry::TMarker& marker : Markers()) {
        const std::int64_t frame = frames_.RowsEndingBy(marker.Offset) - 1;
        if (frame >= 0)
            lines.push_back({static_cast<double>(frame), marker.Number});
    }
    lines_.SetMarkers(std::move(lines));
}

void TChartMarkers::TellSaveFailure() {
    if (toldFailure_ || !Tell)
        return;
    if (viewed_ && viewed_->SaveFailure()) {
        Tell(SaveFailureText(viewed_->SaveFailure()->Failure()));
        toldFailure_ = true;
    }
}
