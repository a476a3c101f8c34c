#pragma once

#include "widgets/chart/ChartAxis.h"
#include "widgets/chart/ChartAxisDraw.h"
#include "widgets/chart/ChartCanvas.h"
#include "widgets/chart/ChartGestures.h"
#include "widgets/chart/ChartLayout.h"
#include "widgets/chart/ChartRaster.h"
#include "widgets/chart/ChartRules.h"
#include "widgets/chart/ChartSeries.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// What lies under a point of the chart, first match in this order.
enum class TChartHit { Series, Axis, Title, Foot, PlotRect, Legend, None };

// A line chart: an ordered list of series (the drawing order) on a panel with five axes.
// It draws itself completely into an off-screen image when a repaint was asked for, and
// otherwise restores its window from that image. The widget paces the paints and wires the
// parts: the layout places the axes over the series, the canvas draws the picture, the
// gestures answer the mouse.
class TChart : public QWidget, private chart::TOwner, private chart::TGesturePlot {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // Creates a series at the end of the list; the chart owns it.
    template <typename Series = TLineSeries> Series& AddSeries() {
        auto series = std::make_unique<Series>();
        Series& attached = *series;
        Attach(std::move(series));
        return attached;
    }
    // An item drawn under the series that takes no part in the axes' ranges or in hits (the
    // gaps of a time axis, markers); the caller keeps it alive while it is added.
    void AddDecoration(chart::TPlotItem& item);
    void RemoveDecoration(chart::TPlotItem& item);

    // The same, drawn under every series created by AddSeries and over those created here
    // before it.
    template <typename Series = TLineSeries> Series& AddSeriesBelow() {
        auto series = std::make_unique<Series>();
        Series& attached = *series;
        Attach(std::move(series), true);
        return attached;
    }
    // Removes the series and destroys it; the later ones move up the list by one.
    void DeleteSeries(TChartSeries& series);
    [[nodiscard]] int SeriesCount() const noexcept { return static_cast<int>(series_.size()); }
    [[nodiscard]] TChartSeries& Series(int index) const { return *series_.at(index); }

    // Bottom, top, left, right, depth: the list order of every axis rule.
    [[nodiscard]] TChartAxis& Axis(TAxisKind kind) noexcept {
        return *axes_[static_cast<int>(kind)];
    }
    [[nodiscard]] const TChartAxis& Axis(TAxisKind kind) const noexcept {
        return *axes_[static_cast<int>(kind)];
    }
    [[nodiscard]] TChartAxis& BottomAxis() noexcept { return Axis(TAxisKind::Bottom); }
    [[nodiscard]] TChartAxis& TopAxis() noexcept { return Axis(TAxisKind::Top); }
    [[nodiscard]] TChartAxis& LeftAxis() noexcept { return Axis(TAxisKind::Left); }
    [[nodiscard]] TChartAxis& RightAxis() noexcept { return Axis(TAxisKind::Right); }
    [[nodiscard]] TChartAxis& DepthAxis() noexcept { return Axis(TAxisKind::Depth); }

    // Marks the picture stale and asks for one paint. Paints come at most at the display
    // rate; any number of requests before a paint cost one redraw, and the last request is
    // always followed by one.
    void RequestRepaint();
    // The same for points added to a series, which are shown at a slower pace.
    void RequestPointsRepaint();
    [[nodiscard]] bool ImageStale() const noexcept { return imageStale_; }
    // A property that shapes the chart's look changed: the picture is drawn again from
    // scratch at the next paint.
    void PropertiesChanged();

    // Redraws the off-screen image for the current size now, and returns it.
    const QImage& Draw();

    // Panel properties.
    [[nodiscard]] const chart::TMargins& Margins() const noexcept { return margins_; }
    void SetMargins(const chart::TMargins& m);
    [[nodiscard]] TColor PanelColor() const noexcept { return color_; } // clDefault: button face
    void SetPanelColor(TColor c) { Set(color_, c); }
    [[nodiscard]] TBevelCut BevelOuter() const noexcept { return bevelOuter_; }
    void SetBevelOuter(TBevelCut v) { Set(bevelOuter_, v); }
    [[nodiscard]] TBevelCut BevelInner() const noexcept { return bevelInner_; }
    void SetBevelInner(TBevelCut v) { Set(bevelInner_, v); }
    [[nodiscard]] int BevelWidth() const noexcept { return bevelWidth_; }
    void SetBevelWidth(int v) { Set(bevelWidth_, v); }
    [[nodiscard]] int BorderWidth() const noexcept { return borderWidth_; }
    void SetBorderWidth(int v) { Set(borderWidth_, v); }
    [[nodiscard]] const TChartWall& BackWall() const noexcept { return backWall_; }
    void SetBackWall(const TChartWall& w) { Set(backWall_, w); }
    [[nodiscard]] bool View3D() const noexcept { return view3D_; }
    void SetView3D(bool v) { Set(view3D_, v); }
    [[nodiscard]] bool View3DWalls() const noexcept { return view3DWalls_; }
    void SetView3DWalls(bool v) { Set(view3DWalls_, v); }
    [[nodiscard]] bool ClipPoints() const noexcept { return clipPoints_; }
    void SetClipPoints(bool v) { Set(clipPoints_, v); }
    [[nodiscard]] bool AxisVisible() const noexcept { return axisVisible_; }
    void SetAxisVisible(bool v) { Set(axisVisible_, v); }
    [[nodiscard]] const TChartText& Title() const noexcept { return title_; }
    void SetTitle(const TChartText& t) { Set(title_, t); }
    [[nodiscard]] const TChartText& Foot() const noexcept { return foot_; }
    void SetFoot(const TChartText& t) { Set(foot_, t); }
    [[nodiscard]] bool LegendVisible() const noexcept { return legendVisible_; }
    void SetLegendVisible(bool v) { Set(legendVisible_, v); }

