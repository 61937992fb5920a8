#pragma once
// The entries of a list box, a combo box's list or a tab control: texts with a value
// each, kept in insertion order or, for sorted controls, in the order the desktop
// sorts them (without regard to case; an entry equal to others goes after them).
#include <string>
#include <vector>

#include "platform/ui/UiTypes.h"

class ItemList {
public:
    struct Item {
        std::string text;
        LPARAM data = 0;
    };

    explicit ItemList(bool sorted = false) : sorted_(sorted) {}

    // The index the text went to.
    int Add(const std::string& text);
    // index -1 appends; beyond the end: -1 (nothing inserted). Never sorts.
    int Insert(int index, const std::string& text);
    bool Remove(int index);
    void Clear() { items_.clear(); }

    int Count() const { return static_cast<int>(items_.size()); }
    bool Valid(int index) const { return index >= 0 && index < Count(); }
    const Item& At(int index) const { return items_[static_cast<size_t>(index)]; }
    Item& At(int index) { return items_[static_cast<size_t>(index)]; }

    // Searches after `start` (-1: from the beginning), wrapping round; -1 when nothing matches.
    int FindExact(int start, const std::string& text) const;
    int FindPrefix(int start, const std::string& prefix) const;
    // Copies the text and its terminator into buffer; the length, or -1 for a bad index.
    LRESULT CopyText(int index, char* buffer) const;

    std::vector<std::string> Texts() const;
    static int CompareNoCase(const std::string& a, const std::string& b);

private:
    bool sorted_;
    std::vector<Item> items_;
};
