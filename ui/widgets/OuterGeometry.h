#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <functional>
#include <optional>

class QWidget;

// Keeps a window's outer rectangle, its frame included, at a given place and size.
// A window manager may report the frame only once the window is shown (openbox adds
// it after mapping the window, before its first paint): the window's own area is
// fitted again each time the frame it reports changes, and left alone otherwise, so
// a size the user gives the window stays.
class OuterGeometry : public QObject
{
    Q_OBJECT
public:
    // Watches window, which becomes the parent.
    OuterGeometry(QWidget* window, const QRect& outer);

    // The window's own area inside outer for a frame of the given widths.
    [[nodiscard]] static QRect clientRect(const QRect& outer, const QMargins& frame);

    // Where the frame's widths are read; by default from the window's frame and
    // client geometries.
    void setFrameReader(std::function<QMargins()> reader);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fit();

    QWidget* m_window;
    QRect m_outer;
    std::function<QMargins()> m_frame;
    std::optional<QMargins> m_fitted;
};
