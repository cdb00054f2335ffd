#include "player/TPressPicture.h"

#include <QMouseEvent>

TPressPicture::TPressPicture(const QPixmap& normal, QWidget* parent, const QPixmap& pressed)
    : QLabel(parent), FNormal(normal), FPressed(pressed)
{
    setPixmap(FNormal);
    setCursor(Qt::PointingHandCursor);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // One spare pixel on each side lets the picture move without the layout moving.
    setContentsMargins(0, 0, 1, 1);
    setFixedSize(normal.deviceIndependentSize().toSize() + QSize(1, 1));
}

void TPressPicture::SetDown(bool down)
{
    FDown = down;
    setContentsMargins(down ? 1 : 0, down ? 1 : 0, down ? 0 : 1, down ? 0 : 1);
    if (!FPressed.isNull())
        setPixmap(down ? FPressed : FNormal);
}

void TPressPicture::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QLabel::mousePressEvent(event);
    SetDown(true);
    if (OnMouseDown)
        OnMouseDown(this);
}

void TPressPicture::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !FDown)
        return QLabel::mouseReleaseEvent(event);
    SetDown(false);
    if (OnMouseUp)
        OnMouseUp(this);
    if (rect().contains(event->position().toPoint()) && OnClick)
        OnClick(this);
}
