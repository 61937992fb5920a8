#include "platform/registry/RegFileFormat.h"
#include <cstdio>

namespace {
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr size_t kWrapColumn = 76;  // hex lines are continued past this, as the editor does

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

bool IsPlainText(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        BYTE b = data[i];
        if (b == 0 || (b < 0x20 && b != '\t') || b == 0x7F) return false;
    }
    return true;
}

void AppendHex(std::string& out, const std::vector<BYTE>& data) {
    static const char digits[] = "0123456789abcdef";
    size_t lineStart = out.rfind('\n') + 1;  // npos + 1 == 0 at the very start
    for (size_t i = 0; i < data.size(); ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
        if (i + 1 == data.size()) break;
        out += ',';
        if (out.size() - lineStart > kWrapColumn) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
    }
}

void WriteValue(std::string& out, const RegValue& v) {
    out += v.name.empty() ? std::string("@") : Quote(v.name);
    out += '=';
    if (v.type == 1 /* REG_SZ */ && IsPlainText(v.data)) {
        out += Quote(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
    } else if (v.type == 4 /* REG_DWORD */ && v.data.size() == 4) {
        char buf[16];
        uint32_t d = uint32_t(v.data[0]) | uint32_t(v.data[1]) << 8 | uint32_t(v.data[2]) << 16 | uint32_t(v.data[3]) << 24;
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        out += buf;
    } else {
        if (v.type == 3 /* REG_BINARY */) {
            out += "hex:";
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
            out += buf;
        }
        AppendHex(out, v.data);
    }
    out += '\n';
}

// Depth first without recursion. A key gets its line when it holds values or is a leaf:
// importing a key line creates every key above it, so an empty parent needs none and
// each path is written once.
void WriteTree(std::string& out, const RegKey& root, std::string_view rootName) {
    struct Frame {
        std::vector<const RegKey*> children;
        size_t next = 0;
        size_t pathLength = 0;  // of this key's path, before its children's names go on
    };
    auto frameFor = [](const RegKey& key, size_t pathLength) {
        Frame f;
        f.children.reserve(key.ChildCount());
        key.ForEachChild([&](const RegKey& child) { f.children.push_back(&child); });
        f.pathLength = pathLength;
        return f;
    };
    auto writeLine = [&out](const RegKey& key, const std::string& path) {
        out += '[' + path + "]\n";
        for (const auto& v : key.Values()) WriteValue(out, v);
        out += '\n';
    };
    std::string path(rootName);
    if (!root.Values().empty()) writeLine(root, path);
    std::vector<Frame> stack;
    stack.push_back(frameFor(root, path.size()));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.children.size()) {
            stack.pop_back();
            continue;
        }
        const RegKey& key = *top.children[top.next++];
        path.resize(top.pathLength);
        path += '\\';
        path += key.Name();
        if (!key.Values().empty() || key.ChildCount() == 0) writeLine(key, path);
        if (key.ChildCount() > 0) stack.push_back(frameFor(key, path.size()));
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// Reads a quoted string at the start of s; s is left after the closing quote.
bool ReadQuoted(std::string_view& s, std::string& out, std::string& why) {
    if (s.empty() || s.front() != '"') {
        why = "expected a quoted name or text";
        return false;
    }
    out.clear();
    for (size_t i = 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
                why = "a backslash in quotes must be followed by \\ or \"";
                return false;
            }
            c = s[++i];
        }
        out += c;
    }
    why = "missing closing quote";
    return false;
}

bool ReadHexBytes(std::string_view s, std::vector<BYTE>& out, std::string& why) {
    out.clear();
    s = TrimLeft(TrimRight(s));
    if (s.empty()) return true;
    for (;;) {
        s = TrimLeft(s);
        if (s.size() < 2 || HexDigit(s[0]) < 0 || HexDigit(s[1]) < 0) {
            why = "expected two hex digits per byte";
            return false;
        }
        out.push_back(static_cast<BYTE>(HexDigit(s[0]) << 4 | HexDigit(s[1])));
        s = TrimLeft(s.substr(2));
        if (s.empty()) return true;
        if (s.front() != ',') {
            why = "expected a comma between bytes";
            return false;
        }
        s.remove_prefix(1);
    }
}

