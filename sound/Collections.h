// An owned, ordered list of items that know their list and their place in it.
//
// TCollection owns its items and frees them, last first, when cleared or
// destroyed. An item joins the collection it is created with and leaves it
// when freed. Assigning one collection to another replaces the items with
// copies of the source's items, made by assigning item to item.
#pragma once

#include "platform/Classes.h"

#include <vector>

namespace k58 {

class TCollection;

class TCollectionItem : public TPersistent {
public:
    // Appends the item to collection (if any), which then owns it.
    explicit TCollectionItem(TCollection* collection);
    // Leaves the collection.
    ~TCollectionItem() override;

    TCollection* Collection() const noexcept { return mCollection; }
    // The item's position in its collection, or -1 when it has none.
    int Index() const noexcept;

    const char* ClassName() const noexcept override { return "TCollectionItem"; }

private:
    friend class TCollection;
    TCollection* mCollection = nullptr;
};

class TCollection : public TPersistent {
public:
    TCollection() = default;
    // Frees the items, last first.
    ~TCollection() override;

    int Count() const noexcept { return static_cast<int>(mItems.size()); }
    // The item at index, counted from 0; raises when there is none.
    TCollectionItem* Items(int index) const;
    // Makes a new item of the collection's item class at the end.
    TCollectionItem* Add();
    // Frees every item, last first.
    void Clear();

    // The object that owns the collection, or nullptr.
    virtual TPersistent* Owner() const { return nullptr; }

    // Another collection: replaces the items with copies of its items.
    void Assign(const TPersistent* source) override;
    const char* ClassName() const noexcept override { return "TCollection"; }

protected:
    // Makes an item of the collection's item class on this collection.
    virtual TCollectionItem* NewItem();

private:
    friend class TCollectionItem;
    std::vector<TCollectionItem*> mItems;
};

// Raised for an item index outside the collection.
K58_DECLARE_EXCEPTION(EListError, Exception);

} // namespace k58
