#include "app/Intro.h"

#include "app/ClipBoard.h"
#include "app/Controls.h"
#include "app/SQL.h"
#include "ui/ErrorGuard.h"
#include "ui/widgets/OuterGeometry.h"
#include "ui/widgets/ThemeColours.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QTimer>
#include <QVBoxLayout>

TFicheIntro* FicheIntro = nullptr;

// Off by default; QT_LOGGING_RULES="velosql.startup.info=true" shows the hand-over.
Q_LOGGING_CATEGORY(lcStartup, "velosql.startup", QtWarningMsg)

namespace
{
constexpr int kSplashMs = 2000;
int g_splashMs = kSplashMs;
constexpr QSize kOuterSize(627, 98);
constexpr QPoint kPosition(278, 448);
} // namespace

TFicheIntro::TFicheIntro(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FicheIntro"));
    setWindowTitle(QStringLiteral("Velorin"));
    setFont(Controls::font(QStringLiteral("MS Sans Serif"), QFont::SansSerif, Controls::Points { 8 }));
    // The outer size includes the frame, which some window managers report only
    // once the window is shown.
    new OuterGeometry(this, QRect(kPosition, kOuterSize));

    LabelSQLintro = new QLabel(QStringLiteral("Requêtes SQL pour Velorin"), this);
    LabelSQLintro->setObjectName(QStringLiteral("LabelSQLintro"));
    LabelSQLintro->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont labelFont = Controls::font(QStringLiteral("Palatino Linotype"), QFont::Serif, Controls::Pixels { 43 });
    labelFont.setBold(true);
    LabelSQLintro->setFont(labelFont);
    // Red; a lighter red on a dark window.
    ThemeColours::setTextInk(LabelSQLintro, ThemeColours::Ink::Title);
    // The window keeps its size whatever the font: a face wider than the designed one
    // cuts the text rather than widening the window.
    LabelSQLintro->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(LabelSQLintro);

    // The timer counts from the window's creation, not from its showing.
    Timerintro = new QTimer(this);
    Timerintro->setObjectName(QStringLiteral("Timerintro"));
    // A precise timer: a coarse one may fire up to 5 % early.
    Timerintro->setTimerType(Qt::PreciseTimer);
    Timerintro->setInterval(g_splashMs);
    ErrorGuard::connectGuarded(Timerintro, &QTimer::timeout, this, &TFicheIntro::TimerintroTimer);
    Timerintro->start();
}

void TFicheIntro::setSplashInterval(std::optional<int> milliseconds)
{
    g_splashMs = milliseconds.value_or(kSplashMs);
}

void TFicheIntro::windowsCreated()
{
    m_windowsCreated = true;
    if (m_tickWaiting) {
        m_tickWaiting = false;
        Timerintro->start(0);
    }
}

void TFicheIntro::TimerintroTimer(QObject*)
{
    if (!m_windowsCreated) {
        // Too early: there is no query window to give way to yet.
        Timerintro->stop();
        m_tickWaiting = true;
        qCInfo(lcStartup, "splash time over before the windows exist");
        return;
    }
    hide();
    Timerintro->stop();
    if (FicheSQL) {
        FicheSQL->show();
        FicheSQL->raise();
        FicheSQL->activateWindow();
        qCInfo(lcStartup, "query window shown");
    }
}

void TFicheIntro::closeEvent(QCloseEvent* event)
{
    // The main window: closing it ends the program.
    QWidget::closeEvent(event);
    qApp->quit();
}
