#include "ui/widgets/OuterGeometry.h"

#include <QMoveEvent>
#include <QTest>
#include <QWidget>

Q_DECLARE_METATYPE(QList<QMargins>)

// A window kept at a fixed outer rectangle, frame included, under window managers
// that report the frame at showing and under those that report it only later. The
// frame is a fake one: the offscreen platform's own frame never changes.
class TestOuterGeometry : public QObject
{
    Q_OBJECT
private slots:
    void clientFollowsReportedFrame_data();
    void clientFollowsReportedFrame();
    void userSizeStaysWhileFrameUnchanged();
    void maximisedWindowIsLeftAlone();
};

namespace
{
const QRect kOuter(278, 448, 627, 98);

// A window whose frame the test reports, as a window manager would.
struct FramedWindow {
    QWidget window;
    QMargins frame;
    OuterGeometry* geometry;

    FramedWindow()
    {
        // No frame of the platform's own: the test's frame is the only one.
        window.setWindowFlag(Qt::FramelessWindowHint);
        geometry = new OuterGeometry(&window, kOuter);
        geometry->setFrameReader([this] { return frame; });
    }
    // The window manager has framed the window and moved it: a configure event.
    void reportFrame(const QMargins& margins)
    {
        frame = margins;
        QMoveEvent moved(window.pos(), window.pos());
        QCoreApplication::sendEvent(&window, &moved);
    }
};
} // namespace

void TestOuterGeometry::clientFollowsReportedFrame_data()
{
    QTest::addColumn<QMargins>("atShowing");
    QTest::addColumn<QList<QMargins>>("later");
    QTest::addColumn<QRect>("client");
    QTest::newRow("no frame") << QMargins() << QList<QMargins> {} << kOuter;
    QTest::newRow("frame known at showing") << QMargins(2, 2, 2, 2) << QList<QMargins> {} << QRect(280, 450, 623, 94);
    QTest::newRow("frame reported after showing")
        << QMargins() << QList<QMargins> { QMargins(1, 20, 1, 5) } << QRect(279, 468, 625, 73);
    QTest::newRow("frame changed after showing")
        << QMargins(1, 20, 1, 5) << QList<QMargins> { QMargins(4, 24, 4, 4) } << QRect(282, 472, 619, 70);
}

void TestOuterGeometry::clientFollowsReportedFrame()
{
    QFETCH(QMargins, atShowing);
    QFETCH(QList<QMargins>, later);
    QFETCH(QRect, client);
    FramedWindow w;
    w.frame = atShowing;
    w.window.show();
    for (const QMargins& frame : later)
        w.reportFrame(frame);
    QCOMPARE(w.window.geometry(), client);
    QCOMPARE(OuterGeometry::clientRect(kOuter, w.frame), client);
}

void TestOuterGeometry::userSizeStaysWhileFrameUnchanged()
{
    FramedWindow w;
    w.window.show();
    w.reportFrame(QMargins(1, 20, 1, 5));
    w.window.resize(400, 200);
    w.reportFrame(QMargins(1, 20, 1, 5));
    QCOMPARE(w.window.size(), QSize(400, 200));
}

void TestOuterGeometry::maximisedWindowIsLeftAlone()
{
    FramedWindow w;
    w.window.show();
    w.window.setWindowState(Qt::WindowMaximized);
    const QRect maximised = w.window.geometry();
    // Openbox takes the borders off a maximised window.
    w.reportFrame(QMargins(0, 20, 0, 0));
    QCOMPARE(w.window.geometry(), maximised);
}

QTEST_MAIN(TestOuterGeometry)
#include "tst_outergeometry.moc"
