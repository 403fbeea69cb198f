#pragma once

#include <QWidget>
#include <optional>

class QLabel;
class QTimer;

// The splash window, the program's main window: shown for 2000 ms after its
// creation, then it gives way to the query window and is never shown again.
class TFicheIntro : public QWidget
{
    Q_OBJECT
public:
    explicit TFicheIntro(QWidget* parent = nullptr);

    void TimerintroTimer(QObject* sender);

    // The query window and the capture editor exist now. A tick that came while they
    // were being built (a login dialog runs the event loop) waited for them: it is
    // due at once, as the event loop starts.
    void windowsCreated();

    // How long splashes created from now on show, for tests that cannot wait two
    // seconds; nullopt gives back the 2000 ms.
    static void setSplashInterval(std::optional<int> milliseconds);

    QLabel* LabelSQLintro;
    QTimer* Timerintro;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_windowsCreated = false;
    bool m_tickWaiting = false;
};

extern TFicheIntro* FicheIntro;
