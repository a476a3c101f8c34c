#include "ui/window/UprZagig.h"

#include "telemetry/CompanionFormat.h"
#include "telemetry/LiveSession.h"
#include "telemetry/RecordingView.h"
#include "ui/analysis/AnalysisPage.h"
#include "ui/platform/PortToolTip.h"
#include "ui/reading/ChartExport.h"
#include "ui/reading/ChartMarkers.h"
#include "ui/reading/ChartReadout.h"
#include "ui/reading/ChartSelection.h"
#include "ui/reading/ChosenFrame.h"
#include "ui/reading/ComparedRecording.h"
#include "ui/reading/MarkersDialog.h"
#include "ui/reading/TimeAxis.h"
#include "ui/shell/Application.h"
#include "ui/shell/Messages.h"
#include "ui/shell/Settings.h"
#include "ui/window/InstrumentsPage.h"
#include "ui/window/LinkStatus.h"
#include "ui/window/OpeningProgress.h"
#include "ui/window/TelemetryChart.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

// The caption of btnOpenPort is the session state.
constexpr char OpenPortCaption[] = "Открыть порт и файл";
constexpr char ClosePortCaption[] = "Закрыть порт и файл";

// The layout's "MS Sans Serif" where it exists, else the nearest sans-serif face; sizes are
// character heights in pixels.
QFont SansSerif(int pixelSize, bool bold = false) {
    QFont font;
    font.setFamilies({"MS Sans Serif", "Liberation Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// Controls keep the place and size they were given: nothing anchors or lays them out.
template <typename Control>
Control* Place(Control* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(name);
    control->setGeometry(left, top, width, height);
    return control;
}

// The names the settings file knows the pages by, in the order of their tabs.
constexpr const char* PageNames[] = {"chart", "instruments", "analysis"};

QCheckBox* Switch(QWidget* chart, const char* name, int left, int width, const char* caption) {
    auto* box = Place(new QCheckBox(QString::fromUtf8(caption), chart), name, left, 448, width, 17);
    box->setChecked(true);
    return box;
}

} // namespace

TfrmUprZagig::TfrmUprZagig(telemetry::TLatestValues& values, TFileDialogs& dialogs, QWidget* parent)
    : QWidget(parent), values_(values), dialogs_(dialogs) {
    setObjectName("frmUprZagig");
    setWindowTitle(MainCaption);
    setWindowIcon(TelmiraIcon(64));
    setFont(SansSerif(11));
    move(213, 180);
    // The status line adds its height below the laid-out client area.
    resize(1016, 535 + LinkStatusHeight);

    Label1 = Place(new QLabel("COM", this), "Label1", 8, 8, 44, 24);
    Label1->setFont(SansSerif(19));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    edtPortNumber = Place(new QLineEdit(this), "edtPortNumber", 64, 8, 25, 21);
    updPort = Place(new TUpDown(*edtPortNumber, 1, 25, this), "updPort", 89, 8, 16, 21);
    btnOpenPort = Place(new QPushButton(OpenPortCaption, this), "btnOpenPort", 136, 0, 193, 33);
    btnOpenF_DCC = Place(new QPushButton("Открыть данные для просмотра", this), "btnOpenF_DCC", 680,
                         0, 241, 33);

    PageControl1 = Place(new QTabWidget(this), "PageControl1", 0, 40, 1017, 505);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName("TabSheet1");
    TabSheet2 = new TInstrumentsPage(values);
    TabSheet2->setObjectName("TabSheet2");
    // Pages are button-face coloured, as the gauges and the chart that stand on them.
    TabSheet1->setAutoFillBackground(true);
    TabSheet2->setAutoFillBackground(true);
    PageControl1->addTab(TabSheet1, "График");
    PageControl1->addTab(TabSheet2, "Приборы");
    PageControl1->setCurrentIndex(0);

    Chart1 = Place(new TChart(TabSheet1), "Chart1", 0, 0, 1001, 473);
    ConfigureTelemetryChart(*Chart1);
    livePlot_ = std::make_unique<TChartPlot>(*Chart1);
    Label3 = Place(new QLabel("Включить вывод на экран:", Chart1), "Label3", 40, 448, 197, 16);
    Label3->setFont(SansSerif(13, true));
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    chkoborot = Switch(Chart1, "chkoborot", 240, 65, "Обороты");
    chkdad = Switch(Chart1, "chkdad", 312, 49, "ДАД");
    chknkr = Switch(Chart1, "chknkr", 368, 97, "Номер кривой");
    chktemp = Switch(Chart1, "chktemp", 472, 89, "Температура");
    chkok = Switch(Chart1, "chkok", 576, 41, "ОК");
    chkuoz = Switch(Chart1, "chkuoz", 624, 49, "УОЗ");
    ChartReadout = new TChartReadout(*Chart1, frames_,
                                     {chkoborot->text(), chkdad->text(), chknkr->text(),
                                      chktemp->text(), chkok->text(), chkuoz->text()});
    ChosenFrame = new TChosenFrame(*Chart1, frames_, *ChartReadout);
    ChosenFrame->TakeKeysOf(*TabSheet2);
    TabSheet3 = new TAnalysisPage(frames_, *Chart1, *ChosenFrame, dialogs_);
    TabSheet3->setObjectName("TabSheet3");
    TabSheet3->setAutoFillBackground(true);
    PageControl1->addTab(TabSheet3, "Анализ");
    // A click on the plot gives the chart the keys that step the chosen frame; Tab passes
    // it by as before.
    Chart1->setFocusPolicy(Qt::ClickFocus);
    ChartExport = new TChartExport(*this, *Chart1, frames_, *PageControl1->tabBar(), dialogs_,
                                   ChartReadout->Captions());
    TimeAxis = new TTimeAxis(*this, *Chart1);
    ChartExport->Menu->addSeparator();
    ChartExport->Menu->addAction(TimeAxis->Switch);
    // The export has a time column while the axis shows time.
    ChartExport->WithTimes = [this] { return TimeAxis->Shown(); };
    ChartExport->FrameSeconds = [this](std::int64_t frame) { return TimeAxis->Seconds(frame); };
    ChartReadout->FrameTime = [this](std::int64_t frame) { return TimeAxis->FrameTime(frame); };
    livePlot_->OnFramesCompleted = [this](std::int64_t last) { TimeAxis->FramesArrived(last); };
    ChartMarkers =
        new TChartMarkers(*this, *Chart1, frames_, *ChartReadout, *ChosenFrame,
                          [this](std::int64_t frame) { return TimeAxis->Seconds(frame); });
    ChartReadout->MarksAt = [this](int x) { return ChartMarkers->ReadoutLinesAt(x); };
    ChartExport->Menu->addAction(ChartMarkers->Place);
    ChartMarkers->WatchMenu(*ChartExport->Menu);
    ChartMarkers->Tell = [this](const QString& text) { lblLinkStatus->setText(text); };
    connect(ChartMarkers, &TChartMarkers::Changed, this, [this] { ShowCompanionWritten(); });
    MarkersDialog = new TMarkersDialog(*this, *ChartMarkers, *ChosenFrame);
    MarkersDialog->FrameTime = [this](std::int64_t frame) { return TimeAxis->FrameTime(frame); };
    ChartExport->Menu->addAction(MarkersDialog->Open);
    ChartSelection = new TChartSelection(*Chart1, frames_, dialogs_, ChartReadout->Captions());

    // Made after the tab control, so that it stands over the control's clipped overhang.
    lblLinkStatus = Place(new QLabel(this), "lblLinkStatus", 0, 535, 1016, LinkStatusHeight);
    lblLinkStatus->setAutoFillBackground(true);
    lblLinkStatus->setFrameShape(QFrame::Panel);
    lblLinkStatus->setFrameShadow(QFrame::Sunken);
    lblLinkStatus->setContentsMargins(4, 0, 4, 0);
    lblLinkStatus->setText(PortClosedText);
    ComparedRecording =
        new TComparedRecording(*this, *Chart1, *ChartExport->Menu, *ChartReadout, *ChosenFrame,
                               *ChartExport, *lblLinkStatus, dialogs_);
    connect(ComparedRecording, &TComparedRecording::Changed, TabSheet3,
            [this] { TabSheet3->SetCompared(ComparedRecording->Where()); });
    connect(&linkStatusTimer_, &QTimer::timeout, this, &TfrmUprZagig::ShowLinkStatus);
    edtPortNumber->installEventFilter(this);
    updPort->installEventFilter(this);

    QWidget* const tabOrder[] = {edtPortNumber, updPort, btnOpenPort, btnOpenF_DCC,
                                 PageControl1,  Chart1,  chkoborot,   chkdad,
                                 chknkr,        chkuoz,  chkok,       chktemp};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    edtPortNumber->setFocus();

    OpenDialog1.Kind = TFileDialog::TKind::Open;
    OpenDialog1.Options = ofHideReadOnly | ofEnableSizing;
    SaveDialog1.Kind = TFileDialog::TKind::Save;
    SaveDialog1.Options = ofOverwritePrompt | ofHideReadOnly | ofPathMustExist | ofEnableSizing;
    OpenDialog1.Name = "view";
    SaveDialog1.Name = "record";
    setAcceptDrops(true);

    connect(btnOpenPort, &QPushButton::clicked, this, &TfrmUprZagig::btnOpenPortClick);
    connect(btnOpenF_DCC, &QPushButton::clicked, this, &TfrmUprZagig::btnOpenF_DCCClick);
    connect(ChosenFrame, &TChosenFrame::Chosen, this, &TfrmUprZagig::ShowChosenFrame);
    // The instruments page takes the keys when the user brings it to the front, so that the
    // playback keys work where playing is watched; the tab strip keeps them while the user
    // steps along it.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (isVisible() && PageControl1->widget(index) == TabSheet2 &&
            !PageControl1->tabBar()->hasFocus())
            TabSheet2->setFocus();
    });
    connect(chkoborot, &QCheckBox::toggled, this, &TfrmUprZagig::chkoborotClick);
    connect(chkdad, &QCheckBox::toggled, this, &TfrmUprZagig::chkdadClick);
    connect(chknkr, &QCheckBox::toggled, this, &TfrmUprZagig::chknkrClick);
    connect(chktemp, &QCheckBox::toggled, this, &TfrmUprZagig::chktempClick);
    connect(chkok, &QCheckBox::toggled, this, &TfrmUprZagig::chkokClick);
    connect(chkuoz, &QCheckBox::toggled, this, &TfrmUprZagig::chkuozClick);

    FormCreate();
}

