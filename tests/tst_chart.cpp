#include "Golden.h"
#include "QueryFixture.h"
#include "QueryWindow.h"
#include "app/ResultChart.h"
#include "data/ChartReduction.h"
#include "export/ChartRows.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPrinter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#ifdef VELOSQL_CHARTS
#include "ui/chart/ChartWindow.h"

#include <QChart>
#include <QChartView>
#include <QPushButton>
#endif

Q_DECLARE_METATYPE(std::vector<QPointF>)

namespace
{

// Points made by a rule: n of them, X in increasing order unless shuffled.
std::vector<QPointF> pointsBy(const QString& rule, int n, bool shuffled)
{
    QRandomGenerator random(7);
    std::vector<QPointF> points;
    for (int i = 0; i < n; ++i) {
        const double x = rule == QLatin1String("uneven x") ? std::pow(i, 1.7) : i;
        double y = 0;
        if (rule == QLatin1String("sine and noise"))
            y = std::sin(i / 500.0) * 100 + random.bounded(20.0);
        else if (rule == QLatin1String("steps"))
            y = (i / 997) % 3;
        else if (rule == QLatin1String("spikes"))
            y = i % 1013 == 0 ? 1e6 : -double(i % 7);
        else if (rule == QLatin1String("uneven x"))
            y = random.bounded(1000);
        points.emplace_back(x, y);
    }
    if (shuffled)
        std::shuffle(points.begin(), points.end(), std::mt19937(3));
    return points;
}

int columnOf(double x, double left, double right, int columns)
{
    if (!(right > left))
        return 0;
    return std::clamp(int(std::floor((x - left) / (right - left) * columns)), 0, columns - 1);
}

struct Extremes {
    double low = qInf(), high = -qInf();
};

std::map<int, Extremes> extremesByColumn(const std::vector<QPointF>& points, double left, double right, int columns)
{
    std::map<int, Extremes> found;
    for (const QPointF& p : points) {
        Extremes& e = found[columnOf(p.x(), left, right, columns)];
        e.low = std::min(e.low, p.y());
        e.high = std::max(e.high, p.y());
    }
    return found;
}

// Whether kept is drawn from points in their order.
bool inOrderFrom(const std::vector<QPointF>& kept, const std::vector<QPointF>& points)
{
    size_t at = 0;
    for (const QPointF& p : kept) {
        while (at < points.size() && points[at] != p)
            ++at;
        if (at++ >= points.size())
            return false;
    }
    return true;
}

// A chart's data in words: the axis, the X values (categories, numbers, or dates
// in ISO form), each series' values, and the records left out.
QString described(const ChartData& chart)
{
    static const char* const axes[] = { "categories", "numbers", "dates", "times", "datetimes" };
    QStringList xs;
    for (size_t i = 0; i < chart.x.size(); ++i) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(qint64(chart.x[i]));
        switch (chart.axis) {
        case ChartData::Axis::Category:
            xs += chart.categories.value(qsizetype(chart.x[i]));
            break;
        case ChartData::Axis::Number:
            xs += QString::number(chart.x[i]);
            break;
        case ChartData::Axis::Date:
            xs += at.date().toString(Qt::ISODate);
            break;
        case ChartData::Axis::Time:
            xs += at.time().toString(Qt::ISODate);
            break;
        case ChartData::Axis::DateTime:
            xs += at.toString(Qt::ISODate);
            break;
        }
    }
    QStringList parts { QString::fromLatin1(axes[int(chart.axis)]), xs.join(QLatin1Char(',')) };
    for (const ChartData::Series& s : chart.series) {
        QStringList ys;
        for (const double y : s.y)
            ys += std::isnan(y) ? QStringLiteral("-") : QString::number(y);
        parts += s.name + QLatin1Char('=') + ys.join(QLatin1Char(','));
    }
    if (chart.skipped)
        parts += QStringLiteral("skipped %1").arg(chart.skipped);
    return parts.join(QLatin1Char('|'));
}

} // namespace

