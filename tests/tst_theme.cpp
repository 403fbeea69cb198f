#include "QueryWindow.h"
#include "app/Intro.h"
#include "ui/FindDialog.h"
#include "ui/LoginDialogs.h"
#include "ui/sql/HistoryDialog.h"
#include "ui/sql/ParametersDialog.h"
#include "ui/sql/QueryEditor.h"
#include "ui/widgets/DBGrid.h"
#include "ui/widgets/ThemeColours.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <memory>

using ThemeColours::Ink;

// The program's colours under light and dark desktop themes, and its windows under a
// large system font.
class TestTheme : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void inksReadOnEveryTheme_data();
    void inksReadOnEveryTheme();
    void drawnColoursFollowThemeSwitch_data();
    void drawnColoursFollowThemeSwitch();
    void ownWindowsShowWholeTextsAt16Points_data();
    void ownWindowsShowWholeTextsAt16Points();
    void specifiedWindowsKeepTheirFonts();

private:
    QPalette m_palette;
    QFont m_font;
    QueryWindow m_q;
};

namespace
{

// A desktop theme's palette: its window and its boxes' base, each under its text; a
// window that is not the active one may have others.
QPalette themed(QColor window, QColor base, QColor text, QColor inactiveWindow = {}, QColor inactiveBase = {})
{
    QPalette p(text, QColor(window).lighter(110), QColor(window).lighter(150), QColor(window).darker(150),
        QColor(window).darker(120), text, Qt::white, base, window);
    if (inactiveWindow.isValid()) {
        p.setColor(QPalette::Inactive, QPalette::Window, inactiveWindow);
        p.setColor(QPalette::Inactive, QPalette::Base, inactiveBase);
    }
    return p;
}

// The themes a practice's desktop may have, named as their rows are.
QList<std::pair<const char*, QPalette>> themes()
{
    return {
        { "light, Fusion", QApplication::style()->standardPalette() },
        { "light, Windows", themed(QColor(240, 240, 240), Qt::white, Qt::black) },
        // qt6ct's "airy" draws a window that is not the active one on grey.
        { "light, qt6ct airy",
            themed(Qt::white, QColor(200, 200, 200), Qt::black, QColor(200, 200, 200), QColor(150, 150, 150)) },
        { "dark, qt6ct darker", themed(QColor(0x22, 0x20, 0x20), QColor(0x3d, 0x3d, 0x3d), Qt::white) },
        { "dark, Fusion", themed(QColor(53, 53, 53), QColor(42, 42, 42), Qt::white) },
        { "dark, Windows", themed(QColor(30, 30, 30), QColor(45, 45, 45), Qt::white) },
        // qt6ct's "dusk": the middle grey, on which neither shade reads as it is.
        { "mid grey, qt6ct dusk", themed(QColor(127, 127, 127), QColor(127, 127, 127), Qt::black) },
        { "high contrast", themed(Qt::black, Qt::black, Qt::white) },
    };
}

// Switches the application to a theme of themes(), as the desktop does while the
// program runs: the windows hear of it through the event loop.
void switchTheme(const QString& name)
{
    for (const auto& [n, palette] : themes())
        if (name == QLatin1String(n))
            QApplication::setPalette(palette);
    QCoreApplication::processEvents();
}

const QList<std::pair<const char*, Ink>> kInks = { { "counter", Ink::Counter }, { "keyword", Ink::Keyword },
    { "quoted text", Ink::Quoted }, { "number", Ink::Number }, { "comment", Ink::Comment },
    { "parameter", Ink::Parameter }, { "failed run", Ink::Failure }, { "splash title", Ink::Title } };

// The background and the text colour drawn in a widget: its two commonest colours.
// Its text is drawn without smoothing, so that glyphs show their colour exactly.
std::pair<QColor, QColor> drawn(QWidget* widget, const QRect& area = {})
{
    const QImage shot = widget->grab(area.isValid() ? area : widget->rect()).toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            ++counts[shot.pixel(x, y)];
    QList<std::pair<int, QRgb>> byCount;
    for (auto c = counts.cbegin(); c != counts.cend(); ++c)
        byCount.append({ c.value(), c.key() });
    std::sort(byCount.begin(), byCount.end(), std::greater<>());
    if (byCount.size() < 2)
        return {};
    return { QColor(byCount[0].second), QColor(byCount[1].second) };
}

// A run of the history: records -1 for a failure with its error.
HistoryEntry run(const QString& statement, QTime at, qint64 records, const QString& error, qint64 milliseconds)
{
    HistoryEntry e;
    e.statement = statement;
    e.at = at;
    e.records = records;
    e.error = error;
    e.milliseconds = milliseconds;
    return e;
}

void withoutSmoothing(QWidget* widget)
{
    QFont f = widget->font();
    f.setStyleStrategy(QFont::NoAntialias);
    widget->setFont(f);
}

} // namespace

