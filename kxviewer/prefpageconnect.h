// The "Connection" preferences page: the remembered address and the ports.
#pragma once

#include <QWidget>

class QLineEdit;

class PrefPageConnect : public QWidget {
    Q_OBJECT

public:
    explicit PrefPageConnect(QWidget* parent = nullptr);

    QLineEdit* Address;
    QLineEdit* FirstPort;
    QLineEdit* SecondPort;
};