// The chart of a result: the reduction that draws a million points, the data read as
// the grid shows the result, and the window with its image files and its print.
class TestChart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void reductionKeepsWhatEachPixelColumnShows_data();
    void reductionKeepsWhatEachPixelColumnShows();
    void scatterKeepsEveryCellThatHoldsAPoint();
    void readsTheResultAsShown_data();
    void readsTheResultAsShown();
    void windowDrawsTheResultAndSaysWhatItShows();
    void imageFilesAreWrittenWhole_data();
    void imageFilesAreWrittenWhole();
    void printsThroughTheResultsPrintDialog();
    void darkPaletteDrawsTheDarkTheme();
};

void TestChart::reductionKeepsWhatEachPixelColumnShows_data()
{
    QTest::addColumn<std::vector<QPointF>>("points");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("sorted");
    QTest::newRow("sine and noise") << pointsBy(QStringLiteral("sine and noise"), 100000, false) << 800 << true;
    QTest::newRow("steps") << pointsBy(QStringLiteral("steps"), 50000, false) << 333 << true;
    QTest::newRow("spikes between lows") << pointsBy(QStringLiteral("spikes"), 50000, false) << 640 << true;
    QTest::newRow("uneven x") << pointsBy(QStringLiteral("uneven x"), 20000, false) << 500 << true;
    QTest::newRow("fewer points than columns") << pointsBy(QStringLiteral("sine and noise"), 50, false) << 800 << true;
    QTest::newRow("one column") << pointsBy(QStringLiteral("sine and noise"), 1000, false) << 1 << true;
    QTest::newRow("all at one x") << std::vector<QPointF> { { 5, 1 }, { 5, -3 }, { 5, 8 }, { 5, 2 }, { 5, 0 } } << 100
                                  << true;
    QTest::newRow("one point") << std::vector<QPointF> { { 1, 1 } } << 10 << true;
    QTest::newRow("none") << std::vector<QPointF> {} << 10 << true;
    QTest::newRow("shuffled x") << pointsBy(QStringLiteral("sine and noise"), 5000, true) << 100 << false;
}

void TestChart::reductionKeepsWhatEachPixelColumnShows()
{
    QFETCH(std::vector<QPointF>, points);
    QFETCH(int, columns);
    QFETCH(bool, sorted);
    double left = qInf(), right = -qInf();
    for (const QPointF& p : points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
    }
    const std::vector<QPointF> kept = ChartReduction::columns(points, left, right, columns);
    QVERIFY(inOrderFrom(kept, points));
    const auto all = extremesByColumn(points, left, right, columns);
    const auto shown = extremesByColumn(kept, left, right, columns);
    QCOMPARE(shown.size(), all.size());
    for (const auto& [column, extremes] : all) {
        QCOMPARE(shown.at(column).low, extremes.low);
        QCOMPARE(shown.at(column).high, extremes.high);
    }
    if (!points.empty()) {
        QCOMPARE(kept.front(), points.front());
        QCOMPARE(kept.back(), points.back());
    }
    if (sorted)
        QVERIFY(kept.size() <= size_t(columns) * 4);
}

void TestChart::scatterKeepsEveryCellThatHoldsAPoint()
{
    const std::vector<QPointF> points = pointsBy(QStringLiteral("sine and noise"), 200000, true);
    const QRectF box(0, -100, 199999, 220);
    const int columns = 300, rows = 200;
    const std::vector<QPointF> kept = ChartReduction::cells(points, box, columns, rows);
    const auto cellsOf = [&](const std::vector<QPointF>& of) {
        std::set<std::pair<int, int>> cells;
        for (const QPointF& p : of)
            cells.emplace(columnOf(p.x(), box.left(), box.right(), columns), columnOf(p.y(), box.top(), box.bottom(), rows));
        return cells;
    };
    QCOMPARE(cellsOf(kept), cellsOf(points));
    QCOMPARE(kept.size(), cellsOf(points).size());
    QVERIFY(inOrderFrom(kept, points));
}

