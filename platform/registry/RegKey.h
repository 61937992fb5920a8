#pragma once
#include "platform/com/ComTypes.h"
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct RegValue {
    std::string name;  // "" = the key's default value
    DWORD type = 0;
    std::vector<BYTE> data;
};

// One key of the in-memory tree of a registry root. Names match without regard to
// ASCII case and keep the case they were created with.
class RegKey {
public:
    explicit RegKey(std::string name = {});
    // Frees the subtree without recursion, however deep it is.
    ~RegKey();
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    const std::string& Name() const { return name_; }

    RegKey* Child(std::string_view name) const;
    // Existing child of that name, or a new one; created tells which.
    RegKey& AddChild(std::string_view name, bool* created = nullptr);
    bool RemoveChild(std::string_view name);
    // Walks down a path of names; null when a step is missing.
    RegKey* Find(const std::vector<std::string>& path);
    size_t ChildCount() const { return children_.size(); }
    // In case-insensitive name order.
    const RegKey* ChildAt(size_t index) const;
    template <class F>
    void ForEachChild(F&& f) const {
        for (const auto& [folded, child] : children_) f(*child);
    }

    const RegValue* Value(std::string_view name) const;
    // Replaces the data of an existing value in place, keeping its name and position.
    void SetValue(std::string_view name, DWORD type, std::vector<BYTE> data);
    bool RemoveValue(std::string_view name);
    const std::vector<RegValue>& Values() const { return values_; }

    void Clear();
    // Makes this key (which should be empty) a copy of other's values and subtree.
    void CopyFrom(const RegKey& other);

    static std::string Fold(std::string_view name);
    static bool SameName(std::string_view a, std::string_view b);

private:
    std::string name_;
    std::vector<RegValue> values_;
    std::map<std::string, std::unique_ptr<RegKey>> children_;  // by folded name
};
