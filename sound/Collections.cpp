#include "sound/Collections.h"

#include <algorithm>
#include <memory>

namespace k58 {

TCollectionItem::TCollectionItem(TCollection* collection) : mCollection(collection) {
    if (collection != nullptr)
        collection->mItems.push_back(this);
}

TCollectionItem::~TCollectionItem() {
    if (mCollection == nullptr)
        return;
    auto& items = mCollection->mItems;
    items.erase(std::remove(items.begin(), items.end(), this), items.end());
}

int TCollectionItem::Index() const noexcept {
    if (mCollection == nullptr)
        return -1;
    const auto& items = mCollection->mItems;
    const auto it = std::find(items.begin(), items.end(), this);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

TCollection::~TCollection() {
    Clear();
}

TCollectionItem* TCollection::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%s)", {std::to_string(index)}));
    return mItems[static_cast<std::size_t>(index)];
}

TCollectionItem* TCollection::Add() {
    return NewItem();
}

void TCollection::Clear() {
    // Each item leaves the list from its own destructor.
    while (!mItems.empty())
        delete mItems.back();
}

TCollectionItem* TCollection::NewItem() {
    return new TCollectionItem(this);
}

void TCollection::Assign(const TPersistent* source) {
    const auto* other = dynamic_cast<const TCollection*>(source);
    if (other == nullptr) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    Clear();
    for (TCollectionItem* item : other->mItems)
        Add()->Assign(item);
}

} // namespace k58
