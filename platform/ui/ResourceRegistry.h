#pragma once
// The process's stand-in for resources compiled into executables and libraries:
// dialog templates, strings and icons, registered by the module that owns them and
// looked up by module handle and name, as the desktop loader finds them.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "platform/ui/DialogTemplate.h"

// A resource name: a 16-bit identifier or a text. Texts compare without regard to
// case, and "#105" names the identifier 105, as on the desktop.
class ResourceName {
public:
    ResourceName() = default;
    explicit ResourceName(WORD id) : id_(id) {}
    // null is no name; an identifier carried in the pointer (MAKEINTRESOURCE) is an identifier
    static ResourceName From(LPCSTR name);
    static ResourceName From(const WCHAR* name);

    bool Valid() const { return id_.has_value() || !text_.empty(); }
    bool IsId() const { return id_.has_value(); }
    WORD Id() const { return id_.value_or(0); }
    const std::string& Text() const { return text_; }
    // "#105" for an identifier, the text as registered otherwise
    std::string Describe() const;

    friend bool operator<(const ResourceName& a, const ResourceName& b) {
        return std::tie(a.id_, a.key_) < std::tie(b.id_, b.key_);
    }

private:
    std::optional<WORD> id_;
    std::string text_;
    std::string key_;  // upper-case text
};

class ResourceRegistry {
public:
    static ResourceRegistry& Instance();

    // A null module stands for the main program, as on the desktop. Registering a name
    // again replaces the earlier resource.
    void AddDialog(HINSTANCE module, const ResourceName& name, DialogTemplate dialog);
    bool RemoveDialog(HINSTANCE module, const ResourceName& name);
    // A copy, so that a dialog being built never sees a replacement half-way.
    std::shared_ptr<const DialogTemplate> FindDialog(HINSTANCE module, const ResourceName& name);

    void AddString(HINSTANCE module, UINT id, std::string text);
    std::optional<std::string> FindString(HINSTANCE module, UINT id);

    // Icons exist as names only; the handle stays the same for the life of the process.
    void AddIcon(HINSTANCE module, const ResourceName& name);
    HICON FindIcon(HINSTANCE module, const ResourceName& name);
    // What a handle from FindIcon stands for; stock icons
    // report a null module. False for anything else.
    bool DescribeIcon(HICON icon, HINSTANCE* module, std::string* name);

private:
    ResourceRegistry() = default;
    using Key = std::pair<HINSTANCE, ResourceName>;
    struct IconEntry {
        HINSTANCE module;
        std::string name;
    };

    std::mutex m_;
    std::map<Key, std::shared_ptr<const DialogTemplate>> dialogs_;
    std::map<std::pair<HINSTANCE, UINT>, std::string> strings_;
    std::map<Key, std::unique_ptr<IconEntry>> icons_;
};

// The desktop's calls over the registry. Names are texts or MAKEINTRESOURCE identifiers.
void RegisterDialogTemplate(HINSTANCE module, LPCSTR name, DialogTemplate dialog);
bool UnregisterDialogTemplate(HINSTANCE module, LPCSTR name);
void RegisterStringResource(HINSTANCE module, UINT id, std::string text);
void RegisterIconResource(HINSTANCE module, LPCSTR name);

// Copies at most size - 1 characters and terminates; returns the characters copied,
// 0 when the string does not exist. size 0 is refused (0).
int LoadStringA(HINSTANCE module, UINT id, char* buffer, int size);
// A null module with one of the IDI_ identifiers gives the stock icon.
HICON LoadIconA(HINSTANCE module, LPCSTR name);
// Icons only (IMAGE_ICON); sizes and flags do not matter here.
void* LoadImageA(HINSTANCE module, LPCSTR name, UINT type, int cx, int cy, UINT flags);

// The handle of the executable or library whose code or data holds address: what a
// module keeps as its own instance handle.
HINSTANCE ModuleOfAddress(const void* address);
// The module handle that stands for the main program.
HINSTANCE MainProgramModule();
