#pragma once

#include <QWidget>

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

    QLabel* LabelSQLintro;
    QTimer* Timerintro;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

extern TFicheIntro* FicheIntro;