void TestTheme::initTestCase()
{
    initTestEnvironment();
    m_palette = QApplication::palette();
    m_font = QApplication::font();
}

void TestTheme::cleanup()
{
    m_q.reset();
    QApplication::setPalette(m_palette);
    QApplication::setFont(m_font);
}

void TestTheme::inksReadOnEveryTheme_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::addColumn<int>("ink");
    QTest::addColumn<double>("least"); // the contrast ratio the text needs
    QTest::addColumn<QColor>("exact"); // invalid: any shade that reads
    QTest::addColumn<int>("group"); // the active window's colours, or another's
    for (const auto& [themeName, palette] : themes()) {
        const bool fusionLight = QByteArray(themeName) == "light, Fusion";
        for (const auto& [inkName, ink] : kInks) {
            // The windows' own colours on a light window: maroon, navy, red.
            QColor exact;
            if (fusionLight && ink == Ink::Counter)
                exact = QColor(128, 0, 0);
            else if (fusionLight && ink == Ink::Keyword)
                exact = QColor(0, 0, 160);
            else if (fusionLight && ink == Ink::Title)
                exact = QColor(Qt::red);
            // The splash's 43-pixel bold title is large text, which reads at 3 to 1.
            const double least = ink == Ink::Title ? 3.0 : 4.5;
            QTest::addRow("%s: %s", themeName, inkName)
                << palette << int(ink) << least << exact << int(QPalette::Active);
            QTest::addRow("%s: %s, inactive window", themeName, inkName)
                << palette << int(ink) << least << exact << int(QPalette::Inactive);
        }
    }
}

void TestTheme::inksReadOnEveryTheme()
{
    QFETCH(QPalette, palette);
    QFETCH(int, ink);
    QFETCH(double, least);
    QFETCH(QColor, exact);
    QFETCH(int, group);
    const auto g = QPalette::ColorGroup(group);
    // Labels take a colour for each state of their window, texts in boxes one for both.
    const QColor colour = ThemeColours::backgroundRole(Ink(ink)) == QPalette::Window
        ? ThemeColours::colour(Ink(ink), palette, g)
        : ThemeColours::colour(Ink(ink), palette);
    const QColor background = palette.color(g, ThemeColours::backgroundRole(Ink(ink)));
    const double ratio = ThemeColours::contrast(colour, background);
    QVERIFY2(ratio >= least,
        qPrintable(QStringLiteral("%1 on %2: %3 to 1").arg(colour.name(), background.name()).arg(ratio, 0, 'f', 2)));
    if (exact.isValid())
        QCOMPARE(colour, exact);
    // A shade of its own, not the theme's text colour.
    QVERIFY(colour != palette.color(g, QPalette::Text) && colour != palette.color(g, QPalette::WindowText));
}

void TestTheme::drawnColoursFollowThemeSwitch_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QColor>("light"); // drawn under the light theme
    QTest::addColumn<double>("least");
    const QList<std::tuple<const char*, QColor, double>> places
        = { { "counter", QColor(128, 0, 0), 4.5 }, { "transaction notice", QColor(128, 0, 0), 4.5 },
              { "statement box", QColor(0, 0, 160), 4.5 }, { "query editor", QColor(0, 0, 160), 4.5 },
              { "history", QColor(160, 0, 0), 4.5 }, { "splash", QColor(Qt::red), 3.0 } };
    for (const char* dark : { "dark, qt6ct darker", "dark, Windows" })
        for (const auto& [where, light, least] : places)
            QTest::addRow("%s, %s", where, dark) << QString::fromLatin1(where) << light << least;
}

