#include "iconbutton.h"

#include <QPainter>
#include <QStyle>

CIconButton::CIconButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setIcon(QIcon(QStringLiteral(":/icons/document.svg")));
    setEnabled(false);
    setFocusPolicy(Qt::NoFocus);
}

QSize CIconButton::fittedSize() const
{
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    return QSize(2 * iconSize + 8, 2 * iconSize + 8);
}

void CIconButton::FitToIcon()
{
    setFixedSize(fittedSize());
}

// The natural size equals the fitted one, so a layout that holds the button is
// already at its final size before FitToIcon runs.
QSize CIconButton::sizeHint() const
{
    return fittedSize();
}

QSize CIconButton::minimumSizeHint() const
{
    return fittedSize();
}

void CIconButton::paintEvent(QPaintEvent*)
{
    const QIcon picture = icon();
    if (picture.isNull())
        return;

    const int w = width();
    const int h = height();
    const QRect imageArea(2, 2, w - 8, h - 8);

    QPainter painter(this);

    // A one-pixel outline of a w-5 by h-5 rectangle covers x 0..w-5 and y 0..h-5.
    // The ring between it and the image area keeps the parent's background.
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, w - 5, h - 5);

    painter.fillRect(QRect(QPoint(w - 4, 4), QPoint(w - 1, h - 1)), Qt::darkGray);
    painter.fillRect(QRect(QPoint(4, h - 4), QPoint(w - 1, h - 1)), Qt::darkGray);

    // Focus, press and the disabled state leave the picture as it is.
    if (imageArea.isValid())
        picture.paint(&painter, imageArea, Qt::AlignCenter, QIcon::Normal, QIcon::Off);
}
