#include "ui/widgets/DBGrid.h"

#include "data/DataSet.h"
#include "ui/ErrorGuard.h"

#include <QApplication>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QtMath>

namespace
{
// What a grid cell shows of a long text: its first line, cut short.
constexpr qsizetype kCellTextLimit = 256;

// The mark of a filtered column: a funnel, in the colour of the header's text.
QIcon filterMark()
{
    const QColor colour = QGuiApplication::palette().color(QPalette::ButtonText);
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const QPointF funnel[] = { { 0.5, 1 }, { 11.5, 1 }, { 7, 6 }, { 7, 11 }, { 5, 10 }, { 5, 6 } };
    painter.drawPolygon(funnel, int(std::size(funnel)));
    return QIcon(pixmap);
}

// The grid's header: a filtered column's funnel is drawn within the height of the
// captions, so that the header keeps its height when a column is filtered.
class GridHeader : public QHeaderView
{
public:
    explicit GridHeader(QWidget* parent)
        : QHeaderView(Qt::Horizontal, parent)
    {
        setSectionsClickable(true);
    }

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override
    {
        QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
        if (!model() || !model()->headerData(logicalIndex, orientation(), Qt::DecorationRole).isValid())
            return size;
        QStyleOptionHeader caption;
        initStyleOption(&caption);
        caption.section = logicalIndex;
        caption.text = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
        size.setHeight(style()->sizeFromContents(QStyle::CT_HeaderSection, &caption, QSize(), this).height());
        return size;
    }
};
}

DataSetModel::DataSetModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void DataSetModel::setDataSet(TDataSet* dataSet)
{
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    if (m_dataSet) {
        connect(m_dataSet, &TDataSet::layoutChanged, this, &DataSetModel::rebuild);
        // The same rows at other places: every cell shown is read again.
        connect(m_dataSet, &TDataSet::orderChanged, this, [this] {
            if (rowCount() > 0 && columnCount() > 0)
                emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        });
        connect(m_dataSet, &TDataSet::rowsChanged, this, &DataSetModel::replaceRows);
        connect(m_dataSet, &TDataSet::recordChanged, this, [this] {
            if (m_dataSet && m_dataSet->recNo() >= 0 && !m_fieldIndexes.isEmpty())
                emit dataChanged(
                    index(int(m_dataSet->recNo()), 0), index(int(m_dataSet->recNo()), int(m_fieldIndexes.size()) - 1));
        });
    }
    rebuild();
}

void DataSetModel::rebuild()
{
    beginResetModel();
    m_fieldIndexes.clear();
    if (m_dataSet && m_dataSet->active())
        for (int i = 0; i < m_dataSet->fieldCount(); ++i)
            if (m_dataSet->field(i)->visible())
                m_fieldIndexes.append(i);
    m_rows = m_dataSet && !m_fieldIndexes.isEmpty() ? int(qMin<qsizetype>(m_dataSet->recordCount(), INT_MAX)) : 0;
    endResetModel();
}

void DataSetModel::replaceRows()
{
    if (m_rows > 0) {
        beginRemoveRows({}, 0, m_rows - 1);
        m_rows = 0;
        endRemoveRows();
    }
    const int rows = m_dataSet && !m_fieldIndexes.isEmpty() ? int(qMin<qsizetype>(m_dataSet->recordCount(), INT_MAX)) : 0;
    if (rows > 0) {
        beginInsertRows({}, 0, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
    if (!m_fieldIndexes.isEmpty())
        emit headerDataChanged(Qt::Horizontal, 0, int(m_fieldIndexes.size()) - 1);
}

TField* DataSetModel::fieldOfColumn(int column) const
{
    if (!m_dataSet || column < 0 || column >= m_fieldIndexes.size() || !m_dataSet->active())
        return nullptr;
    return m_dataSet->field(m_fieldIndexes[column]);
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_fieldIndexes.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    TField* f = fieldOfColumn(index.column());
    if (!f)
        return {};
    const CellRef c = f->cellAt(index.row());
    // Binary contents are not shown as text; memos show their first line.
    if (f->showsBinary())
        return c.cls == CellClass::Null ? QString() : TField::binaryText();
    // Only the start of a long value is converted: one character past what is shown
    // tells that the text goes on.
    QString text = f->textStart(c, kCellTextLimit + 1);
    qsizetype lineEnd = text.indexOf(QLatin1Char('\r'));
    if (const qsizetype lf = text.indexOf(QLatin1Char('\n')); lf >= 0 && (lineEnd < 0 || lf < lineEnd))
        lineEnd = lf;
    if (lineEnd >= 0 || text.size() > kCellTextLimit) {
        qsizetype shown = qMin(lineEnd >= 0 ? lineEnd : text.size(), kCellTextLimit);
        // A character of two code units is shown whole or not at all.
        if (shown > 0 && text[shown - 1].isHighSurrogate() && shown < text.size() && text[shown].isLowSurrogate())
            --shown;
        text.truncate(shown);
        text.append(QChar(0x2026));
    }
    return text;
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    TField* f = orientation == Qt::Horizontal ? fieldOfColumn(section) : nullptr;
    if (!f)
        return {};
    if (role == Qt::DisplayRole)
        return f->fieldName();
    const RowFilter::Condition* condition = m_dataSet->filterOf(f->index());
    if (!condition)
        return {};
    if (role == Qt::DecorationRole)
        return filterMark();
    if (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole)
        return QStringLiteral("Filtre : %1\n%2")
            .arg(RowFilter::described(*condition), RowFilter::shownOf(m_dataSet->recordCount(), m_dataSet->allRecordCount()));
    return {};
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

TDBGrid::TDBGrid(QWidget* parent, const QString& name)
    : QTableView(parent)
    , m_model(new DataSetModel(this))
{
    if (!name.isEmpty())
        setObjectName(name);
    setHorizontalHeader(new GridHeader(this));
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setShowGrid(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDBGrid::sizeColumns);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDBGrid::showSortIndicator);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_column = -1; });
    connect(m_model, &QAbstractItemModel::headerDataChanged, this, &TDBGrid::fitFilteredColumns);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TDBGrid::sortByColumn);
}

