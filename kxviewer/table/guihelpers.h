// Small text, colour and tree helpers shared by the dialogs, the document
// tabs, the exports and the graph.
#pragma once

#include <cstdint>

#include <QString>

class QColor;
class QFont;
class QTreeWidget;
class QTreeWidgetItem;

// Pixels for a number of the font's average characters, as the font is
// drawn with its hinting. The average is taken unrounded: a fixed font's
// advance is often fractional, and rounding it down first leaves a column
// too narrow for as many characters.
int CharactersWidth(const QFont& font, int characters);
// The first 40 characters, followed by "..." when the text is longer.
QString ElideText(const QString& text);
// True when 1 - (0.299 R + 0.587 G + 0.114 B) / 255 >= 0.5.
bool IsDarkColor(const QColor& color);
// The item itself when top-level, else its top-level ancestor; null for null.
QTreeWidgetItem* TopLevelItemOf(QTreeWidget* tree, QTreeWidgetItem* item);
// key, op and the value in the quote it allows ('...', or "..." when it
// holds a '): the search language has no escapes. A double-quoted == with a
// wildcard becomes !(key!="value"), so that the condition is exact. Empty,
// and the user told, when the value holds both quotes.
QString QuotedCondition(const char* key, const char* op, const QString& value);
// The decimal number in the last pair of parentheses, or of the whole text
// when it has no ')'; 0 when it is not a number.
uint64_t ParseRowNumber(const QString& text);