// A session still open when the window goes is not closed first: its port is released and
// its recording keeps every byte handled so far.
TfrmUprZagig::~TfrmUprZagig() = default;

void TfrmUprZagig::ShowFileInCaption(const QString& path) {
    setWindowTitle(QString(MainCaption) + " - " + path);
}

void TfrmUprZagig::RememberIn(TSettings& settings) {
    settings_ = &settings;
    TimeAxis->RememberIn(settings);
    TabSheet3->RememberIn(settings);
    if (const std::optional<int> port = settings.PortNumber())
        updPort->SetPosition(*port);
    for (int i = 0; i < static_cast<int>(std::size(PageNames)); ++i)
        if (settings.FrontPage() == PageNames[i])
            PageControl1->setCurrentIndex(i);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int page) {
        if (page >= 0 && page < static_cast<int>(std::size(PageNames)))
            settings_->SetFrontPage(PageNames[page]);
    });
}

void TfrmUprZagig::FormCreate() {
    values_.Period = 0xFFFF;
}

void TfrmUprZagig::btnOpenPortClick() {
    ShowFailures([this] {
        if (btnOpenPort->text() == OpenPortCaption)
            OpenSession();
        else
            CloseSession();
    });
}

void TfrmUprZagig::OpenSession() {
    // The box shows the port the session opens: typed text that is no valid number gives way
    // to the last valid one before anything is opened.
    updPort->SetPosition(updPort->Position());
    SaveDialog1.Filter = "Файл данных работы системы *.dcc|*.dcc|";
    if (!dialogs_.Execute(SaveDialog1, this))
        return;
    const QString fileName = SaveDialog1.FileName;
    const int portNumber = updPort->Position();
    try {
        // A port that fails mid-session is reported once, and the session waits for it to
        // come back; a recording that fails is reported and records no more. Either way
        // the session stays open, as the user left it, until the user closes it.
        session_ = std::make_unique<telemetry::TLiveSession>(
            fileName.toStdString(), static_cast<std::uint8_t>(portNumber), values_, *livePlot_,
            [this](const std::string& message) { ShowSessionError(message); }, &frames_);
    } catch (const telemetry::EFileBeingWritten&) {
        ShowNotice("Ошибка создания файла\n"
                   "Этот файл сейчас записывается в другом окне или другой программой "
                   "и оставлен без изменений.");
        return;
    } catch (const telemetry::ERecordingCreateError&) {
        ShowNotice("Ошибка создания файла");
        return;
    } catch (const serial::EComPortError& e) {
        ShowError(e.what(), e.Explanation());
        return;
    }
    sessionPort_ = portNumber;
    ComparedRecording->SetRecordedFile(fileName);
    if (settings_)
        settings_->SetPortNumber(portNumber);
    ShowLinkStatus();
    linkStatusTimer_.start(LinkStatusRefresh);
    btnOpenPort->setText(ClosePortCaption);
    btnOpenF_DCC->setEnabled(false);
    ShowLatestOnGauges();
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
        Chart1->Series(i).Clear();
    TimeAxis->StartClock();
    missingCompanion_.clear();
    ChartMarkers->Live(session_->Companion());
    KeysToChart();
    frames_.Clear();
    ChartSelection->Clear();
    ChartSelection->EstimateTimes();
    TabSheet3->RecordingChanged();
    Chart1->UndoZoom(); // new data are shown whole, not through an earlier zoom
    // Blocks that arrive while the question is open are kept and recorded first.
    const int answer = AskQuestion("Включить вывод графиков в режиме реального  времени?",
                                   "Менеджер", msgbox::MB_YESNO);
    session_->AttachHandler(answer == msgbox::IDYES);
    ShowFileInCaption(fileName);
}

