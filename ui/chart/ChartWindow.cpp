#include "ui/chart/ChartWindow.h"

#include "platform/Exceptions.h"
#include "ui/ErrorGuard.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace
{

QComboBox* comboBox(const QString& name, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    return box;
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

// A label for control, which it names for the keyboard (Alt+letter) and screen readers.
QLabel* labelFor(const QString& caption, QWidget* control)
{
    auto* label = new QLabel(caption, control->parentWidget());
    label->setBuddy(control);
    control->setAccessibleName(QString(caption).remove(QLatin1Char('&')).remove(QLatin1Char(':')).trimmed());
    return label;
}

} // namespace

ChartWindow::ChartWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FicheGraphique"));
    setWindowTitle(QStringLiteral("Graphique"));
    resize(900, 600);

    ComboBoxGenre = comboBox(QStringLiteral("ComboBoxGenre"), this);
    for (const QString& kind : { QStringLiteral("Barres"), QStringLiteral("Lignes"), QStringLiteral("Aires"),
             QStringLiteral("Secteurs"), QStringLiteral("Nuage de points") })
        ComboBoxGenre->addItem(kind);
    ComboBoxAxeX = comboBox(QStringLiteral("ComboBoxAxeX"), this);
    ListeValeurs = new QListWidget(this);
    ListeValeurs->setObjectName(QStringLiteral("ListeValeurs"));
    ListeValeurs->setMaximumWidth(220);
    BoutonEnregistrerImage = button(QStringLiteral("BoutonEnregistrerImage"), QStringLiteral("&Enregistrer l'image…"), this);
    BoutonImprimer = button(QStringLiteral("BoutonImprimer"), QStringLiteral("&Imprimer…"), this);
    LabelReduction = new QLabel(this);
    LabelReduction->setObjectName(QStringLiteral("LabelReduction"));
    LabelReduction->setWordWrap(true);
    LabelReduction->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    ChartViewGraphique = new QChartView(this);
    ChartViewGraphique->setObjectName(QStringLiteral("ChartViewGraphique"));
    ChartViewGraphique->setRenderHint(QPainter::Antialiasing);
    ChartViewGraphique->setFocusPolicy(Qt::StrongFocus);

    auto* top = new QHBoxLayout;
    top->addWidget(labelFor(QStringLiteral("&Genre :"), ComboBoxGenre));
    top->addWidget(ComboBoxGenre);
    top->addWidget(labelFor(QStringLiteral("&Catégories ou axe X :"), ComboBoxAxeX));
    top->addWidget(ComboBoxAxeX, 1);
    top->addWidget(BoutonEnregistrerImage);
    top->addWidget(BoutonImprimer);
    auto* values = new QVBoxLayout;
    values->addWidget(labelFor(QStringLiteral("&Valeurs :"), ListeValeurs));
    values->addWidget(ListeValeurs);
    auto* middle = new QHBoxLayout;
    middle->addLayout(values);
    middle->addWidget(ChartViewGraphique, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(middle, 1);
    all->addWidget(LabelReduction);

    m_resized.setSingleShot(true);
    m_resized.setInterval(150);
    connect(&m_resized, &QTimer::timeout, this, [this] {
        const QSize plot = ChartViewGraphique->chart()->plotArea().size().toSize();
        if (plot != m_drawnFor)
            redrawShown(false);
    });
    connect(ComboBoxGenre, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            redrawShown(false);
    });
    connect(ComboBoxAxeX, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_filling)
            redrawShown();
    });
    connect(ListeValeurs, &QListWidget::itemChanged, this, [this] {
        if (!m_filling)
            redrawShown();
    });
}

ChartWindow::~ChartWindow() = default;