// The theme switched while the windows are open: what they draw takes the shades of
// the new palette, and the light ones back.
void TestTheme::drawnColoursFollowThemeSwitch()
{
    QFETCH(QString, where);
    QFETCH(QColor, light);
    QFETCH(double, least);
    const QString darkName = QString::fromLatin1(QTest::currentDataTag()).section(QStringLiteral(", "), -2);
    switchTheme(QStringLiteral("light, Fusion"));
    m_q.createDatabase(QStringLiteral("CREATE TABLE PaBase (NOM VARCHAR(20));"
                                      "INSERT INTO PaBase VALUES ('Durand'), ('Martin')"));
    m_q.createWindow();
    QVERIFY(m_q.showActive());
    TFicheSQL* w = m_q.window.get();

    std::unique_ptr<QWidget> own; // a window the row opens
    std::function<std::pair<QColor, QColor>()> measure;
    if (where == QLatin1String("counter") || where == QLatin1String("transaction notice")) {
        QLabel* label = where == QLatin1String("counter") ? w->LabelCompteurSQL : w->LabelTransactionSQL;
        m_q.run(QStringLiteral("SELECT * FROM PaBase"));
        label->show();
        withoutSmoothing(label);
        measure = [w, label] { return drawn(w, label->geometry()); };
    } else if (where == QLatin1String("statement box")) {
        QLineEdit* edit = w->ComboBoxSQL->lineEdit();
        withoutSmoothing(edit);
        w->ComboBoxSQL->setEditText(QStringLiteral("SELECT"));
        measure = [edit] { return drawn(edit); };
    } else if (where == QLatin1String("query editor")) {
        auto* editor = new QueryEditor(QStringLiteral("SELECT"), [] { return SqlNames {}; });
        own.reset(editor);
        withoutSmoothing(editor->editor());
        editor->show();
        measure = [editor] { return drawn(editor->editor()->viewport()); };
    } else if (where == QLatin1String("history")) {
        StatementHistory history;
        history.add(run(QStringLiteral("SELECT * FROM x"), QTime(10, 0), -1, QStringLiteral("no such table: x"), 5));
        history.add(run(QStringLiteral("SELECT 1"), QTime(10, 1), 1, {}, 5));
        auto* dialog = new HistoryDialog(history);
        own.reset(dialog);
        withoutSmoothing(dialog->list());
        dialog->show();
        // The failed run is the second line; the first, current, is drawn as selected.
        measure = [dialog] {
            QTreeWidget* list = dialog->list();
            const QRect cell = list->visualRect(list->model()->index(1, 2));
            return drawn(list->viewport(), cell);
        };
    } else {
        auto* splash = new TFicheIntro;
        own.reset(splash);
        splash->show();
        auto* title = splash->findChild<QLabel*>(QStringLiteral("LabelSQLintro"));
        QVERIFY(title);
        withoutSmoothing(title);
        measure = [splash, title] { return drawn(splash, title->geometry()); };
    }
    if (own)
        QVERIFY(QTest::qWaitForWindowExposed(own.get()));

    auto [background, ink] = measure();
    QCOMPARE(ink, light);

    switchTheme(darkName);
    std::tie(background, ink) = measure();
    QVERIFY2(ThemeColours::isDark(background), qPrintable(background.name()));
    const double ratio = ThemeColours::contrast(ink, background);
    QVERIFY2(ratio >= least,
        qPrintable(QStringLiteral("%1 on %2: %3 to 1").arg(ink.name(), background.name()).arg(ratio, 0, 'f', 2)));
    // Still its own colour, in the same hue: the counter a lighter red.
    QVERIFY(ink != QColor(Qt::white));
    const int hueapart = qAbs(ink.hslHue() - light.hslHue());
    QVERIFY2(qMin(hueapart, 360 - hueapart) <= 30, qPrintable(ink.name()));
    QVERIFY(ThemeColours::luminance(ink) > ThemeColours::luminance(light));

    switchTheme(QStringLiteral("light, Fusion"));
    std::tie(background, ink) = measure();
    QCOMPARE(ink, light);
}

void TestTheme::ownWindowsShowWholeTextsAt16Points_data()
{
    QTest::addColumn<QString>("title");
    for (const char* title : { "Historique", "Rechercher", "Éditeur de requête", "Paramètres de la requête",
             "Connexion base de données", "Saisie du mot de passe" })
        QTest::newRow(title) << QString::fromUtf8(title);
}