void TestChart::readsTheResultAsShown_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("sortBy"); // -1: the query's order; else descending
    QTest::addColumn<int>("x");
    QTest::addColumn<QList<int>>("values"); // empty: the count of records
    QTest::addColumn<QString>("expected");
    const QString visits = QStringLiteral("CREATE TABLE t (MOTIF VARCHAR(20), DUREE INTEGER, TARIF MONEY, JOUR DATE);"
                                          "INSERT INTO t VALUES ('Vaccin', 10, 25, '2024-03-07'),"
                                          "('Suivi', 20, 30.5, '2024-01-15'), ('Vaccin', 15, NULL, NULL),"
                                          "(NULL, 30, 'gratuit', '2024-02-01')");
    QTest::newRow("texts as categories, nulls left out") << visits << -1 << 0 << QList<int> { 1, 2 }
                                                         << "categories|Vaccin,Suivi,Vaccin|DUREE=10,20,15|"
                                                            "TARIF=25,30.5,-|skipped 1";
    QTest::newRow("in the order the grid shows") << visits << 1 << 0 << QList<int> { 1 }
                                                 << "categories|Suivi,Vaccin,Vaccin|DUREE=20,15,10|skipped 1";
    QTest::newRow("count per category, in the order they come")
        << visits << -1 << 0 << QList<int> {} << "categories|Vaccin,Suivi|Nombre d'enregistrements=2,1|skipped 1";
    QTest::newRow("numbers on a number axis") << visits << -1 << 1 << QList<int> { 2 }
                                              << "numbers|10,20,15,30|TARIF=25,30.5,-,-";
    QTest::newRow("count per number, increasing")
        << QStringLiteral("CREATE TABLE t (N INTEGER); INSERT INTO t VALUES (3), (1), (3), (2), (3)") << -1 << 0
        << QList<int> {} << "numbers|1,2,3|Nombre d'enregistrements=1,1,3";
    QTest::newRow("dates on a time axis") << visits << -1 << 3 << QList<int> { 1 }
                                          << "dates|2024-03-07,2024-01-15,2024-02-01|DUREE=10,20,30|skipped 1";
    QTest::newRow("ISO date texts on a time axis")
        << QStringLiteral("CREATE TABLE t (A INTEGER); INSERT INTO t VALUES (1), (2)") << -1 << 0 << QList<int> { 1 }
        << "dates|2024-05-01,2024-06-01|visites=7,9";
    QTest::newRow("a text that is no date makes categories")
        << QStringLiteral("CREATE TABLE t (M VARCHAR(10), V INTEGER); INSERT INTO t VALUES ('2024-05-01', 1),"
                          "('mai', 2)")
        << -1 << 0 << QList<int> { 1 } << "categories|2024-05-01,mai|V=1,2";
    QTest::newRow("no record") << QStringLiteral("CREATE TABLE t (M VARCHAR(10), V INTEGER)") << -1 << 0
                               << QList<int> { 1 } << "categories||V=";
    QTest::newRow("times of day") << QStringLiteral("CREATE TABLE t (H TIME, V INTEGER); INSERT INTO t VALUES "
                                                    "('08:30:00', 1), ('14:05:10', 2)")
                                  << -1 << 0 << QList<int> { 1 } << "times|08:30:00,14:05:10|V=1,2";
}

void TestChart::readsTheResultAsShown()
{
    QFETCH(QString, setup);
    QFETCH(int, sortBy);
    QFETCH(int, x);
    QFETCH(QList<int>, values);
    QFETCH(QString, expected);
    const bool isoTexts = setup.startsWith(QLatin1String("CREATE TABLE t (A"));
    QueryFixture f(setup,
        isoTexts ? QStringLiteral("SELECT date('2024-05-01', '+' || (A - 1) || ' months') AS mois, 5 + 2 * A AS visites FROM t")
                 : QStringLiteral("SELECT * FROM t"));
    if (sortBy >= 0)
        QVERIFY(f.query.sortBy(sortBy, Qt::DescendingOrder));
    ChartChoice choice;
    choice.xColumn = x;
    choice.valueColumns.assign(values.begin(), values.end());
    choice.count = values.isEmpty();
    QCOMPARE(described(ChartRows::read(f.query, choice)), expected);
}

