#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

// A command the owner may attach a reply handler to. The serial worker never
// consults these: they travel with the component's settings only.
class TATCommandItem
{
public:
    QString ATcmd;
    std::function<void(QObject* Sender, const QString& AParams)> OnATCommandRx;

    QString DisplayName() const { return ATcmd; }
    // Assigning one item from another copies the command text only.
    void Assign(const TATCommandItem& other) { ATcmd = other.ATcmd; }
};

// The owned collection of TATCommandItem.
class TATCommands
{
public:
    TATCommandItem& Add();
    TATCommandItem& Insert(int index);
    TATCommandItem& GetItem(int index) { return FItems[index]; }
    const TATCommandItem& GetItem(int index) const { return FItems[index]; }
    void SetItem(int index, const TATCommandItem& item) { FItems[index].Assign(item); }
    int Count() const { return static_cast<int>(FItems.size()); }
    void Clear() { FItems.clear(); }
    void Assign(const TATCommands& other);

private:
    QList<TATCommandItem> FItems;
};
