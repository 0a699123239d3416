#include "kxviewer/systemlogplaintext.h"

#include <QIcon>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include "kxviewer/timeiconarea.h"

namespace {

// Time and icon of an entry, kept on the first text block of the entry, so
// that a message of several lines cannot shift the gutter of later entries.
class EntryData : public QTextBlockUserData {
public:
    EntryData(const QString& time, const QPixmap& icon) : time(time), icon(icon) {}
    QString time;
    QPixmap icon;
};

} // namespace

SystemLogPlainText::SystemLogPlainText(QWidget* parent) : QPlainTextEdit(parent), gutter_(new TimeIconArea(this))
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(this, &QPlainTextEdit::blockCountChanged, this, &SystemLogPlainText::updateTimeIconAreaWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &SystemLogPlainText::updateTimeIconArea);
    setFocusPolicy(Qt::ClickFocus);
    updateTimeIconAreaWidth(0);
    // Growing the text keeps the value and so sends nothing: only the user's
    // scrolling (or a clamp at the new end) decides whether the view follows.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { followEnd_ = value == verticalScrollBar()->maximum(); });
    // The range can grow after an entry is added (the layout is finished
    // later, or a wide line brings the horizontal scroll bar): a view that
    // follows goes on to the new end.
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { FollowEnd(); });
}

void SystemLogPlainText::FollowEnd()
{
    if (followEnd_)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void SystemLogPlainText::AddEntry(const QString& time, const QIcon& icon, const QString& message)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // An empty message must still get a line of its own, or two entries
    // would share one gutter line.
    if (entries_ > 0 || !document()->toPlainText().trimmed().isEmpty())
        cursor.insertText(QStringLiteral("\n"));
    const int start = cursor.position();
    cursor.insertText(message);
    QPixmap pixmap;
    if (!icon.isNull())
        pixmap = icon.pixmap(icon.actualSize(QSize(ICON_SIZE, ICON_SIZE), QIcon::Normal, QIcon::Off),
                             QIcon::Normal, QIcon::Off);
    document()->findBlock(start).setUserData(new EntryData(time, pixmap));
    ++entries_;
    FollowEnd();
    gutter_->update();
}

void SystemLogPlainText::Clear()
{
    clear();
    entries_ = 0;
    followEnd_ = true;
    gutter_->update();
}

void SystemLogPlainText::updateTimeIconAreaWidth(int)
{
    setViewportMargins(GUTTER_WIDTH, 0, 0, 0);
}

void SystemLogPlainText::updateTimeIconArea(const QRect& rect, int dy)
{
    if (dy != 0)
        gutter_->scroll(0, dy);
    else
        gutter_->update(0, rect.y(), gutter_->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        updateTimeIconAreaWidth(0);
}

void SystemLogPlainText::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    FollowEnd();
    const QRect cr = contentsRect();
    gutter_->setGeometry(QRect(cr.left(), cr.top(), GUTTER_WIDTH, cr.height()));
}

void SystemLogPlainText::timeIconAreaPaintEvent(QPaintEvent* event)
{
    QPainter painter(gutter_);
    painter.fillRect(event->rect(), QColor::fromRgba(GUTTER_BACKGROUND));
    QFont small = font();
    small.setPointSize(8);
    painter.setFont(small);
    painter.setPen(Qt::black);
    const int fontHeight = QFontMetrics(small).height();

    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    int bottom = top + qRound(blockBoundingRect(block).height());
    while (block.isValid() && top <= event->rect().bottom()) {
        const auto* entry = static_cast<const EntryData*>(block.userData());
        if (entry != nullptr && block.isVisible() && bottom >= event->rect().top()) {
            painter.drawText(0, top + 2, TIME_WIDTH, fontHeight, Qt::AlignRight, entry->time);
            if (!entry->icon.isNull())
                painter.drawPixmap(ICON_X, top, ICON_SIZE, ICON_SIZE, entry->icon);
        }
        block = block.next();
        top = bottom;
        bottom = top + qRound(blockBoundingRect(block).height());
    }
}
