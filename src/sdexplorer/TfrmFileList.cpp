#include "sdexplorer/TfrmFileList.h"

#include "app/GuiUtils.h"
#include "app/HostServices.h"
#include "app/TForm1.h"
#include "app/TRvFormSR.h"
#include "app/Utils.h"
#include "sdexplorer/TSdSteps.h"
#include "sdexplorer/TSdTree.h"
#include "serial/TRvComPort.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QProgressBar>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
constexpr int ItemHeight = 19;
enum Image
{
    ImgFolder = 0,
    ImgFile = 1,
    ImgWav = 2,
    ImgRoot = 3,
    ImgPlay = 4,
    ImgStop = 5,
    ImgDownload = 6,
    ImgRefresh = 9
};
} // namespace

TfrmFileList::TfrmFileList(TForm1& form, TSdSteps& steps)
    : QWidget(nullptr, Qt::Window), FForm(form), FSteps(steps)
{
    setObjectName(u"frmFileList"_s);
    setWindowTitle(u"SD EXPLORER"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(390, 320);
    resize(420, 480);

    QStyle* st = style();
    ImageList1 = {st->standardIcon(QStyle::SP_DirIcon),
                  st->standardIcon(QStyle::SP_FileIcon),
                  st->standardIcon(QStyle::SP_MediaVolume),
                  st->standardIcon(QStyle::SP_DriveHDIcon),
                  st->standardIcon(QStyle::SP_MediaPlay),
                  st->standardIcon(QStyle::SP_MediaStop),
                  st->standardIcon(QStyle::SP_ArrowDown),
                  QIcon(),
                  QIcon(),
                  st->standardIcon(QStyle::SP_BrowserReload)};

    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    auto* top = new QWidget(this);
    auto* th = new QVBoxLayout(top);
    th->setContentsMargins(6, 4, 6, 4);
    cbxPetitStyle = new QCheckBox(u"Read files in PetitFS mode (*.txt, *.csv)"_s, top);
    cbxPetitStyle->setObjectName(u"cbxPetitStyle"_s);
    cbxOpenAfterRead = new QCheckBox(u"Open file after read"_s, top);
    cbxOpenAfterRead->setObjectName(u"cbxOpenAfterRead"_s);
    th->addWidget(cbxPetitStyle);
    th->addWidget(cbxOpenAfterRead);
    v->addWidget(top);

    tv1 = new QTreeWidget(this);
    tv1->setObjectName(u"tv1"_s);
    tv1->setHeaderHidden(true);
    tv1->setColumnCount(1);
    tv1->setIndentation(19);
    tv1->setSelectionMode(QAbstractItemView::SingleSelection);
    tv1->setSelectionBehavior(QAbstractItemView::SelectRows);
    tv1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tv1->setUniformRowHeights(true);
    tv1->setContextMenuPolicy(Qt::CustomContextMenu);
    v->addWidget(tv1, 1);

    pbar = new QProgressBar(this);
    pbar->setObjectName(u"pbar"_s);
    pbar->setMaximumHeight(8);
    pbar->setTextVisible(false);
    pbar->hide();
    v->addWidget(pbar);

    auto* bar = new QStatusBar(this);
    bar->setObjectName(u"StatusBar1"_s);
    bar->setSizeGripEnabled(false);
    const int widths[2] = {100, 180};
    for (int i = 0; i < 2; ++i) {
        FPanels[i] = new QToolButton(bar);
        FPanels[i]->setObjectName(u"StatusPanel"_s + QString::number(i));
        FPanels[i]->setAutoRaise(true);
        FPanels[i]->setMinimumWidth(widths[i]);
        FPanels[i]->setToolButtonStyle(Qt::ToolButtonTextOnly);
        bar->addWidget(FPanels[i], i == 1 ? 1 : 0);
    }
    FPanels[0]->setText(u"disconnected"_s);
    v->addWidget(bar);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    actPlay = PopupMenu1->addAction(ImageList1.at(ImgPlay), u"Play"_s);
    actStop = PopupMenu1->addAction(ImageList1.at(ImgStop), u"Stop"_s);
    PopupMenu1->addSeparator();
    actDownload = PopupMenu1->addAction(ImageList1.at(ImgDownload), u"Pobierz z karty"_s);
    PopupMenu1->addSeparator();
    actRefresh = PopupMenu1->addAction(ImageList1.at(ImgRefresh), u"Odśwież widok"_s);

    connect(actPlay, &QAction::triggered, this, [this] { PlaySelected(); });
    connect(actStop, &QAction::triggered, this, [this] { StopPlaying(); });
    connect(actDownload, &QAction::triggered, this, [this] { DownloadSelected(); });
    connect(actRefresh, &QAction::triggered, this, [this] { Refresh(); });
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { UpdateMenuState(); });
    connect(tv1, &QTreeWidget::itemDoubleClicked, this, [this] { PlaySelected(); });
    connect(tv1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PrepareMenu(pos);
        PopupMenu1->popup(tv1->viewport()->mapToGlobal(pos));
    });
    connect(FPanels[0], &QToolButton::clicked, this, [this] { FForm.ConnectDisconnect(); });
    connect(FPanels[1], &QToolButton::clicked, this, [this] { Panel1Click(); });
    connect(cbxOpenAfterRead, &QCheckBox::clicked, this, [this](bool on) {
        FForm.OpenAfterRead = on;
        RvFormSR1->SaveRegINI(u"openafterread"_s, on);
    });

    RvFormSR1 = new TRvFormSR(this);
    RvFormSR1->setObjectName(u"RvFormSR1"_s);
    FForm.OpenAfterRead = RvFormSR1->ReadRegINI(u"openafterread"_s, false);
    SetCheckedSilently(cbxOpenAfterRead, FForm.OpenAfterRead);
    SetCheckedSilently(cbxPetitStyle, RvFormSR1->ReadRegINI(u"readPetitMode"_s, false));

    SetTreeItemHeight(tv1, ItemHeight);
    auto* root = new QTreeWidgetItem(tv1, QStringList{u"/"_s});
    root->setIcon(0, ImageList1.at(ImgRoot));
    RvFormSR1->Loaded();
}

