#include "ui/StampListBar.h"

#include "document/StampListWork.h"
#include "list/StampList.h"
#include "ui/RowVerdicts.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <utility>

namespace {

constexpr int kListControlId = 102;

// Grid lines: every cell gets a line along its right and bottom edge, drawn over the
// selection so that the grid stays visible on the selected row as well.
class GridLineDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::Midlight).darker(115), 0));
        const QRect& r = option.rect;
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }
};

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

// While the program itself changes rows, the view's own signals report nothing: the program
// reports what it must itself.
class QuietScope {
public:
    explicit QuietScope(bool& flag) : m_flag(flag), m_old(std::exchange(flag, true)) {}
    ~QuietScope() { m_flag = m_old; }
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

private:
    bool& m_flag;
    bool m_old;
};

} // namespace

// ---- CStampListCtrl ---------------------------------------------------------------------

CStampListCtrl::CStampListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setProperty("controlId", kListControlId);
    setObjectName(QStringLiteral("StampListCtrl"));
    // Report view: no columns until the panel adds them, flat rows, one full row selected.
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setItemDelegate(new GridLineDelegate(this));
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The selection stays as visible when the list loses the keyboard focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);

    // A row that is current and selected, and was not reported yet, is a row the user chose.
    // The view makes a row current before it selects it, so both signals lead to one check.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex&, const QModelIndex&) { OnRowStateChanged(); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection&, const QItemSelection&) { OnRowStateChanged(); });
}

int CStampListCtrl::TextWidth(const std::string& text) const {
    // The item's margins on both sides and the grid line.
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    return fontMetrics().horizontalAdvance(ToQString(text)) + margin + 8;
}

int CStampListCtrl::ClientWidth() const {
    if (isVisible())
        return viewport()->width();
    // Not laid out yet (the panel is filled before the main window is shown): the width the
    // list will get inside its bar, docked at the side.
    for (const QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (const auto* bar = qobject_cast<const CSizingControlBar*>(w)) {
            const QSize size = bar->IsFloating()     ? bar->FloatSize()
                               : bar->IsHorzDocked() ? bar->HorzSize()
                                                     : bar->VertSize();
            return std::max(0, size.width() - 2 * frameWidth());
        }
    }
    return viewport()->width();
}

int CStampListCtrl::RowCount() const {
    return topLevelItemCount();
}

void CStampListCtrl::DeleteAllRows() {
    {
        const QuietScope quiet(m_bQuiet);
        selectionModel()->clear();
        clear();
    }
    ++m_nRowsGeneration;
    m_nShownRow = -1;
    viewport()->update();
}

void CStampListCtrl::InsertColumn(int index, const std::string& heading, int width) {
    // The header shows nothing while the list has no columns; the first column replaces
    // that state.
    const int count = m_nColumns;
    index = std::clamp(index, 0, count);
    if (columnCount() < count + 1)
        setColumnCount(count + 1);
    QTreeWidgetItem* head = headerItem();
    // Move the columns at and after `index` one place to the right.
    for (int c = count; c > index; --c) {
        head->setText(c, head->text(c - 1));
        setColumnWidth(c, columnWidth(c - 1));
        for (int r = 0; r < topLevelItemCount(); ++r)
            topLevelItem(r)->setText(c, topLevelItem(r)->text(c - 1));
    }
    for (int r = 0; r < topLevelItemCount(); ++r)
        topLevelItem(r)->setText(index, QString());
    head->setText(index, ToQString(heading));
    head->setTextAlignment(index, Qt::AlignLeft | Qt::AlignVCenter);
    header()->setSectionResizeMode(index, QHeaderView::Interactive);
    setColumnWidth(index, std::max(0, width));
    m_nColumns = count + 1;
}

int CStampListCtrl::InsertRow(int row, const std::string& text) {
    row = std::clamp(row, 0, topLevelItemCount());
    auto* item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    item->setText(0, ToQString(text));
    {
        const QuietScope quiet(m_bQuiet);
        insertTopLevelItem(row, item);
    }
    ++m_nRowsGeneration;
    // The shown row moves down with the rows inserted above it.
    if (m_nShownRow >= row)
        ++m_nShownRow;
    return row;
}

void CStampListCtrl::SetItemText(int row, int column, const std::string& text) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr || column < 0 || column >= m_nColumns)
        return;
    item->setText(column, ToQString(text));
}

bool CStampListCtrl::SelectAndFocus(int row) {
    // -1 (every row) is refused by a single-selection list; so is a row that is not there.
    QTreeWidgetItem* item = topLevelItem(row);
    if (row < 0 || item == nullptr)
        return false;
    {
        const QuietScope quiet(m_bQuiet);
        const QModelIndex index = indexFromItem(item);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
    }
    viewport()->update();
    // Reported also when the row had the state already: a rewritten row is shown anew.
    m_nShownRow = row;
    if (m_pPanel != nullptr)
        m_pPanel->OnItemChanged(row, true);
    return true;
}

void CStampListCtrl::SelectNone() {
    {
        const QuietScope quiet(m_bQuiet);
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    m_nShownRow = -1;
    viewport()->update();
}

int CStampListCtrl::FirstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    return first;
}

void CStampListCtrl::DeleteRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (row < 0 || item == nullptr)
        return;
    {
        const QuietScope quiet(m_bQuiet);
        // Without a current row the view has nothing to move to a neighbour: the selection
        // goes with the deleted row and stays away from the others.
        if (currentItem() == item)
            selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
        delete takeTopLevelItem(row);
    }
    ++m_nRowsGeneration;
    if (m_nShownRow == row)
        m_nShownRow = -1;
    else if (m_nShownRow > row)
        --m_nShownRow;
    viewport()->update();
}