#ifdef VELOSQL_CHARTS

namespace
{

// The query window with a result, and its chart opened by Ctrl+Shift+G.
ChartWindow* openChart(QueryWindow& q, const QString& setup, const QString& select)
{
    q.createDatabase(setup);
    q.createWindow();
    if (!q.showActive())
        return nullptr;
    q.run(select);
    QTest::keyClick(q.window->ComboBoxSQL, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    return q.window->GraphiqueResultat->chartWindow();
}

const QString kSeries = QStringLiteral(
    "CREATE TABLE t (N INTEGER, V REAL); WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
    "WHERE n < 20000) INSERT INTO t SELECT n, sin(n / 300.0) * 50 FROM s");

} // namespace

void TestChart::windowDrawsTheResultAndSaysWhatItShows()
{
    QueryWindow q;
    ChartWindow* chart = openChart(q, kSeries, QStringLiteral("SELECT N AS rang, V AS mesure FROM t"));
    QVERIFY(chart);
    QVERIFY(chart->isVisible());
    // Too many points for bars: lines, reduced to what the plot shows.
    QCOMPARE(chart->ComboBoxGenre->currentText(), QStringLiteral("Lignes"));
    QCOMPARE(chart->ChartViewGraphique->chart()->title(), QStringLiteral("mesure par rang"));
    QCOMPARE(chart->ChartViewGraphique->accessibleName(), QStringLiteral("Graphique en lignes : mesure par rang"));
    const QString description = chart->ChartViewGraphique->accessibleDescription();
    QVERIFY2(description.startsWith(QStringLiteral("Graphique en lignes ; série : mesure ; 20\u202f000 points ; "
                                                   "rang de 1 à 20\u202f000, valeurs de -50 à 50"))
            || description.startsWith(QStringLiteral("Graphique en lignes ; série : mesure ; 20 000 points ; "
                                                     "rang de 1 à 20 000, valeurs de -50 à 50")),
        qPrintable(description));
    QVERIFY(chart->summary().reduced());
    QVERIFY(chart->LabelReduction->text().startsWith(QStringLiteral("Réduction pour l'affichage")));

    // Bars of the count per category; a sort of the grid is drawn when asked again.
    // The header menu's entry asks again.
    q.run(QStringLiteral("SELECT CASE WHEN N % 3 = 0 THEN 'trois' ELSE 'autre' END AS genre, N FROM t"));
    q.window->GraphiqueResultat->PopupGraphique->trigger();
    chart->ComboBoxGenre->setCurrentIndex(ChartChoice::Bars);
    chart->setChoice({ ChartChoice::Bars, 0, {}, true });
    chart->draw();
    QVERIFY(!chart->summary().reduced());
    QCOMPARE(chart->summary().points, 2);
    QCOMPARE(chart->ChartViewGraphique->chart()->title(), QStringLiteral("Nombre d'enregistrements par genre"));
    // A pie of too many slices says so in place of the chart.
    q.run(QStringLiteral("SELECT N, V FROM t"));
    q.window->GraphiqueResultat->PopupGraphique->trigger();
    chart->ComboBoxGenre->setCurrentIndex(ChartChoice::Pie);
    QVERIFY2(chart->LabelReduction->text().startsWith(QStringLiteral("Trop de secteurs")),
        qPrintable(chart->LabelReduction->text()));
    // No record: an empty chart that says so.
    q.run(QStringLiteral("SELECT N, V FROM t WHERE N < 0"));
    q.window->GraphiqueResultat->PopupGraphique->trigger();
    chart->ComboBoxGenre->setCurrentIndex(ChartChoice::Scatter);
    QCOMPARE(chart->summary().points, 0);
    QVERIFY2(chart->ChartViewGraphique->accessibleDescription().endsWith(QStringLiteral("; aucune valeur")),
        qPrintable(chart->ChartViewGraphique->accessibleDescription()));
}

void TestChart::imageFilesAreWrittenWhole_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("PNG, its extension added") << 1 << "image"
                                              << "image.png" << QByteArray("\x89PNG\r\n");
    QTest::newRow("SVG") << 2 << "image.svg"
                         << "image.svg" << QByteArray("<?xml");
    QTest::newRow("PDF by the entry, whatever the name") << 3 << "image.png"
                                                         << "image.png" << QByteArray("%PDF-");
}

