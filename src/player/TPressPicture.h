#pragma once

#include <QLabel>
#include <QPixmap>
#include <functional>

// A picture button: shows one pixmap (another while pressed, when given),
// moves one pixel right and down while the mouse button is held, and reports
// down, up and click.
class TPressPicture : public QLabel
{
    Q_OBJECT
public:
    explicit TPressPicture(const QPixmap& normal, QWidget* parent = nullptr,
                           const QPixmap& pressed = QPixmap());

    int Tag = 0;
    bool IsDown() const { return FDown; }

    std::function<void(TPressPicture*)> OnMouseDown;
    std::function<void(TPressPicture*)> OnMouseUp;
    std::function<void(TPressPicture*)> OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetDown(bool down);

    QPixmap FNormal;
    QPixmap FPressed;
    bool FDown = false;
};
