#include "loading.h"

#include "fliprectanimation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <chrono>

namespace {

constexpr int kFlipSide = 50;
constexpr std::chrono::milliseconds kFlipDurationMs{500};

} // namespace

Loading::Loading(QString text)
    : QDialog(nullptr, Qt::WindowFlags())
{
    flip_ = new FlipRectAnimation(kFlipSide, kFlipSide, int(kFlipDurationMs.count()), nullptr);

    flipRow_ = new QHBoxLayout();
    flipRow_->addWidget(flip_, 0, Qt::Alignment());
    flipRow_->setAlignment(Qt::AlignHCenter);

    mainLayout_ = new QVBoxLayout();
    mainLayout_->addLayout(flipRow_, 0);

    textLabel_ = new QLabel();
    textLabel_->setText(text);
    textLabel_->setStyleSheet(QStringLiteral("\n"
                                             "        color: #8c6927;\n"
                                             "        font-size: 20px;\n"
                                             "        font-weight: bold;\n"
                                             "        qproperty-alignment: 'AlignCenter';\n"
                                             "    "));
    textLabel_->setFixedSize(180, 20);
    mainLayout_->addWidget(textLabel_, 0, Qt::Alignment());

    mainLayout_->setAlignment(Qt::AlignVCenter);
    mainLayout_->setSpacing(5);

    // Reparents the flip widget and the label to the dialog.
    setLayout(mainLayout_);

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedSize(200, 200);
    setStyleSheet(QStringLiteral("\n"
                                 "        QDialog { \n"
                                 "            background-color: white; \n"
                                 "            border: 1px solid #8c6927;\n"
                                 "        }\n"
                                 "    "));
}

Loading::~Loading()
{
    // Each delete unhooks the object from its Qt parent and layout, so the base class finds
    // nothing of ours left to delete.
    delete flip_;
    flip_ = nullptr;
    delete flipRow_;
    flipRow_ = nullptr;
    delete textLabel_;
    textLabel_ = nullptr;
    delete mainLayout_;
    mainLayout_ = nullptr;
}

void Loading::set_text(const QString &text)
{
    textLabel_->setText(text);
}
