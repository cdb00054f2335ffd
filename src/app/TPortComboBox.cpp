#include "app/TPortComboBox.h"

TPortComboBox::TPortComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
}

void TPortComboBox::showPopup()
{
    if (OnDropDown) {
        const QString text = currentText();
        OnDropDown();
        setEditText(text);
    }
    QComboBox::showPopup();
}
