#pragma once

#include <QFont>
#include <QList>
#include <QObject>
#include <QPointer>

class QAbstractScrollArea;

// Zooms views together for the rest of the run: their fonts grow or shrink by steps,
// and a table's row heights and column widths follow its font. The views keep their
// size. Ctrl and the wheel over a view zoom as zoomIn() and zoomOut() do.
class ViewZoom : public QObject
{
    Q_OBJECT
public:
    explicit ViewZoom(QObject* parent = nullptr);

    // Zooms view with the others from now on, from its present fonts.
    void add(QAbstractScrollArea* view);

    void zoomIn();
    void zoomOut();
    // Back to the fonts the views had when added.
    void reset();
    // Steps from the added fonts: 0 as added, negative smaller.
    int step() const { return m_step; }
    // The size factor of a step.
    static double factor(int step);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct View {
        QPointer<QAbstractScrollArea> view;
        QFont font;
        QFont header;
    };
    void setStep(int step);
    static QFont scaled(const QFont& font, int step);

    QList<View> m_views;
    int m_step = 0;
};