void TDBGrid::sortByColumn(int column)
{
    TField* f = m_model->fieldOfColumn(column);
    if (!f)
        return;
    TDataSet* ds = dataSet();
    // Ascending, then descending, then the query's own order.
    const auto sort = [ds, f](const ParallelParts::Progress& progress) {
        if (ds->sortField() != f->index())
            ds->sortBy(f->index(), Qt::AscendingOrder, progress);
        else if (ds->sortOrder() == Qt::AscendingOrder)
            ds->sortBy(f->index(), Qt::DescendingOrder, progress);
        else
            ds->sortBy(-1);
    };
    guarded([&] {
        if (m_longWork) {
            m_longWork(sort);
            return;
        }
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
        sort({});
    });
    showSortIndicator();
}

void TDBGrid::showSortIndicator()
{
    TDataSet* ds = dataSet();
    const int field = ds && ds->active() ? ds->sortField() : -1;
    int column = -1;
    for (int c = 0; field >= 0 && c < m_model->columnCount(); ++c)
        if (m_model->fieldOfColumn(c)->index() == field)
            column = c;
    // Shown only while sorted: an arrow takes room from the captions.
    horizontalHeader()->setSortIndicatorShown(column >= 0);
    horizontalHeader()->setSortIndicator(column, column >= 0 ? ds->sortOrder() : Qt::AscendingOrder);
}

void TDBGrid::fitFilteredColumns()
{
    TDataSet* ds = dataSet();
    for (int c = 0; ds && c < m_model->columnCount(); ++c)
        if (ds->filterOf(m_model->fieldOfColumn(c)->index()))
            setColumnWidth(c, qMax(columnWidth(c), horizontalHeader()->sectionSizeHint(c)));
}

void TDBGrid::setDataSource(TDataSource* source)
{
    TDataSet* ds = source ? source->dataSet() : nullptr;
    if (TDataSet* previous = dataSet()) {
        disconnect(previous, &TDataSet::currentChanged, this, &TDBGrid::scheduleSync);
        disconnect(previous, &TDataSet::layoutChanged, this, &TDBGrid::scheduleSync);
    }
    m_model->setDataSet(ds);
    if (ds) {
        connect(ds, &TDataSet::currentChanged, this, &TDBGrid::scheduleSync);
        connect(ds, &TDataSet::layoutChanged, this, &TDBGrid::scheduleSync);
    }
}

void TDBGrid::scheduleSync()
{
    // A walk moves the cursor record by record; the grid catches up once, from the
    // event loop, instead of repainting for every record passed.
    if (m_syncPending)
        return;
    m_syncPending = true;
    QMetaObject::invokeMethod(this, &TDBGrid::syncToDataSet, Qt::QueuedConnection);
}

void TDBGrid::syncToDataSet()
{
    m_syncPending = false;
    TDataSet* ds = dataSet();
    if (!ds || !ds->active() || ds->recNo() < 0 || m_model->columnCount() == 0)
        return;
    const int row = int(ds->recNo());
    const int column = currentIndex().isValid() ? currentIndex().column()
        : m_column >= 0                            ? m_column
                                                   : horizontalHeader()->logicalIndex(0);
    const QModelIndex target = m_model->index(row, column);
    if (target == currentIndex())
        return;
    m_syncing = true;
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
    m_syncing = false;
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        m_column = current.column();
    if (!m_syncing && current.isValid() && dataSet() && current.row() != previous.row())
        dataSet()->moveTo(current.row());
}

void TDBGrid::sizeColumns()
{
    // Widths in characters count digits, the widest common glyphs of data.
    // Counted in 64 bits: a declared size may be as large as an int holds.
    const qint64 charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    // Texts measured to the fraction of a pixel, rounded up as the style does.
    const QFontMetricsF metrics(font());
    // A cell's text keeps a margin either side, and the grid line takes a pixel.
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + int(showGrid());
    for (int c = 0; c < m_model->columnCount(); ++c) {
        TField* f = m_model->fieldOfColumn(c);
        const qint64 chars = f->columnCharacters();
        qint64 width = chars * charWidth + 8;
        for (const QString& text : f->widestTexts())
            width = qMax<qint64>(width, qCeil(metrics.horizontalAdvance(text)) + margins);
        // The caption shows whole too, in the header's own font and margins.
        width = qMax<qint64>(width, horizontalHeader()->sectionSizeHint(c));
        setColumnWidth(c, int(qBound<qint64>(4 * charWidth, width, 400)));
    }
}

TField* TDBGrid::selectedField() const
{
    return m_model->fieldOfColumn(currentIndex().column());
}

int TDBGrid::columnCountShown() const
{
    return m_model->columnCount();
}

TField* TDBGrid::fieldAtDisplayColumn(int visualIndex) const
{
    return m_model->fieldOfColumn(horizontalHeader()->logicalIndex(visualIndex));
}

void TDBGrid::mousePressEvent(QMouseEvent* event)
{
    // The right button opens a menu: the user's place in the result stays.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
    m_pressed = indexAt(event->position().toPoint());
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool click = event->button() == Qt::LeftButton && index.isValid() && index == m_pressed;
    QTableView::mouseReleaseEvent(event);
    if (click)
        emit cellClick(index.column());
}
