#include "serial/TATCommands.h"

TATCommandItem& TATCommands::Add()
{
    FItems.append(TATCommandItem());
    return FItems.last();
}

TATCommandItem& TATCommands::Insert(int index)
{
    index = std::clamp(index, 0, Count());
    FItems.insert(index, TATCommandItem());
    return FItems[index];
}

void TATCommands::Assign(const TATCommands& other)
{
    FItems.clear();
    for (const TATCommandItem& item : other.FItems) {
        FItems.append(TATCommandItem());
        FItems.last().Assign(item);
    }
}
