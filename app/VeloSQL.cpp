#include "app/VeloSQL.h"

#include "app/ClipBoard.h"
#include "app/DialogCredentials.h"
#include "app/ImageList.h"
#include "app/Intro.h"
#include "app/SQL.h"
#include "engine/Databases.h"
#include "platform/Exceptions.h"
#include "ui/Dialogs.h"
#include "ui/ErrorGuard.h"
#include "ui/FontFamilies.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>
#include <cxxabi.h>
#include <typeinfo>

namespace VeloSQL
{

void initApplication()
{
    // The program speaks French whatever the system's language: Qt's own dialogs too.
    static QTranslator qtFrench;
    if (qtFrench.isEmpty()
        && qtFrench.load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtFrench);
    QCoreApplication::setApplicationName(QStringLiteral("VeloSQL"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("velosql"));
    QGuiApplication::setWindowIcon(ImageList::applicationIcon());
    FontFamilies::install();
    // The engine asks for the passwords it needs through the program's dialogs.
    static DialogCredentials credentials;
    Credentials::install(&credentials);
}

void createWindows(const std::function<void()>& whileBuilding)
{
    FicheIntro = new TFicheIntro;
    if (whileBuilding)
        whileBuilding();
    FicheSQL = new TFicheSQL;
    FicheClip = new TFicheClip;
    FicheIntro->windowsCreated();
}

void destroyWindows()
{
    delete FicheClip;
    FicheClip = nullptr;
    delete FicheSQL;
    FicheSQL = nullptr;
    delete FicheIntro;
    FicheIntro = nullptr;
    Databases::closeAll();
}

QString startupFailureText(const std::exception& error, const QString& moduleName)
{
    QString kind;
    const void* address = nullptr;
    if (const auto* ours = dynamic_cast<const Exception*>(&error)) {
        kind = QString::fromLatin1(ours->className());
        address = ours->address();
    } else {
        int status = 0;
        char* name = abi::__cxa_demangle(typeid(error).name(), nullptr, nullptr, &status);
        kind = QString::fromLatin1(status == 0 && name ? name : typeid(error).name());
        std::free(name);
    }
    QString message = ErrorGuard::messageOf(error);
    const QString dot = message.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral(".");
    const QString where
        = QStringLiteral("%1").arg(quintptr(address), int(sizeof(void*) * 2), 16, QLatin1Char('0')).toUpper();
    return QStringLiteral("Exception %1 dans le module %2 à %3.\n%4%5").arg(kind, moduleName, where, message, dot);
}

int run()
{
    initApplication();
    try {
        createWindows();
    } catch (const std::exception& e) {
        const QString text = startupFailureText(e, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        // The windows go before the box: its event loop would otherwise let the
        // splash's timer show the query window behind it.
        destroyWindows();
        Dialogs::instance().showError(nullptr, QStringLiteral("Erreur de l'application"), text);
        return 1;
    }
    FicheIntro->show();
    QApplication::exec();
    destroyWindows();
    return 0;
}

} // namespace VeloSQL
