#include "elidedlabel.h"

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    // Its width comes from the layout, never from the text.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

void ElidedLabel::set_full_text(const QString &text)
{
    fullText_ = text;
    setToolTip(text);
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    setText(fontMetrics().elidedText(fullText_, Qt::ElideRight, contentsRect().width()));
}