bool ReadData(std::string_view s, RegValue& v, std::string& why) {
    if (!s.empty() && s.front() == '"') {
        std::string text;
        if (!ReadQuoted(s, text, why)) return false;
        if (!TrimLeft(s).empty()) {
            why = "unexpected text after the quoted value";
            return false;
        }
        v.type = 1;
        v.data.assign(text.begin(), text.end());
        v.data.push_back(0);
        return true;
    }
    if (s.starts_with("dword:")) {
        std::string_view digits = TrimRight(s.substr(6));
        if (digits.empty() || digits.size() > 8) {
            why = "a dword needs 1 to 8 hex digits";
            return false;
        }
        uint32_t d = 0;
        for (char c : digits) {
            int h = HexDigit(c);
            if (h < 0) {
                why = "a dword needs 1 to 8 hex digits";
                return false;
            }
            d = d << 4 | uint32_t(h);
        }
        v.type = 4;
        v.data = {BYTE(d), BYTE(d >> 8), BYTE(d >> 16), BYTE(d >> 24)};
        return true;
    }
    if (s.starts_with("hex:")) {
        v.type = 3;
        return ReadHexBytes(s.substr(4), v.data, why);
    }
    if (s.starts_with("hex(")) {
        size_t close = s.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) {
            why = "malformed hex(type): prefix";
            return false;
        }
        uint32_t type = 0;
        for (char c : s.substr(4, close - 4)) {
            int h = HexDigit(c);
            if (h < 0) {
                why = "malformed hex(type): prefix";
                return false;
            }
            type = type << 4 | uint32_t(h);
        }
        v.type = type;
        return ReadHexBytes(s.substr(close + 2), v.data, why);
    }
    why = "unknown value data";
    return false;
}
}  // namespace

bool RegFileFormat::StorableKeyName(std::string_view name) {
    if (name.empty() || name.size() > kMaxKeyNameLength) return false;
    for (char c : name)
        if (c == '\\' || c == '\n' || c == '\r' || c == '\0') return false;
    return true;
}

bool RegFileFormat::StorableValueName(std::string_view name) {
    for (char c : name)
        if (c == '\n' || c == '\r' || c == '\0') return false;
    return true;
}

std::string RegFileFormat::Write(const RegKey& root, std::string_view rootName) {
    std::string out(kHeader);
    out += "\n\n";
    WriteTree(out, root, rootName);
    return out;
}

bool RegFileFormat::Parse(std::string_view text, std::string_view rootName, RegKey& root, std::string* error) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    size_t lineNo = 0;
    size_t pos = 0;
    bool headerSeen = false;
    RegKey* current = nullptr;
    std::string why;

    auto fail = [&](size_t line, const std::string& what) {
        if (error) *error = "line " + std::to_string(line) + ": " + what;
        return false;
    };

    while (pos < text.size()) {
        size_t firstLine = ++lineNo;
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string line(TrimRight(text.substr(pos, end - pos)));
        pos = end + 1;
        // Long hex data goes on over several lines, each but the last ending in a backslash.
        while (!line.empty() && line.back() == '\\' && line.front() != ';' && line.front() != '[' &&
               pos < text.size()) {
            ++lineNo;
            end = text.find('\n', pos);
            if (end == std::string_view::npos) end = text.size();
            line.pop_back();
            line += TrimLeft(TrimRight(text.substr(pos, end - pos)));
            pos = end + 1;
        }
        std::string_view l = line;
        if (TrimLeft(l).empty() || l.front() == ';') continue;

        if (!headerSeen) {
            if (l != kHeader && l != kOldHeader) return fail(firstLine, "not a registry editor file (missing header)");
            headerSeen = true;
            continue;
        }
        if (l.front() == '[') {
            if (l.back() != ']') return fail(firstLine, "a key line must end with ]");
            std::string_view path = l.substr(1, l.size() - 2);
            if (path.starts_with("-")) return fail(firstLine, "key deletion entries are not supported here");
            size_t sep = path.find('\\');
            std::string_view first = path.substr(0, sep);
            if (!RegKey::SameName(first, rootName))
                return fail(firstLine, "key outside " + std::string(rootName));
            current = &root;
            size_t depth = 0;
            while (sep != std::string_view::npos) {
                if (++depth > kMaxKeyDepth)
                    return fail(firstLine, "keys nested deeper than " + std::to_string(kMaxKeyDepth) + " levels");
                path.remove_prefix(sep + 1);
                sep = path.find('\\');
                std::string_view name = path.substr(0, sep);
                if (!StorableKeyName(name)) return fail(firstLine, "empty or over-long key name in path");
                current = &current->AddChild(name);
            }
            continue;
        }
        if (!current) return fail(firstLine, "value outside any key");
        RegValue v;
        if (l.front() == '@') {
            l.remove_prefix(1);
        } else if (!ReadQuoted(l, v.name, why)) {
            return fail(firstLine, why);
        }
        if (l.empty() || l.front() != '=') return fail(firstLine, "expected = after the value name");
        l.remove_prefix(1);
        if (!ReadData(l, v, why)) return fail(firstLine, why);
        current->SetValue(v.name, v.type, std::move(v.data));
    }
    return true;
}