    // Mouse zoom and scroll.
    bool AllowZoom = true;
    TPanningMode AllowPanning = TPanningMode::pmBoth;
    bool AnimatedZoom = false;
    int AnimatedZoomSteps = 8;
    // A left drag with Shift held selects a span of the bottom axis instead of zooming.
    bool AllowSelection = false;
    // Redraw stages.
    std::function<void(TChart&)> OnBeforeDrawAxes;
    std::function<void(TChart&)> OnBeforeDrawSeries;
    std::function<void(TChart&)> OnAfterDraw;

    std::function<void(TChart&)> OnZoom;
    std::function<void(TChart&)> OnUndoZoom;
    std::function<void(TChart&)> OnScroll;
    std::function<void(TChartAxis&, double& min, double& max, bool& allow)> OnAllowScroll;
    // A selection drag ended: Selection() holds the bottom axis' values at its first and last
    // column, which the handler may set to the span it takes.
    std::function<void(TChart&)> OnSelect;

    // The span of bottom-axis values shown shaded across the plot, over the picture.
    struct TSpan {
        double From;
        double To;
        bool operator==(const TSpan&) const = default;
    };
    [[nodiscard]] const std::optional<TSpan>& Selection() const noexcept { return selection_; }
    void SetSelection(const std::optional<TSpan>& span);
    // Values of the bottom axis marked by short ticks along the plot's bottom edge, over the
    // picture; ascending.
    [[nodiscard]] const std::vector<double>& Marks() const noexcept { return marks_; }
    void SetMarks(std::vector<double> marks);

    void UndoZoom();
    // As a right drag by pixels to the left (to the right where negative) scrolls the chart.
    void ScrollHorizontally(double pixels) { gestures_.ScrollHorizontally(pixels); }
    [[nodiscard]] bool Zoomed() const noexcept { return gestures_.Zoomed(); }
    [[nodiscard]] const TZoomPanningRecord& Zoom() const noexcept { return gestures_.Zoom(); }
    [[nodiscard]] const TZoomPanningRecord& Panning() const noexcept { return gestures_.Panning(); }

    // Geometry of the last layout.
    [[nodiscard]] const chart::TRectI& PlotRect() const noexcept { return plotRect_; }
    [[nodiscard]] TChartHit HitTest(QPoint p) const;
    // An axis is drawn when axes are shown, it is visible, and an active series uses it.
    [[nodiscard]] bool AxisShown(const TChartAxis& axis) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Changed(chart::TChange change) override;
    void Attach(std::unique_ptr<TChartSeries> series, bool below = false);
    template <typename T> void Set(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        PropertiesChanged();
    }

    // Drawing. DrawImage gives the band of rows the new picture changed.
    QRect DrawImage();
    void LayOut();
    [[nodiscard]] chart::TBackground DescribeBackground() const;
    [[nodiscard]] QRgb PanelRgb() const;
    void RequestRepaintWithin(qint64 milliseconds);
    void ShowChanges(); // draws the picture and asks for a paint of what changed

    // What the gestures ask of the chart, and tell it.
    [[nodiscard]] chart::TGestureRules GestureRules() const override;
    [[nodiscard]] bool Grabs(QPoint p) const override;
    [[nodiscard]] chart::TRectI GesturePlotRect() const override { return plotRect_; }
    void ShowZoomRectangle() override { update(); }
    void Redraw() override { RequestRepaint(); }
    void RedrawNow() override { repaint(); }
    void GestureStarted() override { unsetCursor(); }
    void AfterZoom() override;
    void AfterUndoZoom() override;
    void AfterScroll() override;
    [[nodiscard]] bool AllowScroll(TChartAxis& axis, double& min, double& max) override;
    void ShowSelection() override;
    void Select(int from, int to) override;
    // The plot's columns the selection shades, being dragged or set; none when none shows.
    [[nodiscard]] std::optional<std::pair<int, int>> ShadedColumns() const;

    std::vector<std::unique_ptr<TChartSeries>> series_;
    std::array<std::unique_ptr<TChartAxis>, 5> axes_;
    // The series in drawing order, as the layout and the drawing take them.
    std::vector<chart::TPlotItem*> items_;
    std::vector<chart::TPlotItem*> decorations_;
    std::size_t below_ = 0; // the first of items_ were created below the others
    std::array<TChartAxis*, 5> axisList_{};

    chart::TMargins margins_;
    TColor color_ = clDefault;
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
    TBevelCut bevelInner_ = TBevelCut::bvNone;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    TChartWall backWall_;
    bool view3D_ = true;
    bool view3DWalls_ = true;
    bool clipPoints_ = true;
    bool axisVisible_ = true;
    TChartText title_;
    TChartText foot_{true, {}, Qt::AlignLeft};
    bool legendVisible_ = true;

    chart::TPlotCanvas canvas_;
    bool imageStale_ = true;
    std::uint64_t generation_ = 0; // of the properties, counted by their changes
    std::optional<QRect> titleArea_, footArea_;
    bool updatePending_ = false; // update() was called on a hidden chart: a paint draws
    QTimer updateTimer_;         // holds a request back until a frame has passed since a paint
    QElapsedTimer sinceLastPaint_;
    qint64 pointsMilliseconds_; // how long new points alone wait after a paint
    chart::TRectI plotRect_;

    chart::TGestures gestures_;
    std::optional<TSpan> selection_;
    std::vector<double> marks_;
};
