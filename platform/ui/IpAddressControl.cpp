#include "platform/ui/IpAddressControl.h"

#include <cctype>

IpAddressControl::IpAddressControl(int id, DWORD style, std::string text, RECT rect)
    : Window(Kind::IpAddress, WC_IPADDRESS, id, style, std::string(), rect) {
    Fields f;
    if (Parse(text, &f)) fields_ = f;
    UpdateText();
}

bool IpAddressControl::Parse(const std::string& dotted, Fields* fields) {
    Fields f{-1, -1, -1, -1};
    size_t part = 0;
    std::string digits;
    for (size_t i = 0; i <= dotted.size(); ++i) {
        if (i == dotted.size() || dotted[i] == '.') {
            if (part > 3) return false;
            if (!digits.empty()) {
                if (digits.size() > 3) return false;
                int v = std::stoi(digits);
                if (v > 255) return false;
                f[part] = v;
            }
            digits.clear();
            ++part;
            continue;
        }
        if (!std::isdigit(static_cast<unsigned char>(dotted[i]))) return false;
        digits += dotted[i];
    }
    if (part != 4) return false;
    *fields = f;
    return true;
}

void IpAddressControl::UpdateText() {
    std::string text;
    for (size_t i = 0; i < 4; ++i) {
        if (i) text += '.';
        text += std::to_string(fields_[i] < 0 ? 0 : fields_[i]);
    }
    StoreText(text);
}

void IpAddressControl::Assign(const Fields& fields, bool byUser) {
    Fields old = fields_;
    if (old == fields) return;
    fields_ = fields;
    UpdateText();
    NotifyCommand(EN_CHANGE);
    if (!byUser) return;
    for (int i = 0; i < 4; ++i) {
        if (old[static_cast<size_t>(i)] == fields[static_cast<size_t>(i)]) continue;
        NMIPADDRESS nm{};
        nm.hdr.code = IPN_FIELDCHANGED;
        nm.iField = i;
        nm.iValue = fields[static_cast<size_t>(i)];
        NotifyParent(nm.hdr);
    }
}

bool IpAddressControl::UserType(const std::string& dotted) {
    Fields f;
    if (!Parse(dotted, &f)) return false;
    Assign(f, true);
    return true;
}

LRESULT IpAddressControl::Process(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case IPM_SETADDRESS: {
        auto a = static_cast<DWORD>(lParam);
        Assign({FIRST_IPADDRESS(a), SECOND_IPADDRESS(a), THIRD_IPADDRESS(a), FOURTH_IPADDRESS(a)}, false);
        return TRUE;
    }
    case IPM_GETADDRESS: {
        DWORD a = 0;
        int filled = 0;
        for (size_t i = 0; i < 4; ++i) {
            a = (a << 8) | static_cast<DWORD>(fields_[i] < 0 ? 0 : fields_[i]);
            if (fields_[i] >= 0) ++filled;
        }
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = a;
        return filled;
    }
    case IPM_CLEARADDRESS: Assign({-1, -1, -1, -1}, false); return 0;
    case IPM_ISBLANK: return fields_ == Fields{-1, -1, -1, -1};
    case IPM_SETRANGE:
    case IPM_SETFOCUS: return TRUE;
    case WM_SETTEXT: {
        Fields f;
        if (!Parse(lParam ? reinterpret_cast<const char*>(lParam) : "", &f)) return FALSE;
        Assign(f, false);
        return TRUE;
    }
    default: return DefaultProcess(message, wParam, lParam);
    }
}
