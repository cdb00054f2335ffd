#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>

class QCheckBox;
class QMenu;
class QAction;
class QProgressBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TForm1;
class TRvFormSR;
class TSdSteps;
class TSdTree;

// "SD EXPLORER": the card's files as a tree; play, stop, refresh and download.
// A top-level window of its own, freed when closed; it sends through the main
// window's link and gets the listing from the main window's reply handler.
class TfrmFileList : public QWidget
{
    Q_OBJECT
public:
    TfrmFileList(TForm1& form, TSdSteps& steps);
    ~TfrmFileList() override;

    QCheckBox* cbxPetitStyle = nullptr;
    QCheckBox* cbxOpenAfterRead = nullptr;
    QTreeWidget* tv1 = nullptr;
    QProgressBar* pbar = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* actPlay = nullptr;
    QAction* actStop = nullptr;
    QAction* actDownload = nullptr;
    QAction* actRefresh = nullptr;
    TRvFormSR* RvFormSR1 = nullptr;
    QList<QIcon> ImageList1;

    QToolButton* StatusPanel(int index) const;
    void SetPanelText(int index, const QString& text);
    QString PanelText(int index) const;

    // Replaces the nodes with the tree built from a listing.
    void ShowTree(const TSdTree& tree);
    // The marquee while a listing is awaited, until the first download makes
    // it a 0..100 bar for good.
    void ShowListingProgress();
    void ShowDownloadProgress(int percent);
    void HideProgress();

    void PlaySelected();
    void DownloadSelected();
    void Refresh();
    void StopPlaying();
    // Right click at a point of the tree's viewport: selection, then the items'
    // state; the menu itself is opened by the caller.
    void PrepareMenu(const QPoint& viewportPos);
    void UpdateMenuState();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QTreeWidgetItem* SelectedNode() const;
    void Panel1Click();
    void Send(const QString& command);

    TForm1& FForm;
    TSdSteps& FSteps;
    QToolButton* FPanels[2] = {};
    bool FBarIsProgress = false;
};
