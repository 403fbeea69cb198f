#include "app/ClipBoard.h"

#include "app/Controls.h"
#include "app/ImageList.h"
#include "app/WorkProgress.h"
#include "output/mail/MailHandOff.h"
#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "platform/LineEnds.h"
#include "platform/Windows1252.h"
#include "ui/ErrorGuard.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QShortcut>
#include <QResizeEvent>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolButton>

TFicheClip* FicheClip = nullptr;

namespace
{

const QString kCaption = QStringLiteral("Edition des captures");
const QString kLineBreak = QStringLiteral("\r\n");

// The folder the save dialog opens first: the root of drive C: where there is one.
QString initialSaveFolder()
{
    const QFileInfo drive(QStringLiteral("C:/"));
    return drive.isAbsolute() && drive.isDir() ? QStringLiteral("C:\\") : QDir::homePath();
}

// What the editor takes. It lays its lines out as they wrap at its width, and a run
// of text without a break opportunity costs the square of its length: a word of
// 200,000 letters took 4 seconds, one of 1 MB well over a minute, while 200,000
// letters in words take a tenth of a second. At most 1 Mi characters in all, in runs
// of at most 20,000 without a break, keep a full editor's layout within about two
// seconds.
constexpr qsizetype kEditorCapacity = qsizetype(1) << 20;
constexpr qsizetype kLongestUnbrokenRun = 20000;

bool editorTakes(const QTextDocument& document, const QString& text)
{
    if (document.characterCount() + text.size() > kEditorCapacity)
        return false;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    qsizetype last = 0;
    for (qsizetype at; (at = breaks.toNextBoundary()) >= 0; last = at)
        if (at - last > kLongestUnbrokenRun)
            return false;
    return true;
}

// A line break inside a paragraph (Shift+Enter) ends a line like a paragraph's end.
bool endsWithLineBreak(const QString& paragraph)
{
    return paragraph.isEmpty() || paragraph.endsWith(QChar::LineSeparator);
}

} // namespace

TFicheClip::TFicheClip(QWidget* parent)
    : QWidget(parent,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowCloseButtonHint)
    , m_systemMail(MailHandOff::createSystem())
{
    setObjectName(QStringLiteral("FicheClip"));
    setWindowTitle(kCaption);
    setWindowIcon(ImageList::windowIcon(ImageList::CaptureEditor));
    setFont(Controls::font(QStringLiteral("MS Sans Serif"), QFont::SansSerif, Controls::Pixels { 11 }));
    setFixedSize(792, 573);

    m_saveDialog.title = QStringLiteral("Sauvegarder les captures");
    m_saveDialog.filters = { QStringLiteral("Fichiers textes (*.txt)"), QStringLiteral("Tous (*.*)") };
    m_saveDialog.filterIndex = 1;
    m_saveDialog.defaultSuffix = QStringLiteral("txt");
    m_saveDialog.directory = initialSaveFolder();
    m_mail = m_systemMail.get();

    createControls();
}

TFicheClip::~TFicheClip() = default;

void TFicheClip::createControls()
{
    createToolBar();
    createEditor();
    createEditMenu();
    connectHandlers();
}

void TFicheClip::createToolBar()
{
    BevelHautClipBoard = Controls::bevel(this, QStringLiteral("BevelHautClipBoard"), QRect(0, 0, 792, 2));

    ToolBarClipBoard = new QWidget(this);
    ToolBarClipBoard->setObjectName(QStringLiteral("ToolBarClipBoard"));
    ToolBarClipBoard->setGeometry(0, 2, 792, 22);
    auto add = [this](const QString& name, int imageIndex, const QString& hint) {
        return Controls::addToolButton(ToolBarClipBoard, name, ImageList::CaptureEditor, imageIndex, hint);
    };
    ToolButtonQuitter = add(QStringLiteral("ToolButtonQuitter"), 0, QStringLiteral("Fermer la fenêtre"));
    ToolButtonEffacer = add(QStringLiteral("ToolButtonEffacer"), 2, QStringLiteral("Effacer le texte"));
    ToolButtonSauver = add(QStringLiteral("ToolButtonSauver"), 3, QStringLiteral("Sauvegarder le texte"));
    ToolButtonImprimer = add(QStringLiteral("ToolButtonImprimer"), 4, QStringLiteral("Imprimer le texte"));
    ToolButtonMail = add(QStringLiteral("ToolButtonMail"), 5, QStringLiteral("Envoyer par E-Mail"));

    BevelBasClipBoard = Controls::bevel(this, QStringLiteral("BevelBasClipBoard"), QRect(0, 24, 792, 2));
}