// Under a 16-point system font the program's own windows show every label, button
// and column heading whole, and are larger than under the default font.
void TestTheme::ownWindowsShowWholeTextsAt16Points()
{
    QFETCH(QString, title);
    const auto make = [&title]() -> std::unique_ptr<QWidget> {
        if (title == QLatin1String("Historique")) {
            StatementHistory history;
            history.add(run(QStringLiteral("SELECT * FROM PaBase"), QTime(23, 59, 58), 1250, {}, 61'000));
            history.add(
                run(QStringLiteral("SELECT * FROM x"), QTime(10, 0), -1, QStringLiteral("no such table: x"), 250));
            return std::make_unique<HistoryDialog>(history);
        }
        if (title == QLatin1String("Rechercher"))
            return std::make_unique<FindDialog>(Dialogs::Find { QStringLiteral("Durand"), true });
        if (title == QStringLiteral("Éditeur de requête"))
            return std::make_unique<QueryEditor>(QStringLiteral("SELECT * FROM PaBase"), [] { return SqlNames {}; });
        if (title == QStringLiteral("Paramètres de la requête"))
            return std::make_unique<ParametersDialog>(
                NamedValues { { QStringLiteral("nom"), { QStringLiteral("Durand") } },
                    { QStringLiteral("date_de_naissance"), { {}, true } } });
        if (title == QStringLiteral("Connexion base de données"))
            return std::make_unique<LoginDialog>(Dialogs::LoginRequest { title, QStringLiteral("cabinet"),
                QStringLiteral("secretariat"), true, QStringLiteral("Connexion non chiffrée."), false,
                QStringLiteral("Le trousseau du système n'est pas disponible.") });
        return std::make_unique<TablePasswordDialog>(Dialogs::TablePasswordRequest { title, QStringLiteral("PaBase") });
    };
    const auto shown = [](QWidget* window) {
        window->show();
        return QTest::qWaitForWindowExposed(window);
    };

    std::unique_ptr<QWidget> usual = make();
    QVERIFY(shown(usual.get()));
    const QSize usualSize = usual->size();
    usual.reset();

    QFont large = m_font;
    large.setPointSize(16);
    QApplication::setFont(large);
    std::unique_ptr<QWidget> window = make();
    QCOMPARE(window->windowTitle(), title);
    QVERIFY(shown(window.get()));
    QCOMPARE(window->font().pointSize(), 16);

    const QSize screen = window->screen()->availableGeometry().size();
    QVERIFY2(window->width() > usualSize.width() || window->width() == screen.width(),
        qPrintable(QStringLiteral("%1 px wide, %2 under the usual font").arg(window->width()).arg(usualSize.width())));
    QVERIFY(window->height() > usualSize.height() || window->height() == screen.height());
    QVERIFY2(window->width() <= screen.width() && window->height() <= screen.height(),
        qPrintable(QStringLiteral("%1 × %2").arg(window->width()).arg(window->height())));

    QStringList cut;
    const auto whole = [&cut](QWidget* w, const QSize& needed, const QString& text) {
        if (w->width() < needed.width() || w->height() < needed.height())
            cut << QStringLiteral("« %1 »").arg(text);
    };
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->isVisible())
            whole(label, label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint(),
                label->text());
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->isVisible() && !button->text().isEmpty())
            whole(button, button->sizeHint(), button->text());
    for (QTreeWidget* list : window->findChildren<QTreeWidget*>()) {
        // The statement column shows a statement's start; the others whole, in the list.
        for (int c = 0; c < list->columnCount(); ++c)
            if (list->header()->sectionSize(c) < qMax(list->header()->sectionSizeHint(c),
                    c == 1 ? 0 : static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c)))
                cut << list->headerItem()->text(c);
        if (list->header()->sectionViewportPosition(3) + list->header()->sectionSize(3) > list->viewport()->width())
            cut << QStringLiteral("the last column");
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
}

// The windows whose fonts and sizes were designed keep them under a large system font.
void TestTheme::specifiedWindowsKeepTheirFonts()
{
    QFont large = m_font;
    large.setPointSize(16);
    QApplication::setFont(large);
    m_q.createDatabase();
    m_q.createCaptureEditor();
    m_q.createWindow();
    QVERIFY(m_q.showActive());
    m_q.clip->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_q.clip.get()));
    QCOMPARE(m_q.window->font().pointSize(), 8);
    QCOMPARE(m_q.window->DBGridSQL->horizontalHeader()->font().pointSize(), 8);
    QCOMPARE(m_q.window->LabelCompteurSQL->font().pointSize(), 8);
    QCOMPARE(m_q.clip->RichEditClipBoard->font().pixelSize(), 12);
    QCOMPARE(m_q.window->size(), QSize(792, 573));
    QCOMPARE(m_q.clip->size(), QSize(792, 573));
}

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
