#include "sdexplorer/TSdTree.h"

#include "app/Utils.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

TSdEntry TSdTree::ParseEntry(const QString& entry)
{
    QString e = entry;
    if (e.startsWith(u'/'))
        e.remove(0, 1);
    e.replace(u'/', u'\\');
    TSdEntry out;
    const qsizetype last = e.lastIndexOf(u'\\');
    if (last >= 0) {
        QString folder = e.left(last + 1).trimmed();
        if (!folder.isEmpty()) {
            if (folder.startsWith(u'\\'))
                folder.remove(0, 1);
            folder.chop(1);
        }
        out.folder = folder;
    }
    QString namePart = last >= 0 ? e.mid(last + 1) : e;
    out.name = CutField(namePart, u","_s);
    bool ok = false;
    const qint64 size = namePart.toLongLong(&ok);
    out.size = ok ? size : -1;
    return out;
}

QString TSdTree::FileNodeText(const QString& name, qint64 size)
{
    const QString sizeText = size >= 0 ? ByteSizeText(static_cast<quint64>(size)) : QString();
    return name + u"  ("_s + sizeText + u")"_s;
}

QString TSdTree::NodeKey(const QString& text)
{
    return QLocale().toUpper(text).trimmed();
}

int TSdTree::FindFolder(const QString& text) const
{
    return FIndex.value(NodeKey(text), -1);
}

qsizetype TSdTree::FileCount() const
{
    qsizetype n = rootFiles.size();
    for (const Folder& f : folders)
        n += f.files.size();
    return n;
}

namespace {
// Stable order by collation keys; ties keep arrival order.
template <typename T, typename TextOf>
void SortByText(QList<T>& items, const QCollator& collator, TextOf textOf)
{
    if (items.size() < 2)
        return;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(static_cast<size_t>(items.size()));
    // Folding first: some locales (C among them) collate with case whatever
    // the collator is told.
    for (const T& item : items)
        keys.push_back(collator.sortKey(textOf(item).toCaseFolded()));
    std::vector<qsizetype> order(static_cast<size_t>(items.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys](qsizetype a, qsizetype b) {
        return keys[static_cast<size_t>(a)].compare(keys[static_cast<size_t>(b)]) < 0;
    });
    QList<T> sorted;
    sorted.reserve(items.size());
    for (qsizetype i : order)
        sorted.append(std::move(items[i]));
    items = std::move(sorted);
}
} // namespace

void TSdTree::Build(const QStringList& entries)
{
    folders.clear();
    rootFiles.clear();
    FIndex.clear();
    expandAll = true;
    selectedFolder = -2;

    // Entries carry no blanks while every file node text holds two, so only a
    // folder node can ever match a folder text: the index covers the folders.
    int current = -1;
    for (const QString& entry : entries) {
        const TSdEntry e = ParseEntry(entry);
        if (!e.folder.isEmpty()) {
            const QString key = NodeKey(e.folder);
            const auto it = FIndex.constFind(key);
            if (it == FIndex.constEnd()) {
                current = static_cast<int>(folders.size());
                folders.append(Folder{e.folder, {}});
                FIndex.insert(key, current);
                selectedFolder = -1; // a failed search selects the first node
            } else {
                current = it.value();
                selectedFolder = current;
            }
        }
        File file;
        file.name = e.name;
        file.size = e.size;
        file.text = FileNodeText(e.name, e.size);
        file.picture =
            file.text.toUpper().contains(u".WAV"_s) ? SdPicture::WavFile : SdPicture::File;
        if (e.folder.isEmpty() || current < 0) {
            rootFiles.append(std::move(file));
        } else {
            folders[current].files.append(std::move(file));
            expandAll = false;
        }
    }

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto fileText = [](const File& f) -> const QString& { return f.text; };
    SortByText(rootFiles, collator, fileText);
    for (Folder& f : folders)
        SortByText(f.files, collator, fileText);

    const QString selectedText = selectedFolder >= 0 ? folders.at(selectedFolder).text : QString();
    SortByText(folders, collator, [](const Folder& f) -> const QString& { return f.text; });
    FIndex.clear();
    for (int i = 0; i < folders.size(); ++i) {
        FIndex.insert(NodeKey(folders.at(i).text), i);
        if (selectedFolder >= 0 && folders.at(i).text == selectedText)
            selectedFolder = i;
    }
}
