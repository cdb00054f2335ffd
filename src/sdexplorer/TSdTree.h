#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One entry of the board's directory listing, cut into its parts.
struct TSdEntry
{
    QString folder; // "" for the root, else the folder text with "\" separators
    QString name;   // the file name
    qint64 size;    // -1 when the listed size is not a number
};

// Pictures of the explorer's image list used by the tree.
namespace SdPicture {
constexpr int Folder = 0;
constexpr int File = 1;
constexpr int WavFile = 2;
constexpr int Root = 3;
} // namespace SdPicture

// The file tree built from a listing, as plain data: the root's folders and files
// in display order. Building keeps the explorer's rules (folders first, texts in
// the user's locale order without regard to case, expansion when every file is
// in the root) and finds folder nodes through an index, so a listing of tens of
// thousands of entries costs a sort, not a walk over the tree per entry.
class TSdTree
{
public:
    struct File
    {
        QString text; // name + "  (" + size text + ")"
        QString name;
        qint64 size = -1;
        int picture = SdPicture::File;
    };
    struct Folder
    {
        QString text;
        QList<File> files;
    };

    static TSdEntry ParseEntry(const QString& entry);
    static QString FileNodeText(const QString& name, qint64 size);
    // The key under which a node text is found: upper-cased and trimmed.
    static QString NodeKey(const QString& text);

    // Builds from white-space free entries, in arrival order.
    void Build(const QStringList& entries);

    QList<Folder> folders; // display order
    QList<File> rootFiles; // display order
    bool expandAll = true; // every file lies in the root
    // The node a lookup for a folder selected last: -1 the root, -2 none,
    // otherwise an index into `folders`.
    int selectedFolder = -2;

    // The folder whose node text matches `text` as a tree search would, or -1.
    int FindFolder(const QString& text) const;
    qsizetype FileCount() const;

private:
    QHash<QString, int> FIndex; // NodeKey(folder text) -> index into folders
};
