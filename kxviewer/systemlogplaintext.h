// The System Log view: a read-only plain-text log with a gutter that shows,
// beside the first line of every entry, its time of day and a 16 x 16 icon.
#pragma once

#include <QPlainTextEdit>

class TimeIconArea;

class SystemLogPlainText : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int GUTTER_WIDTH = 77;
    static constexpr int TIME_WIDTH = 60;
    static constexpr int ICON_X = 62;
    static constexpr int ICON_SIZE = 16;
    static constexpr QRgb GUTTER_BACKGROUND = 0xfffafafa;

    explicit SystemLogPlainText(QWidget* parent = nullptr);

    // Appends one entry on a line of its own. A message of several lines
    // shows its time and icon beside its first line only. The view follows
    // the newest line unless the user has scrolled away from the end.
    void AddEntry(const QString& time, const QIcon& icon, const QString& message);
    void Clear();

    TimeIconArea* Gutter() const { return gutter_; }
    void timeIconAreaPaintEvent(QPaintEvent* event);

public slots:
    void updateTimeIconAreaWidth(int newBlockCount);
    void updateTimeIconArea(const QRect& rect, int dy);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FollowEnd();

    TimeIconArea* gutter_;
    int entries_ = 0;
    bool followEnd_ = true;
};
