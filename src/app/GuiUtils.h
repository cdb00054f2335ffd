#pragma once

#include <QString>

class QCheckBox;
class QTreeWidget;

// Sets the box's ticked state without running its handlers.
void SetCheckedSilently(QCheckBox* box, bool checked);

// Every item row of the tree gets this height in pixels.
void SetTreeItemHeight(QTreeWidget* tree, int height);

// Selects the first node, in display order over all levels, whose text equals
// `text` once both are upper-cased and trimmed; optionally scrolls it into view
// (parents expanded) and sets its expanded state. False, with the first node
// selected, when none matches.
bool FindTreeNode(QTreeWidget* tree, const QString& text, bool makeVisible, bool expand);
