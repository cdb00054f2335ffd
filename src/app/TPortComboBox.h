#pragma once

#include <QComboBox>
#include <functional>

// The port box: an editable combo box that lets its owner refill the list each
// time it is opened.
class TPortComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit TPortComboBox(QWidget* parent = nullptr);

    std::function<void()> OnDropDown;

    void showPopup() override;
};