void ChartWindow::setColumns(const std::vector<Column>& columns, Reader reader)
{
    m_reader = std::move(reader);
    // The same columns again (the result read anew, sorted): the choice made stays.
    if (!m_columns.empty() && columns == m_columns) {
        redrawShown();
        return;
    }
    m_columns = columns;
    m_filling = true;
    ComboBoxAxeX->clear();
    ListeValeurs->clear();
    auto* count = new QListWidgetItem(QStringLiteral("Nombre d'enregistrements"), ListeValeurs);
    count->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    for (const Column& column : columns) {
        ComboBoxAxeX->addItem(column.name, column.field);
        if (column.numeric) {
            auto* item = new QListWidgetItem(column.name, ListeValeurs);
            item->setData(Qt::UserRole, column.field);
            item->setFlags(count->flags());
        }
    }
    m_filling = false;
    ChartChoice first;
    first.kind = ChartChoice::Kind(ComboBoxGenre->currentIndex());
    const auto text = std::ranges::find_if(columns, [](const Column& c) { return !c.numeric; });
    const auto x = text == columns.end() ? columns.begin() : text;
    if (x != columns.end()) {
        first.xColumn = x->field;
        const auto value = std::find_if(x + 1, columns.end(), [](const Column& c) { return c.numeric; });
        if (value != columns.end())
            first.valueColumns.push_back(value->field);
    }
    first.count = first.valueColumns.empty();
    setChoice(first);
    try {
        m_data = m_reader(first);
    } catch (const Exception&) {
        redrawShown(); // says why in place of the chart
        return;
    }
    // Too many points for bars: a line at first.
    if (m_data.pointCount() > ChartDrawing::kMostBars) {
        m_filling = true;
        ComboBoxGenre->setCurrentIndex(ChartChoice::Lines);
        m_filling = false;
    }
    redrawShown(false);
}

ChartChoice ChartWindow::choice() const
{
    ChartChoice chosen;
    chosen.kind = ChartChoice::Kind(std::max(0, ComboBoxGenre->currentIndex()));
    chosen.xColumn = ComboBoxAxeX->currentData().isValid() ? ComboBoxAxeX->currentData().toInt() : -1;
    chosen.count = ListeValeurs->count() > 0 && ListeValeurs->item(0)->checkState() == Qt::Checked;
    for (int i = 1; i < ListeValeurs->count(); ++i)
        if (ListeValeurs->item(i)->checkState() == Qt::Checked)
            chosen.valueColumns.push_back(ListeValeurs->item(i)->data(Qt::UserRole).toInt());
    return chosen;
}

void ChartWindow::setChoice(const ChartChoice& choice)
{
    m_filling = true;
    ComboBoxGenre->setCurrentIndex(choice.kind);
    ComboBoxAxeX->setCurrentIndex(ComboBoxAxeX->findData(choice.xColumn));
    for (int i = 0; i < ListeValeurs->count(); ++i) {
        QListWidgetItem* item = ListeValeurs->item(i);
        const bool on = i == 0 ? choice.count
                               : !choice.count
                && std::ranges::count(choice.valueColumns, item->data(Qt::UserRole).toInt()) > 0;
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    m_filling = false;
}

void ChartWindow::draw()
{
    m_data = m_reader ? m_reader(choice()) : ChartData {};
    paint();
}

void ChartWindow::paint()
{
    QSize plot = ChartViewGraphique->chart()->plotArea().size().toSize();
    if (plot.isEmpty())
        plot = ChartViewGraphique->viewport()->size() - QSize(120, 100);
    plot *= ChartViewGraphique->devicePixelRatio();
    m_summary = ChartDrawing::draw(*ChartViewGraphique->chart(), m_data, choice().kind, plot, darkPalette());
    m_drawnFor = ChartViewGraphique->chart()->plotArea().size().toSize();
    showSummary();
}

void ChartWindow::redrawShown(bool read)
{
    try {
        if (read)
            draw();
        else
            paint();
    } catch (const Exception& e) {
        ChartViewGraphique->chart()->removeAllSeries();
        m_summary = {};
        LabelReduction->setText(ErrorGuard::withFinalDot(e.message()));
        ChartViewGraphique->setAccessibleName(QStringLiteral("Graphique vide"));
        ChartViewGraphique->setAccessibleDescription(LabelReduction->text());
    }
}

void ChartWindow::showSummary()
{
    const QLocale locale;
    QString status;
    if (m_summary.reduced())
        status = QStringLiteral("Réduction pour l'affichage : %1 points dessinés par %2 (dans chaque colonne de pixels, "
                                "le premier, le plus bas, le plus haut et le dernier), la forme reste exacte.")
                     .arg(locale.toString(m_summary.points), locale.toString(m_summary.drawn));
    else
        status = QStringLiteral("%1 points.").arg(locale.toString(m_summary.points));
    if (m_data.skipped > 0)
        status += QStringLiteral(" %1 enregistrements sans valeur de l'axe X laissés de côté.")
                      .arg(locale.toString(m_data.skipped));
    LabelReduction->setText(status);
    ChartViewGraphique->setAccessibleName(m_summary.name);
    ChartViewGraphique->setAccessibleDescription(m_summary.description);
}

bool ChartWindow::darkPalette() const
{
    return palette().color(QPalette::Window).lightness() < 128;
}

void ChartWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_resized.start();
}

void ChartWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_reader)
        redrawShown(false);
}
