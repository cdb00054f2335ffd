#pragma once

#include "firmware/TmxStoredItem.h"

#include <QString>
#include <memory>
#include <vector>

// The files carried inside the program: the firmware image, the bootloader
// image and the avrdude archive. Read-only at run time.
class TmxStorage
{
public:
    // The carried files.
    TmxStorage();
    // Any items (tests, tools).
    explicit TmxStorage(std::vector<std::unique_ptr<TmxStoredItem>> items);

    // The first item whose name matches without regard to case, or null.
    TmxStoredItem* ItemByName(const QString& name) const;

    int Count() const { return static_cast<int>(FItems.size()); }
    TmxStoredItem* Item(int i) const { return FItems.at(static_cast<size_t>(i)).get(); }

private:
    std::vector<std::unique_ptr<TmxStoredItem>> FItems;
};
