#include "app/ResultChart.h"

#include "app/ResultExport.h"
#include "platform/Exceptions.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/DBGrid.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QShortcut>

#ifdef VELOSQL_CHARTS
#include "export/ChartRows.h"
#include "export/ExportedFields.h"
#include "output/printing/QtPrinter.h"
#include "platform/AtomicFile.h"
#include "ui/chart/ChartImage.h"
#include "ui/chart/ChartWindow.h"

#include <QChartView>
#include <QPrinter>
#include <QPushButton>
#endif

namespace
{

#ifdef VELOSQL_CHARTS
// The save dialog's entries, in the order of the formats.
const ChartImage::Format kFormats[] = { ChartImage::Format::Png, ChartImage::Format::Svg, ChartImage::Format::Pdf };
#endif

} // namespace

ResultChart::ResultChart(QWidget* window, TDBGrid* grid, QMenu* headerMenu, QPrinter& printer)
    : QObject(window)
    , m_window(window)
    , m_grid(grid)
    , m_printer(printer)
{
    SaveDialogImage.title = QStringLiteral("Enregistrer l'image");
    SaveDialogImage.filters = { QStringLiteral("Images PNG (*.png)"), QStringLiteral("Images SVG (*.svg)"),
        QStringLiteral("Documents PDF (*.pdf)") };
    SaveDialogImage.directory = QDir::homePath();
    const QKeySequence keys(Qt::CTRL | Qt::SHIFT | Qt::Key_G);
    PopupGraphique = headerMenu->addAction(QStringLiteral("Graphique…"));
    PopupGraphique->setObjectName(QStringLiteral("PopupGraphique"));
    PopupGraphique->setShortcut(keys);
    using ErrorGuard::connectGuarded;
    connectGuarded(PopupGraphique, &QAction::triggered, this, &ResultChart::showChart);
    connectGuarded(new QShortcut(keys, window), &QShortcut::activated, this, &ResultChart::showChart);
}

ResultChart::~ResultChart() = default;

bool ResultChart::available()
{
#ifdef VELOSQL_CHARTS
    return true;
#else
    return false;
#endif
}

QString ResultChart::unavailableMessage()
{
    return QStringLiteral("Le graphique n'est pas disponible dans cette version de VeloSQL, faite sans Qt Charts");
}

#ifdef VELOSQL_CHARTS

void ResultChart::showChart()
{
    const TDataSet& data = ExportedFields::checked(m_grid->dataSet());
    std::vector<ChartWindow::Column> columns;
    for (const int field : ResultExport::shownFields(*m_grid))
        columns.push_back({ field, data.field(field)->displayLabel(), ChartRows::isNumeric(data.field(field)->dataType()) });
    if (!m_chart) {
        m_chart = new ChartWindow(m_window);
        using ErrorGuard::connectGuarded;
        connectGuarded(m_chart->BoutonEnregistrerImage, &QPushButton::clicked, this, &ResultChart::saveImage);
        connectGuarded(m_chart->BoutonImprimer, &QPushButton::clicked, this, &ResultChart::printChart);
    }
    // Shown first: the chart is drawn for the size of its plot.
    m_chart->show();
    m_chart->raise();
    m_chart->activateWindow();
    m_chart->setColumns(columns, [this](const ChartChoice& choice) {
        return ChartRows::read(ExportedFields::checked(m_grid->dataSet()), choice);
    });
}

void ResultChart::saveImage()
{
    const auto chosen = Dialogs::instance().saveFile(m_chart, SaveDialogImage);
    if (!chosen)
        return;
    const int entry = std::clamp(chosen->filterIndex, 1, int(std::size(kFormats))) - 1;
    const ChartImage::Format format = kFormats[entry];
    QString fileName = chosen->fileName;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QLatin1Char('.') + ChartImage::extension(format);
    SaveDialogImage.fileName = fileName;
    SaveDialogImage.filterIndex = entry + 1;
    // Written beside the target and renamed over it when complete.
    AtomicFile file(fileName);
    file.write(ChartImage::render(*m_chart->ChartViewGraphique, format));
    file.commit();
}

void ResultChart::printChart()
{
    Dialogs::PrintSetup setup;
    setup.allowSelection = false;
    setup.allowPageRange = false;
    if (!Dialogs::instance().print(m_chart, m_printer, setup))
        return;
    // Without a printer, Qt's printer stands ready for a PDF file, and prints nothing
    // until one is named.
    const bool toFile = m_printer.outputFormat() == QPrinter::PdfFormat;
    if (toFile ? m_printer.outputFileName().isEmpty() : !m_printer.isValid())
        throw EPrinter(QStringLiteral("Impossible d'imprimer : aucune imprimante n'est installée. "
                                      "Choisissez l'impression dans un fichier PDF"));
    QtPrinter printer(m_printer);
    printer.beginDoc();
    ChartImage::paint(*m_chart->ChartViewGraphique, printer.painter(),
        QRectF(0, 0, printer.pageWidth(), printer.pageHeight()));
    printer.endDoc();
}

#else

void ResultChart::showChart()
{
    throw Exception(unavailableMessage());
}

void ResultChart::saveImage()
{
    throw Exception(unavailableMessage());
}

void ResultChart::printChart()
{
    throw Exception(unavailableMessage());
}

#endif