void TFicheClip::createEditor()
{
    RichEditClipBoard = new QTextEdit(this);
    RichEditClipBoard->setObjectName(QStringLiteral("RichEditClipBoard"));
    RichEditClipBoard->setGeometry(0, 26, 792, 547);
    RichEditClipBoard->setAccessibleName(QStringLiteral("Texte des captures"));
    QFont editorFont = Controls::font(QStringLiteral("Fixedsys"), QFont::Monospace, Controls::Pixels { 12 });
    editorFont.setFixedPitch(true);
    RichEditClipBoard->setFont(editorFont);
    RichEditClipBoard->setLineWrapMode(QTextEdit::WidgetWidth);
    RichEditClipBoard->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The scroll bar always takes its place, so the wrapping width never changes.
    RichEditClipBoard->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEditClipBoard->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEditClipBoard->setFocus();
    // Lays the editor out at its fixed size now rather than at the first show, so
    // that its lines wrap as on screen even while the window has never been shown.
    for (QWidget* part : { static_cast<QWidget*>(RichEditClipBoard), RichEditClipBoard->viewport() }) {
        QResizeEvent layOut(part->size(), QSize());
        QCoreApplication::sendEvent(part, &layOut);
    }
}

void TFicheClip::createEditMenu()
{
    PopupMenuClipBoard = new QMenu(this);
    PopupMenuClipBoard->setObjectName(QStringLiteral("PopupMenuClipBoard"));
    auto addItem = [this](const QString& name, const QString& caption, void (TFicheClip::*handler)()) {
        QAction* item = PopupMenuClipBoard->addAction(caption);
        item->setObjectName(name);
        ErrorGuard::connectGuarded(item, &QAction::triggered, this, handler);
        return item;
    };
    DefaireClipBoard = addItem(QStringLiteral("DefaireClipBoard"), QStringLiteral("&Défaire"), &TFicheClip::EditUndo);
    CouperClipBoard = addItem(QStringLiteral("CouperClipBoard"), QStringLiteral("&Couper"), &TFicheClip::EditCut);
    CopierClipBoard = addItem(QStringLiteral("CopierClipBoard"), QStringLiteral("Co&pier"), &TFicheClip::EditCopy);
    CollerClipBoard = addItem(QStringLiteral("CollerClipBoard"), QStringLiteral("C&oller"), &TFicheClip::EditPaste);
    RichEditClipBoard->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichEditClipBoard, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& pos) { PopupMenuClipBoard->popup(RichEditClipBoard->viewport()->mapToGlobal(pos)); });
}

void TFicheClip::connectHandlers()
{
    using ErrorGuard::connectGuarded;
    connectGuarded(ToolButtonQuitter, &QToolButton::clicked, this, &TFicheClip::ToolButtonQuitterClick);
    connectGuarded(ToolButtonEffacer, &QToolButton::clicked, this, &TFicheClip::ToolButtonEffacerClick);
    connectGuarded(ToolButtonSauver, &QToolButton::clicked, this, &TFicheClip::ToolButtonSauverClick);
    connectGuarded(ToolButtonImprimer, &QToolButton::clicked, this, &TFicheClip::ToolButtonImprimerClick);
    connectGuarded(ToolButtonMail, &QToolButton::clicked, this, &TFicheClip::ToolButtonMailClick);
    // Escape closes the editor as its close button does.
    connectGuarded(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
        &TFicheClip::ToolButtonQuitterClick);
}

void TFicheClip::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        Controls::centreOnScreen(this);
    }
    RichEditClipBoard->setFocus();
}

void TFicheClip::showEditor()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TFicheClip::AppendLine(const QString& text)
{
    const QString failure = QStringLiteral("Erreur d'insertion de ligne RichEdit");
    QTextDocument* document = RichEditClipBoard->document();
    if (!editorTakes(*document, text))
        throw Exception(failure);
    try {
        QTextCursor cursor(document);
        cursor.movePosition(QTextCursor::End);
        // The program only ever adds plain text, whatever the formatting pasted before.
        const QString line = endsWithLineBreak(document->lastBlock().text()) ? text + kLineBreak : kLineBreak + text;
        cursor.insertText(line, QTextCharFormat());
    } catch (const std::exception&) {
        throw Exception(failure);
    }
}

QString TFicheClip::plainText() const
{
    const QTextDocument* document = RichEditClipBoard->document();
    QString text;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block != document->begin())
            text += QChar::ParagraphSeparator;
        text += block.text();
    }
    return LineEnds::toCrLf(text);
}

QStringList TFicheClip::laidOutLines() const
{
    const QTextDocument* document = RichEditClipBoard->document();
    // Lays out whatever the editor has not laid out yet (it works lazily).
    document->documentLayout()->blockBoundingRect(document->lastBlock());
    QStringList lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const QTextLayout* layout = block.layout();
        if (!layout || layout->lineCount() == 0) {
            lines += text.split(QChar::LineSeparator);
            continue;
        }
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            QString part = text.mid(line.textStart(), line.textLength());
            if (part.endsWith(QChar::LineSeparator))
                part.chop(1);
            lines += part;
        }
    }
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