TfrmFileList::~TfrmFileList() = default;

QToolButton* TfrmFileList::StatusPanel(int index) const
{
    return index >= 0 && index < 2 ? FPanels[index] : nullptr;
}

void TfrmFileList::SetPanelText(int index, const QString& text)
{
    if (QToolButton* b = StatusPanel(index))
        b->setText(text);
}

QString TfrmFileList::PanelText(int index) const
{
    const QToolButton* b = StatusPanel(index);
    return b ? b->text() : QString();
}

void TfrmFileList::Send(const QString& command)
{
    FForm.RvComPort1->SendString(command);
}

void TfrmFileList::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Send(u"AT+STOP"_s);
    Send(u"AT+LIST"_s);
    SetPanelText(0, FForm.RvComPort1->Connected() ? u"connected"_s : u"disconnected"_s);
}

void TfrmFileList::closeEvent(QCloseEvent* event)
{
    RvFormSR1->SaveRegINI(u"readPetitMode"_s, cbxPetitStyle->isChecked());
    QWidget::closeEvent(event);
}

void TfrmFileList::ShowTree(const TSdTree& tree)
{
    tv1->setUpdatesEnabled(false);
    tv1->clear();
    SetTreeItemHeight(tv1, ItemHeight);
    auto* root = new QTreeWidgetItem(QStringList{u"/"_s});
    root->setIcon(0, ImageList1.at(ImgRoot));
    QList<QTreeWidgetItem*> top;
    top.reserve(tree.folders.size() + tree.rootFiles.size());
    auto fileItem = [this](const TSdTree::File& f) {
        auto* item = new QTreeWidgetItem(QStringList{f.text});
        item->setIcon(0, ImageList1.at(f.picture == SdPicture::WavFile ? ImgWav : ImgFile));
        return item;
    };
    QList<QTreeWidgetItem*> folderItems;
    for (const TSdTree::Folder& folder : tree.folders) {
        auto* node = new QTreeWidgetItem(QStringList{folder.text});
        node->setIcon(0, ImageList1.at(ImgFolder));
        QList<QTreeWidgetItem*> files;
        files.reserve(folder.files.size());
        for (const TSdTree::File& f : folder.files)
            files.append(fileItem(f));
        node->addChildren(files);
        top.append(node);
        folderItems.append(node);
    }
    for (const TSdTree::File& f : tree.rootFiles)
        top.append(fileItem(f));
    root->addChildren(top);
    tv1->addTopLevelItem(root);
    // The folder search of the build leaves its last result selected.
    if (tree.selectedFolder == -1)
        tv1->setCurrentItem(root);
    else if (tree.selectedFolder >= 0)
        tv1->setCurrentItem(folderItems.at(tree.selectedFolder));
    if (tree.expandAll)
        tv1->expandAll();
    tv1->setUpdatesEnabled(true);
    HideProgress();
}

