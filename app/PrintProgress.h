#pragma once

#include <QtGlobal>
#include <memory>

class QProgressDialog;
class QWidget;

// The progress of a long print job, shown in a dialog whose "Annuler" button cancels
// the job. Jobs of a few thousand rows or fewer show nothing.
class PrintProgress
{
public:
    explicit PrintProgress(QWidget* parent);
    ~PrintProgress();

    // The printing component's progress callback: false once the user cancelled.
    bool report(qsizetype done, qsizetype total);

private:
    QWidget* m_parent;
    std::unique_ptr<QProgressDialog> m_dialog;
};
