#include "firmware/TmxStorage.h"

#include "firmware/CarriedFiles.h"

TmxStorage::TmxStorage()
{
    for (const TCarriedFile& f : CarriedFiles()) {
        const QByteArray block = QByteArray::fromRawData(reinterpret_cast<const char*>(f.data),
                                                         static_cast<qsizetype>(f.size));
        FItems.push_back(std::make_unique<TmxStoredItem>(QString::fromLatin1(f.name), block, true,
                                                         static_cast<qint64>(f.fileSize)));
    }
}

TmxStorage::TmxStorage(std::vector<std::unique_ptr<TmxStoredItem>> items) : FItems(std::move(items))
{}

TmxStoredItem* TmxStorage::ItemByName(const QString& name) const
{
    for (const auto& item : FItems)
        if (item->Name.compare(name, Qt::CaseInsensitive) == 0)
            return item.get();
    return nullptr;
}
