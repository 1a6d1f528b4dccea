#pragma once

#include <QDialog>
#include <QString>

class FlipRectAnimation;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

// Modal busy window shown while a background job runs: a flipping rectangle above one line of
// text in a white, frameless square. The caller runs exec() and closes it when the job is done.
class Loading : public QDialog
{
public:
    explicit Loading(QString text);
    ~Loading() override;

    // Replaces the line of text, e.g. with a progress figure.
    void set_text(const QString &text);

private:
    FlipRectAnimation *flip_ = nullptr;
    QVBoxLayout *mainLayout_ = nullptr;
    QHBoxLayout *flipRow_ = nullptr;
    QLabel *textLabel_ = nullptr;
};
