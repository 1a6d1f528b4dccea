#pragma once

#include <QLabel>
#include <QString>

// A one-line label that takes what room its layout gives it and, when its text is wider, shows
// the text cut short with an ellipsis; the tool tip has it whole.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void set_full_text(const QString &text);
    QString full_text() const { return fullText_; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString fullText_;
};
