#include "ui/reading/MarkersDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

// A marker's text is edited in the list as it is typed on the chart: no longer. Tells while an
// editor is open, until the list goes.
class TMarkerTextEditor final : public QStyledItemDelegate {
public:
    TMarkerTextEditor(QObject* parent, std::function<void(bool)> editing)
        : QStyledItemDelegate(parent), editing_(std::move(editing)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(TChartMarkers::TextLength);
        Tell(true);
        connect(editor, &QObject::destroyed, this, [this] { Tell(false); });
        return editor;
    }
    // The list's editors go after it.
    void Forget() { editing_ = nullptr; }

private:
    void Tell(bool editing) const {
        if (editing_)
            editing_(editing);
    }

    std::function<void(bool)> editing_;
};

namespace {

QPushButton* Button(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    // Enter goes to the marker chosen in the list, never to a button.
    button->setAutoDefault(false);
    return button;
}

} // namespace

TMarkersDialog::TMarkersDialog(QWidget& window, TChartMarkers& markers, TChosenFrame& chosen)
    : QDialog(&window), markers_(markers), chosen_(chosen) {
    setWindowTitle("Метки");
    resize(560, 360);

    Open = new QAction("Метки…", this);
    Open->setShortcut(QKeySequence("Ctrl+M"));
    Open->setShortcutContext(Qt::WindowShortcut);
    window.addAction(Open);
    connect(Open, &QAction::triggered, this, [this] {
        Fill();
        // Enter goes to a marker at once.
        if (!ChosenRow() && !rows_.empty())
            Table->setCurrentCell(0, TextColumn);
        show();
        raise();
        activateWindow();
        Table->setFocus();
    });

    Table = new QTableWidget(0, Columns, this);
    Table->setHorizontalHeaderLabels({"№", "Кадр", "Время", "Текст", "Вид"});
    Table->verticalHeader()->hide();
    Table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::EditKeyPressed);
    textEditor_ = new TMarkerTextEditor(Table, [this](bool editing) {
        editing_ = editing;
        if (!editing && stale_)
            Fill();
    });
    Table->setItemDelegateForColumn(TextColumn, textEditor_);
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Table->horizontalHeader()->setSectionResizeMode(TextColumn, QHeaderView::Stretch);
    Table->installEventFilter(this);
    connect(Table, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { GoTo(index.row()); });
    connect(Table, &QTableWidget::itemChanged, this, &TMarkersDialog::TextEdited);
    connect(Table, &QTableWidget::itemSelectionChanged, this, &TMarkersDialog::ShowButtons);

    ShowEvents = new QCheckBox("Показывать события сеанса", this);
    ShowEvents->setChecked(true);
    connect(ShowEvents, &QCheckBox::toggled, this, &TMarkersDialog::Fill);
    RenameButton = Button("Переименовать", this);
    connect(RenameButton, &QPushButton::clicked, this, &TMarkersDialog::RenameChosen);
    DeleteButton = Button("Удалить", this);
    connect(DeleteButton, &QPushButton::clicked, this, &TMarkersDialog::DeleteChosen);
    QPushButton* close = Button("Закрыть", this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    Note = new QLabel(this);
    Note->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ShowEvents);
    buttons->addStretch();
    buttons->addWidget(RenameButton);
    buttons->addWidget(DeleteButton);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Table);
    layout->addWidget(Note);
    layout->addLayout(buttons);

    // Queued: a change made from the list's own editor ends before the rows are made anew.
    connect(
        &markers_, &TChartMarkers::Changed, this,
        [this] {
            if (isVisible())
                Fill();
        },
        Qt::QueuedConnection);
    ShowButtons();
}

TMarkersDialog::~TMarkersDialog() {
    textEditor_->Forget();
}

void TMarkersDialog::Fill() {
    // Rows made anew would take the editor, and the text typed, with them.
    if (editing_) {
        stale_ = true;
        return;
    }
    stale_ = false;
    const std::optional<std::size_t> before = ChosenRow();
    const std::optional<int> key = before ? std::optional(rows_[*before].Key) : std::nullopt;
    rows_ = telemetry::MarkerRows(markers_.Model().Marks(), ShowEvents->isChecked());

    filling_ = true;
    Table->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < Table->rowCount(); ++r) {
        const telemetry::TMarkerRow& row = rows_[static_cast<std::size_t>(r)];
        const std::int64_t frame = row.Mark.Frame;
        const QString texts[Columns] = {
            row.IsMarker() ? QString::number(row.Mark.Number) : QString(),
            frame >= 0 ? QString::number(frame) : QString("—"),
            frame >= 0 && FrameTime ? FrameTime(frame) : QString(),
            QString::fromStdString(row.Text),
            QString::fromStdString(row.Kind),
        };
        for (int c = 0; c < Columns; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (c == TextColumn && Changeable(row))
                flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            if (c == NumberColumn || c == FrameColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Table->setItem(r, c, item);
        }
    }
    filling_ = false;
    Table->clearSelection();
    if (const auto row = telemetry::RowToChoose(rows_, key, before))
        Table->setCurrentCell(static_cast<int>(*row), TextColumn);

    if (const auto failure = markers_.SaveFailure())
        Note->setText(*failure);
    else if (markers_.Markers().empty())
        Note->setText("Меток нет. Метку ставит клавиша M или «Поставить метку» в меню графика.");
    else
        Note->clear();
    ShowButtons();
}

std::optional<std::size_t> TMarkersDialog::ChosenRow() const {
    const QList<QTableWidgetItem*> chosen = Table->selectedItems();
    if (chosen.empty())
        return std::nullopt;
    const auto row = static_cast<std::size_t>(chosen.front()->row());
    return row < rows_.size() ? std::optional(row) : std::nullopt;
}

bool TMarkersDialog::Changeable(const telemetry::TMarkerRow& row) const {
    return row.IsMarker() && markers_.Model().CanAdd();
}

void TMarkersDialog::GoTo(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return;
    const std::int64_t frame =
        std::max<std::int64_t>(0, rows_[static_cast<std::size_t>(row)].Mark.Frame);
    if (chosen_.Enabled())
        chosen_.Choose(frame);
    else
        chosen_.Reveal(frame);
}

void TMarkersDialog::TextEdited(QTableWidgetItem* item) {
    if (filling_ || item->column() != TextColumn)
        return;
    const auto row = static_cast<std::size_t>(item->row());
    if (row >= rows_.size() || !Changeable(rows_[row]))
        return;
    const QString text = item->text().trimmed();
    if (text != QString::fromStdString(rows_[row].Text))
        markers_.Rename(rows_[row].Mark.Number, text);
}

void TMarkersDialog::RenameChosen() {
    const auto row = ChosenRow();
    if (row && Changeable(rows_[*row])) {
        Table->setFocus();
        Table->editItem(Table->item(static_cast<int>(*row), TextColumn));
    }
}

void TMarkersDialog::DeleteChosen() {
    const auto row = ChosenRow();
    if (row && Changeable(rows_[*row]))
        markers_.Delete(rows_[*row].Mark.Number);
}

void TMarkersDialog::ShowButtons() {
    const auto row = ChosenRow();
    const bool marker = row && Changeable(rows_[*row]);
    RenameButton->setEnabled(marker);
    DeleteButton->setEnabled(marker);
}

// Delete while a text is edited goes to the editor, which takes it.
bool TMarkersDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Table && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        DeleteChosen();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
