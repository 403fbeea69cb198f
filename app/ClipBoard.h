#pragma once

#include "ui/Dialogs.h"

#include <QStringList>
#include <QWidget>
#include <memory>

class MailHandOff;
class QAction;
class QFrame;
class QMenu;
class QTextEdit;
class QToolButton;

// The capture editor: collects the captures that the query window appends, as lines
// of text the user can edit, save to a text file, print or send by e-mail. Closing
// it only hides it; its text lives until the program ends.
class TFicheClip : public QWidget
{
    Q_OBJECT
public:
    explicit TFicheClip(QWidget* parent = nullptr);
    ~TFicheClip() override;

    // Adds text as a new last line: after the text when it is empty or ends with a
    // line break (text + CR LF), otherwise after a new line break (CR LF + text).
    // Throws "Erreur d'insertion de ligne RichEdit" when the editor cannot take it:
    // more than 1 Mi characters in all, or a run of more than 20,000 without a break.
    void AppendLine(const QString& text);
    // Shows the window, modeless, in front of the others.
    void showEditor();

    // The whole text as it is saved: paragraphs joined by CR LF.
    QString plainText() const;
    // The lines as the editor lays them out, a wrapped line giving several; an empty
    // last line (after a final line break, or in an empty editor) is not a line.
    QStringList laidOutLines() const;

    // The mail hand-off used by ToolButtonMailClick (not owned); nullptr restores
    // the system's own.
    void setMailHandOff(MailHandOff* handOff);

    // Handlers.
    void ToolButtonQuitterClick();
    void ToolButtonEffacerClick();
    void ToolButtonSauverClick();
    void ToolButtonImprimerClick();
    void ToolButtonMailClick();
    void EditUndo();
    void EditCut();
    void EditCopy();
    void EditPaste();

    // Controls, named as their objectName.
    QFrame* BevelHautClipBoard;
    QWidget* ToolBarClipBoard;
    QToolButton* ToolButtonQuitter;
    QToolButton* ToolButtonEffacer;
    QToolButton* ToolButtonSauver;
    QToolButton* ToolButtonImprimer;
    QToolButton* ToolButtonMail;
    QFrame* BevelBasClipBoard;
    QTextEdit* RichEditClipBoard;
    QMenu* PopupMenuClipBoard;
    QAction* DefaireClipBoard;
    QAction* CouperClipBoard;
    QAction* CopierClipBoard;
    QAction* CollerClipBoard;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createToolBar();
    void createEditor();
    void createEditMenu();
    void connectHandlers();
    // Asks with the editor's own boxes: caption "Confirmation", "OK" and "Annuler".
    bool confirm(const QString& text);

    // SaveDialogClipBoard: keeps the last file name and filter chosen.
    Dialogs::SaveFile m_saveDialog;
    std::unique_ptr<MailHandOff> m_systemMail;
    MailHandOff* m_mail = nullptr;
    bool m_centred = false;
};

extern TFicheClip* FicheClip;
