#pragma once

#include <QWidget>

// The capture editor: collects the captures appended by the query window.
class TFicheClip : public QWidget {
    Q_OBJECT
public:
    explicit TFicheClip(QWidget* parent = nullptr);
};

extern TFicheClip* FicheClip;
