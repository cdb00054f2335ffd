#include "app/TWidgetHostServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

int TWidgetHostServices::showMessageBox(const QString& text, const QString& caption, int flags)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (flags & 0xF0) {
    case MB::IconError:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB::IconQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    case MB::IconWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB::IconInformation:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (flags & 0xF) {
    case MB::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MB::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case MB::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MB::IdYes;
    case QMessageBox::No:
        return MB::IdNo;
    case QMessageBox::Cancel:
        return MB::IdCancel;
    default:
        return MB::IdOk;
    }
}

QString TWidgetHostServices::browseForFolder(const QString& title, const QString& startFolder,
                                             bool allowNewFolders)
{
    if (!startFolder.isEmpty())
        FLastStartFolder = startFolder;
    QFileDialog dialog(QApplication::activeWindow(), title, FLastStartFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // Qt's own dialog, so "no new folders" really hides that button.
    dialog.setOption(QFileDialog::DontUseNativeDialog, !allowNewFolders);
    dialog.setOption(QFileDialog::ReadOnly, !allowNewFolders);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
