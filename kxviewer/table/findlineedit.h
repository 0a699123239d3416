// The line edit inside a document's find combo box: it paints the typed
// expression on the colour of its fixed highlight and keeps the "Pin Phrase"
// check mark in step with the text.
#pragma once

#include <cstdint>

#include <QLineEdit>
#include <QString>

class QPaintEvent;
class TabBase;

class LineEdit : public QLineEdit {
    Q_OBJECT

public:
    LineEdit(TabBase* owner, QWidget* parent = nullptr);

    // The text a find line painted last, in any tab.
    static QString LastPaintedText;

    TabBase* Owner;
    // Set when the user moved the cursor: the highlight colour is not
    // painted until the text is applied again.
    uint8_t CursorMoved = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
};
