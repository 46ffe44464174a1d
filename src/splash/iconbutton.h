#pragma once

#include <QAbstractButton>

// A disabled, owner-drawn button that shows an icon at twice the style's large
// icon size inside a one-pixel black frame with a dark grey drop shadow to the
// lower right. It never fills its background: the pixels under the icon's
// transparent parts are whatever the parent painted there.
class CIconButton : public QAbstractButton
{
    Q_OBJECT

public:
    // Shows the document icon unless another one is set with setIcon().
    explicit CIconButton(QWidget* parent = nullptr);

    // Fixes the size at twice the large icon size plus 8 pixels each way,
    // keeping the position.
    void FitToIcon();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize fittedSize() const;
};
