#pragma once

#include <QObject>
#include <functional>

class QEvent;

// Chains a component into its owner window's show, close-request and destroy,
// the way a component of the original design replaced and called the window's
// handlers: as an event filter, so no widget header is needed here.
//
// - OnShow runs after the window's own show handling.
// - OnCloseQuery runs after the window's own close handling has decided; it sees
//   whether closing is still allowed and may refuse it by returning false.
// Destroying the hook puts the window's handling back as it was. (A component
// that must act when its window is destroyed is the window's child: its own
// destructor runs while the window is still whole.)
class TWindowHook : public QObject
{
    Q_OBJECT
public:
    explicit TWindowHook(QObject* window, QObject* parent = nullptr);
    ~TWindowHook() override;

    QObject* window() const { return FWindow; }

    std::function<void()> OnShow;
    std::function<bool(bool canClose)> OnCloseQuery;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QObject* FWindow;
};