void TFicheClip::setMailHandOff(MailHandOff* handOff)
{
    m_mail = handOff ? handOff : m_systemMail.get();
}

bool TFicheClip::confirm(const QString& text)
{
    Dialogs::MessageBox box;
    box.caption = QStringLiteral("Confirmation");
    box.text = text;
    box.icon = Dialogs::Icon::Question;
    box.buttons = { QStringLiteral("OK"), QStringLiteral("Annuler") };
    box.defaultButton = 0;
    box.escapeButton = 1;
    return Dialogs::instance().messageBox(this, box) == 0;
}

void TFicheClip::ToolButtonQuitterClick()
{
    hide();
}

void TFicheClip::ToolButtonEffacerClick()
{
    if (confirm(QStringLiteral("Effacer le texte ?")))
        RichEditClipBoard->clear();
}

void TFicheClip::ToolButtonSauverClick()
{
    const auto chosen = Dialogs::instance().saveFile(this, m_saveDialog);
    if (!chosen)
        return;
    m_saveDialog.fileName = chosen->fileName;
    m_saveDialog.filterIndex = chosen->filterIndex;
    // Written beside the target and renamed over it when complete: a failure
    // leaves the file that was there as it was. A pipe whose reader stops taking the
    // text is waited for as long work is: "Annuler" stops the save there.
    WorkProgress progress(this, QStringLiteral("Enregistrement"), QStringLiteral("Enregistrement du texte..."));
    AtomicFile file(chosen->fileName);
    file.setStallWait([&progress] { return progress.report(0); });
    file.write(Windows1252::encode(plainText()));
    file.commit();
    setWindowTitle(QStringLiteral("%1 [%2]").arg(kCaption, QDir::toNativeSeparators(chosen->fileName)));
}

void TFicheClip::ToolButtonImprimerClick()
{
    QPrinter printer(QPrinter::HighResolution);
    Dialogs::PrintSetup setup;
    // Without a printer, the dialog would list nothing to print on: a PDF file then.
    setup.allowPrintToFile = QPrinterInfo::availablePrinters().isEmpty();
    setup.allowSelection = false;
    setup.allowPageRange = false;
    setup.allowCopies = true;
    setup.collateCopies = true;
    if (!Dialogs::instance().print(this, printer, setup))
        return;
    printer.setDocName(QString());
    // Without a printer, Qt's printer stands ready for a PDF file, and prints nothing
    // until one is named.
    const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
    if (toFile ? printer.outputFileName().isEmpty() : !printer.isValid())
        throw EPrinter(QStringLiteral("Impossible d'imprimer : aucune imprimante n'est installée. "
                                      "Choisissez l'impression dans un fichier PDF"));

    // The text fills the printable area: a copy laid out as on screen, given the
    // page's size and no margin of its own, so that no default margin is added.
    std::unique_ptr<QTextDocument> copy(RichEditClipBoard->document()->clone());
    QPaintDevice* screen = RichEditClipBoard->viewport();
    copy->documentLayout()->setPaintDevice(screen);
    copy->setDocumentMargin(0);
    copy->setPageSize(QSizeF(qreal(printer.width()) * screen->logicalDpiX() / printer.logicalDpiX(),
        qreal(printer.height()) * screen->logicalDpiY() / printer.logicalDpiY()));
    copy->print(&printer);
    if (printer.printerState() == QPrinter::Error)
        throw EPrinter(QStringLiteral("L'impression n'a pas pu être terminée"));
    if (toFile && QFileInfo(printer.outputFileName()).size() == 0)
        throw EPrinter(QStringLiteral("Impossible d'écrire le fichier PDF %1")
                           .arg(QDir::toNativeSeparators(printer.outputFileName())));
}

void TFicheClip::ToolButtonMailClick()
{
    const QString question = QStringLiteral("   Envoyer par E-Mail ?\r\rLa première ligne de votre\r"
                                            "   texte servira de sujet\r\rAppuyer sur <Echap> pour\r"
                                            " quitter la fenêtre d'E-Mail");
    if (!confirm(question))
        return;
    const QStringList lines = laidOutLines();
    const QString subject = lines.isEmpty() ? QString() : lines.constFirst();
    QString body;
    for (const QString& line : lines)
        body += line + kLineBreak;
    if (m_mail->send(subject, body, this) == 0)
        return;
    Dialogs::instance().showError(this, QStringLiteral("Erreur"), QString());
}

void TFicheClip::EditUndo()
{
    RichEditClipBoard->undo();
}

void TFicheClip::EditCut()
{
    RichEditClipBoard->cut();
}

void TFicheClip::EditCopy()
{
    RichEditClipBoard->copy();
}

void TFicheClip::EditPaste()
{
    RichEditClipBoard->paste();
}
