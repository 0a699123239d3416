// The "Fonts" preferences page: one group per view font. A chosen font is
// stored at once; the views get it on Apply.
#pragma once

#include <QList>
#include <QWidget>

class QLabel;

class PrefPageFonts : public QWidget {
    Q_OBJECT

public:
    explicit PrefPageFonts(QWidget* parent = nullptr);

    // Per font slot: the family-and-size label, then the sample.
    QList<QLabel*> Labels;

public slots:
    void ChooseFont();

private:
    void ShowFont(int index);
};