// A port that fails is tried again while the recording goes on; the user is told so under the
// port's own message.
void TfrmUprZagig::ShowSessionError(const std::string& message) {
    if (session_ && session_->WaitingForPort())
        ShowError(message, "Запись в файл продолжается: порт будет открыт снова, как только "
                           "он появится.");
    else
        ShowError(message);
}

void TfrmUprZagig::CloseSession() {
    const std::unique_ptr<telemetry::TLiveSession> session = std::move(session_);
    // The marks stay as closing leaves them, however it ends, before the session goes.
    const auto freezeMarks = qScopeGuard([this] { ChartMarkers->Freeze(); });
    btnOpenPort->setText(OpenPortCaption);
    linkStatusTimer_.stop();
    ComparedRecording->SetRecordedFile({});
    if (session) {
        // The totals include what closing still records, and stay when closing fails.
        const auto showClosed = [&] {
            lblLinkStatus->setText(LinkStatusText(session->Health(), false,
                                                  PortText(sessionPort_, session->Device())));
        };
        try {
            session->Close();
        } catch (...) {
            showClosed();
            throw;
        }
        showClosed();
    }
    btnOpenF_DCC->setEnabled(true);
}

void TfrmUprZagig::ShowLinkStatus() {
    if (!session_)
        return;
    lblLinkStatus->setText(
        LinkStatusText(session_->Health(), true, PortText(sessionPort_, session_->Device())));
    ChartMarkers->Refresh();
}