void CStampListCtrl::ScrollToEnd() {
    scrollToBottom();
}

void CStampListCtrl::SetFocus() {
    setFocus(Qt::OtherFocusReason);
}

std::string CStampListCtrl::ItemText(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    if (row < 0 || item == nullptr || column < 0 || column >= m_nColumns)
        return {};
    return item->text(column).toStdString();
}

void CStampListCtrl::focusInEvent(QFocusEvent* event) {
    const bool hadCurrent = currentIndex().isValid();
    QTreeWidget::focusInEvent(event);
    // The view would make the first row current (unselected, yet drawn as chosen, and then
    // skipped by the first arrow key); a list without a focused row keeps none.
    if (!hadCurrent && currentIndex().isValid() && !selectionModel()->isSelected(currentIndex())) {
        const QuietScope quiet(m_bQuiet);
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
}

void CStampListCtrl::OnRowStateChanged() {
    if (m_bQuiet)
        return;
    const QModelIndex current = selectionModel()->currentIndex();
    const int row =
        current.isValid() && selectionModel()->isRowSelected(current.row()) ? current.row() : -1;
    if (row == m_nShownRow)
        return;
    m_nShownRow = row;
    // A row that only lost its state does nothing.
    if (row >= 0 && m_pPanel != nullptr)
        m_pPanel->OnItemChanged(row, true);
}

// ---- CStampListBar ----------------------------------------------------------------------

CStampListBar::CStampListBar(QWidget* parent)
    : CSizingControlBarG(parent), m_pList(new CStampListCtrl), m_panel(*m_pList) {
    m_pList->SetPanel(&m_panel);
    m_pList->hide();
}

CStampListBar::~CStampListBar() {
    // The workers stop before the rows they report to go.
    m_pWork.reset();
    // The list goes before the panel it reports to.
    m_pList->SetPanel(nullptr);
    delete m_pList;
}

bool CStampListBar::Create(const QString& title, QMainWindow* frame, unsigned id) {
    if (!CSizingControlBarG::Create(title, frame, id))
        return false;
    // No draggable edges of our own (the docking does the sizing); the list fills the bar.
    SetBarStyle((BarStyle() & ~SCBS_EDGEALL) | SCBS_SHOWEDGES | SCBS_SIZECHILD);
    SetChild(m_pList);
    m_pList->show();
    // Columns and rows come with the first fill.
    return true;
}

int CStampListBar::FillOnce(const CStampList& list) {
    const bool first = m_pLoader == nullptr && m_pList->RowCount() == 0;
    const int rows = m_panel.FillOnce(list);
    if (first && rows > 0 && rows == list.GetCount()) {
        std::vector<std::string> paths;
        for (const CStampListEntry& entry : list.Entries())
            paths.push_back(entry.m_strStampFile);
        m_pLoader = new CRowVerdictLoader(m_pList, std::move(paths));
        if (m_pWork != nullptr) {
            // The times first, then every entry against its source file: the time and
            // status columns fill in as the workers get through them.
            m_pWork->ReadMissingTimes();
            (void)m_pWork->CheckAll();
            DeliverWork();
        }
    }
    return rows;
}

void CStampListBar::SetRegistry(CStampList* registry) {
    m_pWork.reset();
    if (registry == nullptr)
        return;
    // A worker asks for one delivery on the window's thread; results that come meanwhile
    // wait for it. A request still queued when the bar goes is dropped with it.
    m_pWork = std::make_unique<CStampListWork>(*registry, m_panel, [this] {
        QMetaObject::invokeMethod(
            this, [this] { DeliverWork(); }, Qt::QueuedConnection);
    });
}

bool CStampListBar::CheckAll() {
    if (m_pWork == nullptr || !m_pWork->CheckAll())
        return false;
    DeliverWork();
    return true;
}

void CStampListBar::DeliverWork() {
    if (m_pWork == nullptr)
        return;
    m_pWork->Deliver();
    emit workProgress(static_cast<int>(m_pWork->Done()), static_cast<int>(m_pWork->Total()));
}

// ---- Verdict badges ---------------------------------------------------------------------

namespace {

constexpr int kBadgeRole = Qt::UserRole + 1;

} // namespace

void CStampListCtrl::SetRowVerdict(int row, const RowVerdict& verdict) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (row < 0 || item == nullptr)
        return;
    item->setData(0, kBadgeRole, static_cast<int>(verdict.badge));
    item->setIcon(0, RowBadgeIcon(verdict.badge));
    const QString tip = ToQString(verdict.tooltip);
    for (int column = 0; column < std::max(1, m_nColumns); ++column)
        item->setToolTip(column, tip);
}

void CStampListCtrl::SetLoadedRowVerdict(int row, const RowVerdict& verdict, unsigned generation) {
    if (generation == m_nRowsGeneration && RowBadgeOf(row) == RowBadge::None)
        SetRowVerdict(row, verdict);
}

RowBadge CStampListCtrl::RowBadgeOf(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    if (row < 0 || item == nullptr)
        return RowBadge::None;
    return static_cast<RowBadge>(item->data(0, kBadgeRole).toInt());
}

std::string CStampListCtrl::RowTooltip(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return row < 0 || item == nullptr ? std::string() : item->toolTip(0).toStdString();
}
