#include "platform/ui/ItemList.h"

#include <algorithm>
#include <cctype>
#include <cstring>

int ItemList::CompareNoCase(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int ItemList::Add(const std::string& text) {
    size_t pos = items_.size();
    if (sorted_) {
        pos = 0;
        while (pos < items_.size() && CompareNoCase(items_[pos].text, text) <= 0) ++pos;
    }
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), Item{text, 0});
    return static_cast<int>(pos);
}

int ItemList::Insert(int index, const std::string& text) {
    if (index == -1) index = Count();
    if (index < 0 || index > Count()) return -1;
    items_.insert(items_.begin() + index, Item{text, 0});
    return index;
}

bool ItemList::Remove(int index) {
    if (!Valid(index)) return false;
    items_.erase(items_.begin() + index);
    return true;
}

int ItemList::FindExact(int start, const std::string& text) const {
    int n = Count();
    if (n == 0) return -1;
    int first = (start < 0 || start >= n) ? 0 : start + 1;
    for (int k = 0; k < n; ++k) {
        int i = (first + k) % n;
        if (CompareNoCase(items_[static_cast<size_t>(i)].text, text) == 0) return i;
    }
    return -1;
}

int ItemList::FindPrefix(int start, const std::string& prefix) const {
    int n = Count();
    if (n == 0) return -1;
    int first = (start < 0 || start >= n) ? 0 : start + 1;
    for (int k = 0; k < n; ++k) {
        int i = (first + k) % n;
        const std::string& t = items_[static_cast<size_t>(i)].text;
        if (t.size() >= prefix.size() && CompareNoCase(t.substr(0, prefix.size()), prefix) == 0) return i;
    }
    return -1;
}

LRESULT ItemList::CopyText(int index, char* buffer) const {
    if (!Valid(index)) return -1;
    const std::string& t = At(index).text;
    if (buffer) {
        std::memcpy(buffer, t.data(), t.size());
        buffer[t.size()] = '\0';
    }
    return static_cast<LRESULT>(t.size());
}

std::vector<std::string> ItemList::Texts() const {
    std::vector<std::string> out;
    out.reserve(items_.size());
    for (const Item& i : items_) out.push_back(i.text);
    return out;
}
