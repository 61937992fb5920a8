#include "platform/ui/ResourceRegistry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <dlfcn.h>
#include <link.h>

#include "platform/com/WideString.h"
#include "platform/system/Library.h"

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// "#123" names the identifier 123.
std::optional<WORD> NumberedName(const std::string& text) {
    if (text.size() < 2 || text[0] != '#') return std::nullopt;
    unsigned long value = 0;
    for (size_t i = 1; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        if (value > 0xFFFF) return std::nullopt;
    }
    return static_cast<WORD>(value);
}

HINSTANCE Normalised(HINSTANCE module) { return module ? module : MainProgramModule(); }

// Stock icons answer for a null module and the IDI_ identifiers.
struct StockIcon {
    WORD id;
    const char* name;
};
constexpr StockIcon kStockIcons[] = {
    {IDI_APPLICATION_ID, "IDI_APPLICATION"}, {IDI_HAND_ID, "IDI_HAND"},         {IDI_QUESTION_ID, "IDI_QUESTION"},
    {IDI_EXCLAMATION_ID, "IDI_EXCLAMATION"}, {IDI_ASTERISK_ID, "IDI_ASTERISK"},
};
// Distinct addresses for the stock handles.
char g_stockIconTags[sizeof kStockIcons / sizeof kStockIcons[0]];

}  // namespace

ResourceName ResourceName::From(LPCSTR name) {
    ResourceName r;
    if (!name) return r;
    if (IS_INTRESOURCE(name)) {
        r.id_ = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
        return r;
    }
    std::string text(name);
    if (auto id = NumberedName(text)) {
        r.id_ = *id;
        return r;
    }
    r.text_ = text;
    r.key_ = Upper(text);
    return r;
}

ResourceName ResourceName::From(const WCHAR* name) {
    if (!name) return {};
    if (IS_INTRESOURCE(name)) return ResourceName(static_cast<WORD>(reinterpret_cast<uintptr_t>(name)));
    return From(WideToUtf8(name).c_str());
}

std::string ResourceName::Describe() const { return id_ ? "#" + std::to_string(*id_) : text_; }

ResourceRegistry& ResourceRegistry::Instance() {
    static ResourceRegistry registry;
    return registry;
}

void ResourceRegistry::AddDialog(HINSTANCE module, const ResourceName& name, DialogTemplate dialog) {
    auto copy = std::make_shared<const DialogTemplate>(std::move(dialog));
    std::lock_guard<std::mutex> guard(m_);
    dialogs_[{Normalised(module), name}] = std::move(copy);
}

bool ResourceRegistry::RemoveDialog(HINSTANCE module, const ResourceName& name) {
    std::lock_guard<std::mutex> guard(m_);
    return dialogs_.erase({Normalised(module), name}) > 0;
}

std::shared_ptr<const DialogTemplate> ResourceRegistry::FindDialog(HINSTANCE module, const ResourceName& name) {
    if (!name.Valid()) return nullptr;
    std::lock_guard<std::mutex> guard(m_);
    auto it = dialogs_.find({Normalised(module), name});
    return it == dialogs_.end() ? nullptr : it->second;
}

void ResourceRegistry::AddString(HINSTANCE module, UINT id, std::string text) {
    std::lock_guard<std::mutex> guard(m_);
    strings_[{Normalised(module), id}] = std::move(text);
}

std::optional<std::string> ResourceRegistry::FindString(HINSTANCE module, UINT id) {
    std::lock_guard<std::mutex> guard(m_);
    auto it = strings_.find({Normalised(module), id});
    if (it == strings_.end()) return std::nullopt;
    return it->second;
}

void ResourceRegistry::AddIcon(HINSTANCE module, const ResourceName& name) {
    if (!name.Valid()) return;
    std::lock_guard<std::mutex> guard(m_);
    auto& entry = icons_[{Normalised(module), name}];
    if (!entry) entry = std::make_unique<IconEntry>(IconEntry{Normalised(module), name.Describe()});
}

HICON ResourceRegistry::FindIcon(HINSTANCE module, const ResourceName& name) {
    if (!module && name.IsId()) {
        for (size_t i = 0; i < sizeof kStockIcons / sizeof kStockIcons[0]; ++i) {
            if (kStockIcons[i].id == name.Id()) return reinterpret_cast<HICON>(&g_stockIconTags[i]);
        }
    }
    std::lock_guard<std::mutex> guard(m_);
    auto it = icons_.find({Normalised(module), name});
    return it == icons_.end() ? nullptr : reinterpret_cast<HICON>(it->second.get());
}

bool ResourceRegistry::DescribeIcon(HICON icon, HINSTANCE* module, std::string* name) {
    if (!icon) return false;
    for (size_t i = 0; i < sizeof kStockIcons / sizeof kStockIcons[0]; ++i) {
        if (reinterpret_cast<HICON>(&g_stockIconTags[i]) == icon) {
            if (module) *module = nullptr;
            if (name) *name = kStockIcons[i].name;
            return true;
        }
    }
    std::lock_guard<std::mutex> guard(m_);
    for (const auto& [key, entry] : icons_) {
        if (reinterpret_cast<HICON>(entry.get()) == icon) {
            if (module) *module = entry->module;
            if (name) *name = entry->name;
            return true;
        }
    }
    return false;
}

void RegisterDialogTemplate(HINSTANCE module, LPCSTR name, DialogTemplate dialog) {
    ResourceRegistry::Instance().AddDialog(module, ResourceName::From(name), std::move(dialog));
}

bool UnregisterDialogTemplate(HINSTANCE module, LPCSTR name) {
    return ResourceRegistry::Instance().RemoveDialog(module, ResourceName::From(name));
}

void RegisterStringResource(HINSTANCE module, UINT id, std::string text) {
    ResourceRegistry::Instance().AddString(module, id, std::move(text));
}

void RegisterIconResource(HINSTANCE module, LPCSTR name) {
    ResourceRegistry::Instance().AddIcon(module, ResourceName::From(name));
}

int LoadStringA(HINSTANCE module, UINT id, char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    auto text = ResourceRegistry::Instance().FindString(module, id);
    if (!text) {
        buffer[0] = '\0';
        return 0;
    }
    size_t n = std::min(text->size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text->data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

HICON LoadIconA(HINSTANCE module, LPCSTR name) {
    return ResourceRegistry::Instance().FindIcon(module, ResourceName::From(name));
}

void* LoadImageA(HINSTANCE module, LPCSTR name, UINT type, int /*cx*/, int /*cy*/, UINT /*flags*/) {
    if (type != IMAGE_ICON) return nullptr;
    return LoadIconA(module, name);
}

HINSTANCE ModuleOfAddress(const void* address) {
    Dl_info info{};
    link_map* map = nullptr;
    if (!address || !dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) || !map)
        return nullptr;
    // The main program's entry in the link map has no name.
    if (!map->l_name || !*map->l_name) return MainProgramModule();
    return GetModuleHandleA(map->l_name);
}

HINSTANCE MainProgramModule() {
    static HINSTANCE main = GetModuleHandleA(nullptr);
    return main;
}
