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

    flip_row_ = new QHBoxLayout();
    flip_row_->addWidget(flip_, 0, Qt::Alignment());
    flip_row_->setAlignment(Qt::AlignHCenter);

    main_layout_ = new QVBoxLayout();
    main_layout_->addLayout(flip_row_, 0);

    text_label_ = new QLabel();
    text_label_->setText(text);
    text_label_->setStyleSheet(QStringLiteral("\n"
                                              "        color: #8c6927;\n"
                                              "        font-size: 20px;\n"
                                              "        font-weight: bold;\n"
                                              "        qproperty-alignment: 'AlignCenter';\n"
                                              "    "));
    text_label_->setFixedSize(180, 20);
    main_layout_->addWidget(text_label_, 0, Qt::Alignment());

    main_layout_->setAlignment(Qt::AlignVCenter);
    main_layout_->setSpacing(5);

    // Reparents the flip widget and the label to the dialog.
    setLayout(main_layout_);

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
    delete flip_row_;
    flip_row_ = nullptr;
    delete text_label_;
    text_label_ = nullptr;
    delete main_layout_;
    main_layout_ = nullptr;
}

void Loading::set_text(const QString &text)
{
    text_label_->setText(text);
}