void TestChart::imageFilesAreWrittenWhole()
{
    QFETCH(int, entry);
    QFETCH(QString, name);
    QFETCH(QString, written);
    QFETCH(QByteArray, start);
    QueryWindow q;
    ChartWindow* chart = openChart(q, kSeries, QStringLiteral("SELECT N, V FROM t"));
    QVERIFY(chart);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(written), "old"));
    q.dialogs->saveAnswers << Dialogs::SaveFileResult { dir.filePath(name), entry };
    chart->BoutonEnregistrerImage->click();
    QCOMPARE(q.dialogs->messageTexts(), QStringList());
    QCOMPARE(q.dialogs->callsOf(QStringLiteral("save")).front().save.filters.size(), 3);
    const QByteArray bytes = fileBytes(dir.filePath(written));
    QVERIFY2(bytes.startsWith(start), bytes.left(16).constData());
    if (entry == 2)
        QVERIFY(bytes.contains("Graphique en lignes"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

void TestChart::printsThroughTheResultsPrintDialog()
{
    QueryWindow q;
    ChartWindow* chart = openChart(q, kSeries, QStringLiteral("SELECT N, V FROM t"));
    QVERIFY(chart);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("graphique.pdf"));
    QPrinter* used = nullptr;
    q.dialogs->printAnswers << [&](QPrinter& printer) {
        used = &printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    };
    chart->BoutonImprimer->click();
    QCOMPARE(q.dialogs->messageTexts(), QStringList());
    QCOMPARE(used, q.window->PrintDialogSQL.get());
    QVERIFY(fileBytes(pdf).startsWith("%PDF-"));
    // Cancelled: nothing is printed.
    chart->BoutonImprimer->click();
    QCOMPARE(q.dialogs->callsOf(QStringLiteral("print")).size(), 2);
}

void TestChart::darkPaletteDrawsTheDarkTheme()
{
    QueryWindow q;
    ChartWindow* chart = openChart(q, kSeries, QStringLiteral("SELECT N, V FROM t"));
    QVERIFY(chart);
    QCOMPARE(chart->ChartViewGraphique->chart()->theme(), QChart::ChartThemeLight);
    QPalette dark = chart->palette();
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    chart->setPalette(dark);
    QCOMPARE(chart->ChartViewGraphique->chart()->theme(), QChart::ChartThemeDark);
}

#else

void TestChart::windowDrawsTheResultAndSaysWhatItShows()
{
    // Built without Qt Charts: the command says so.
    QueryWindow q;
    q.createDatabase(QStringLiteral("CREATE TABLE t (N INTEGER)"));
    q.createWindow();
    QVERIFY(q.showActive());
    q.run(QStringLiteral("SELECT * FROM t"));
    QTest::keyClick(q.window->ComboBoxSQL, Qt::Key_G, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(q.dialogs->messageTexts(), QStringList { ResultChart::unavailableMessage() + QLatin1Char('.') });
}

void TestChart::imageFilesAreWrittenWhole_data() { }
void TestChart::imageFilesAreWrittenWhole()
{
    QSKIP("built without Qt Charts");
}
void TestChart::printsThroughTheResultsPrintDialog()
{
    QSKIP("built without Qt Charts");
}
void TestChart::darkPaletteDrawsTheDarkTheme()
{
    QSKIP("built without Qt Charts");
}

#endif

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
