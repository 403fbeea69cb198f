#include "app/PrintProgress.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace
{
// Print jobs of more rows than this show their progress.
constexpr qsizetype kThreshold = 5000;
constexpr int kSteps = 1000;
} // namespace

PrintProgress::PrintProgress(QWidget* parent)
    : m_parent(parent)
{
}

PrintProgress::~PrintProgress() = default;

bool PrintProgress::report(qsizetype done, qsizetype total)
{
    if (total <= kThreshold)
        return true;
    if (!m_dialog) {
        m_dialog = std::make_unique<QProgressDialog>(
            QStringLiteral("Impression des données de la requête…"), QStringLiteral("Annuler"), 0, kSteps, m_parent);
        m_dialog->setWindowTitle(QStringLiteral("Impression"));
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(500);
    }
    m_dialog->setValue(int(done * kSteps / total));
    // The window stays responsive while the job is laid out.
    QCoreApplication::processEvents();
    return !m_dialog->wasCanceled();
}
