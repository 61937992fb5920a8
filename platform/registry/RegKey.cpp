#include "platform/registry/RegKey.h"
#include <algorithm>
#include <iterator>

RegKey::RegKey(std::string name) : name_(std::move(name)) {}

RegKey::~RegKey() { Clear(); }

std::string RegKey::Fold(std::string_view name) {
    std::string s(name);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool RegKey::SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && Fold(a) == Fold(b);
}

RegKey* RegKey::Child(std::string_view name) const {
    auto it = children_.find(Fold(name));
    return it == children_.end() ? nullptr : it->second.get();
}

RegKey& RegKey::AddChild(std::string_view name, bool* created) {
    auto [it, inserted] = children_.try_emplace(Fold(name));
    if (inserted) it->second = std::make_unique<RegKey>(std::string(name));
    if (created) *created = inserted;
    return *it->second;
}

bool RegKey::RemoveChild(std::string_view name) { return children_.erase(Fold(name)) > 0; }

RegKey* RegKey::Find(const std::vector<std::string>& path) {
    RegKey* key = this;
    for (const auto& step : path) {
        key = key->Child(step);
        if (!key) return nullptr;
    }
    return key;
}

const RegKey* RegKey::ChildAt(size_t index) const {
    if (index >= children_.size()) return nullptr;
    return std::next(children_.begin(), static_cast<std::ptrdiff_t>(index))->second.get();
}

const RegValue* RegKey::Value(std::string_view name) const {
    auto it = std::find_if(values_.begin(), values_.end(), [&](const RegValue& v) { return SameName(v.name, name); });
    return it == values_.end() ? nullptr : &*it;
}

void RegKey::SetValue(std::string_view name, DWORD type, std::vector<BYTE> data) {
    auto it = std::find_if(values_.begin(), values_.end(), [&](const RegValue& v) { return SameName(v.name, name); });
    if (it == values_.end()) {
        values_.push_back(RegValue{std::string(name), type, std::move(data)});
        return;
    }
    it->type = type;
    it->data = std::move(data);
}

bool RegKey::RemoveValue(std::string_view name) {
    auto it = std::find_if(values_.begin(), values_.end(), [&](const RegValue& v) { return SameName(v.name, name); });
    if (it == values_.end()) return false;
    values_.erase(it);
    return true;
}

void RegKey::Clear() {
    values_.clear();
    // Children are taken out before they die, so no destructor ever recurses.
    std::vector<std::unique_ptr<RegKey>> pending;
    for (auto& [folded, child] : children_) pending.push_back(std::move(child));
    children_.clear();
    while (!pending.empty()) {
        std::unique_ptr<RegKey> key = std::move(pending.back());
        pending.pop_back();
        for (auto& [folded, child] : key->children_) pending.push_back(std::move(child));
        key->children_.clear();
    }
}

void RegKey::CopyFrom(const RegKey& other) {
    std::vector<std::pair<const RegKey*, RegKey*>> pending{{&other, this}};
    while (!pending.empty()) {
        auto [from, to] = pending.back();
        pending.pop_back();
        to->values_ = from->values_;
        for (const auto& [folded, child] : from->children_) {
            auto copy = std::make_unique<RegKey>(child->name_);
            pending.emplace_back(child.get(), copy.get());
            to->children_.emplace(folded, std::move(copy));
        }
    }
}
