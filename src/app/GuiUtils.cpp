#include "app/GuiUtils.h"

#include <QCheckBox>
#include <QLocale>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

using namespace Qt::StringLiterals;

void SetCheckedSilently(QCheckBox* box, bool checked)
{
    if (!box)
        return;
    const QSignalBlocker block(box);
    box->setChecked(checked);
}

void SetTreeItemHeight(QTreeWidget* tree, int height)
{
    if (!tree)
        return;
    tree->setUniformRowHeights(true);
    tree->setStyleSheet(u"QTreeView::item { height: %1px; }"_s.arg(height));
}

bool FindTreeNode(QTreeWidget* tree, const QString& text, bool makeVisible, bool expand)
{
    if (!tree || tree->topLevelItemCount() == 0)
        return false;
    tree->setCurrentItem(tree->topLevelItem(0));
    tree->setUpdatesEnabled(false);
    const QLocale locale;
    const QString wanted = locale.toUpper(text).trimmed();
    bool found = false;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        QTreeWidgetItem* node = *it;
        if (locale.toUpper(node->text(0)).trimmed() != wanted)
            continue;
        if (makeVisible) {
            for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
                p->setExpanded(true);
            tree->scrollToItem(node);
        }
        node->setExpanded(expand);
        tree->setCurrentItem(node);
        found = true;
        break;
    }
    tree->setUpdatesEnabled(true);
    return found;
}