bool TfrmUprZagig::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && (watched == edtPortNumber || watched == updPort)) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), PortToolTip(updPort->Position()),
                           static_cast<QWidget*>(watched));
        return true;
    }
    // Only digits make a port number: other characters typed into the box go to the window's
    // keys first (M places a marker wherever the focus is), and are typed only if none takes them.
    if (event->type() == QEvent::ShortcutOverride && watched == edtPortNumber) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
            text.size() == 1 && text[0].isPrint() && !text[0].isDigit()) {
            event->ignore();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmUprZagig::btnOpenF_DCCClick() {
    ShowFailures([this] { ViewRecording(); });
}

void TfrmUprZagig::ViewRecording() {
    OpenDialog1.Filter = "Файл сбора данных работы системы *.dcc|*.dcc|";
    if (!dialogs_.Execute(OpenDialog1, this))
        return;
    OpenRecording(OpenDialog1.FileName);
}

void TfrmUprZagig::OpenRecording(const QString& chosen) {
    OpenDialog1.FileName = QFileInfo(chosen).absoluteFilePath();
    const std::string path = OpenDialog1.FileName.toStdString();
    if (!telemetry::RecordingExists(path))
        return;
    ShowLatestOnGauges();
    for (int i = 0; i < telemetry::PlotSeriesCount; ++i)
        Chart1->Series(i).Clear();
    frames_.Clear();
    ChartSelection->Clear();
    TabSheet3->RecordingChanged();
    Chart1->UndoZoom();
    lblLinkStatus->setText(PortClosedText);
    TChartPlot plot(*Chart1);
    const TChartReplay replay = ReplayOntoChart(path, plot, values_, *lblLinkStatus, frames_);
    const TViewEnd end = replay.End;
    const telemetry::TRecordingFigures& read = replay.Read;
    TimeAxis->Measure(*replay.Times, frames_);
    ChartSelection->SetTimes(*replay.Times);
    ChartMarkers->View(OpenDialog1.FileName, *replay.Times);
    // The chart shows this file, however much of it.
    ShowFileInCaption(OpenDialog1.FileName);
    ChosenFrame->SetEnabled(true);
    KeysToChart();
    const std::uint64_t onChart =
        std::min(read.Frames, static_cast<std::uint64_t>(ChartFrameLimit()));
    viewedStatus_ = ViewStatusText(end, read, replay.Size, onChart);
    const QString companion = QString::fromStdString(telemetry::CompanionPath(path));
    missingCompanion_ =
        replay.Times->State() == telemetry::TCompanionState::Missing ? companion : QString();
    const QString times = TimesStatusText(replay.Times->State(), QFileInfo(companion).fileName());
    lblLinkStatus->setText(times.isEmpty() ? viewedStatus_ : viewedStatus_ + " | " + times);
    if (end == TViewEnd::CutShort)
        throw std::runtime_error(telemetry::RecordingViewError);
    if (end == TViewEnd::TooLong)
        throw std::runtime_error(ChartTooShortText(onChart, read.Frames).toStdString());
}

void TfrmUprZagig::ShowCompanionWritten() {
    if (missingCompanion_.isEmpty() || ChartMarkers->SaveFailure() ||
        !QFileInfo(missingCompanion_).isFile())
        return;
    const QString name = QFileInfo(missingCompanion_).fileName();
    missingCompanion_.clear();
    lblLinkStatus->setText(viewedStatus_ + " | " +
                           TimesStatusText(telemetry::TCompanionState::Untimed, name));
}

void TfrmUprZagig::KeysToChart() {
    // The port box takes letters and spaces as its text: left there, the keys of a recording
    // on the chart (M, the playback keys) would be typed into it, as they are after a file
    // given on the command line, where nothing was clicked. Asked of the window, not of the box:
    // before the window is first activated nothing has the focus yet.
    if (focusWidget() == edtPortNumber)
        Chart1->setFocus(Qt::OtherFocusReason);
}

void TfrmUprZagig::ShowLatestOnGauges() {
    ChosenFrame->SetEnabled(false);
    TabSheet2->ShowLatest();
}

void TfrmUprZagig::ShowChosenFrame(std::int64_t frame) {
    if (const auto fields = frames_.Frame(frame))
        TabSheet2->ShowFrame(*fields, TimeAxis->FrameTime(frame));
}

void TfrmUprZagig::OpenRecordingWhenRunning(const QString& path) {
    QTimer::singleShot(0, this, [this, path] { OpenRecordingShowingFailures(path); });
}

void TfrmUprZagig::OpenRecordingShowingFailures(const QString& path) {
    ShowFailures([this, &path] {
        // Named without the dialog: the box names the file, and a file that is not there, or
        // a folder, is said to be so rather than passed over as the dialog's choice is.
        const QFileInfo named(path);
        const std::string shown = "«" + named.absoluteFilePath().toStdString() + "»";
        const std::string cannotOpen = std::string(telemetry::RecordingOpenError) + "\n";
        if (named.isDir())
            throw std::runtime_error(cannotOpen + shown + " — папка, а не файл");
        if (!named.exists())
            throw std::runtime_error(cannotOpen + "Файл " + shown + " не найден");
        try {
            OpenRecording(path);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(std::string(e.what()) + "\nФайл " + shown);
        }
    });
}

QString TfrmUprZagig::DroppedRecording(const QMimeData& data) const {
    if (session_ || !data.hasUrls() || data.urls().size() != 1)
        return {};
    const QUrl url = data.urls().first();
    if (!url.isLocalFile() || !url.toLocalFile().endsWith(".dcc", Qt::CaseInsensitive))
        return {};
    return url.toLocalFile();
}

void TfrmUprZagig::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedRecording(*event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TfrmUprZagig::dropEvent(QDropEvent* event) {
    const QString path = DroppedRecording(*event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    OpenRecordingShowingFailures(path);
}

void TfrmUprZagig::SwitchSeries(int position, const QCheckBox& box) {
    Chart1->Series(position).SetActive(box.isChecked());
    ComparedRecording->SwitchSeries(position, box.isChecked());
}

void TfrmUprZagig::chkoborotClick() {
    SwitchSeries(telemetry::SeriesSpeed, *chkoborot);
}
void TfrmUprZagig::chkdadClick() {
    SwitchSeries(telemetry::SeriesMap, *chkdad);
}
void TfrmUprZagig::chknkrClick() {
    SwitchSeries(telemetry::SeriesCurve, *chknkr);
}
void TfrmUprZagig::chktempClick() {
    SwitchSeries(telemetry::SeriesTemperature, *chktemp);
}
void TfrmUprZagig::chkokClick() {
    SwitchSeries(telemetry::SeriesOctane, *chkok);
}
void TfrmUprZagig::chkuozClick() {
    SwitchSeries(telemetry::SeriesAdvance, *chkuoz);
}
