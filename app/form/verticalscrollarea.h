#pragma once

#include <QScrollArea>

// A scroll area that scrolls only up and down: it is at least as wide as its widget needs with
// the vertical scroll bar beside it, follows that width when the widget's contents change, and
// may be of any height. It draws no frame or background of its own. GUI thread only.
class VerticalScrollArea : public QScrollArea
{
    Q_OBJECT

public:
    explicit VerticalScrollArea(QWidget *parent = nullptr);

    // Takes `widget`, unless it is its widget already (as setupUi leaves it), and shows the
    // window's background through it.
    void set_column(QWidget *widget);
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