void TfrmFileList::ShowListingProgress()
{
    if (!FBarIsProgress)
        pbar->setRange(0, 0);
    pbar->show();
}

void TfrmFileList::ShowDownloadProgress(int percent)
{
    if (!FBarIsProgress) {
        FBarIsProgress = true;
        pbar->setRange(0, 100);
    }
    pbar->setValue(percent);
    pbar->show();
}

void TfrmFileList::HideProgress()
{
    pbar->hide();
    if (FBarIsProgress)
        pbar->setValue(0);
}

QTreeWidgetItem* TfrmFileList::SelectedNode() const
{
    const QList<QTreeWidgetItem*> sel = tv1->selectedItems();
    return sel.isEmpty() ? nullptr : sel.first();
}

void TfrmFileList::PlaySelected()
{
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    QString text = node->text(0);
    QString name = CutField(text, u"("_s);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot >= 0 ? name.mid(dot).toUpper() : QString();
    if (ext == u".TXT"_s) {
        DownloadSelected();
        return;
    }
    if (ext != u".WAV"_s) {
        SetPanelText(1, u"Error: it's not WAV file"_s);
        return;
    }
    const QString file = CutField(name, u" "_s);
    QTreeWidgetItem* parent = node->parent();
    const QString parentText = parent ? parent->text(0) : QString();
    const QString folder = parentText == u"/"_s ? QString() : u"/"_s + parentText;
    const auto* slider = FForm.findChild<QSlider*>(u"TrackBar1"_s);
    const int volume = slider ? slider->value() : 0;
    Send(u"AT+PLAY="_s + QString::number(volume) + u',' + folder + u',' + file);
    SetPanelText(1, file);
}

void TfrmFileList::DownloadSelected()
{
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    QString text = node->text(0);
    const QString file = CutField(text, u" "_s);
    QTreeWidgetItem* parent = node->parent();
    const QString parentText = parent ? parent->text(0) : QString();
    const QString folder = parentText == u"/"_s ? QString() : u"/"_s + parentText;
    const bool petit =
        cbxPetitStyle->isChecked() && (file.endsWith(u".TXT"_s) || file.endsWith(u".CSV"_s));
    Send(u"AT+FREAD="_s + folder + u'/' + file + u",0,1000000000"_s + (petit ? u",1"_s : u",0"_s));
    SetPanelText(1, folder + u'/' + file);
    pbar->show();
}

void TfrmFileList::Refresh()
{
    Send(u"AT+PLOFF"_s);
    Send(u"AT+DIR= "_s);
    TForm1::SetBusyCursor(true);
    ShowListingProgress();
}

void TfrmFileList::StopPlaying()
{
    Send(u"AT+PLOFF"_s);
}

void TfrmFileList::PrepareMenu(const QPoint& viewportPos)
{
    if (tv1->topLevelItemCount() == 1 && tv1->topLevelItem(0)->childCount() == 0)
        return; // only the root: the selection stays as it is
    if (QTreeWidgetItem* node = tv1->itemAt(viewportPos)) {
        tv1->setCurrentItem(node);
    } else {
        tv1->clearSelection();
        tv1->setCurrentItem(nullptr);
    }
}

void TfrmFileList::UpdateMenuState()
{
    QTreeWidgetItem* node = SelectedNode();
    const bool usable = node && node->text(0) != u"/"_s;
    actPlay->setEnabled(usable && node->text(0).toUpper().contains(u".WAV"_s));
    actStop->setEnabled(usable);
    actDownload->setEnabled(usable);
    actRefresh->setEnabled(true);
}

void TfrmFileList::Panel1Click()
{
    if (FForm.RvComPort1->RxBIN())
        FSteps.StopReceiving();
    else
        ExploreFolder(FForm.RxBinFolder);
}
