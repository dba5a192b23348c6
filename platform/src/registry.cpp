// The application's registry key as an INI-style file:
//
//   [Section]
//   Key=Value
//
// Sections and keys match without regard to ASCII case, as registry names
// do. Values are stored with '\\', CR and LF escaped (\\, \r, \n) so that no
// value can break a line or forge another key. The file is read on every
// call and written whole through a temporary file and a rename.
#include "hcyplat/registry.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string_view>
#include <vector>

namespace plat {
namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string key;
    std::string value;
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

using Store = std::vector<Section>;

std::mutex g_mu;
std::string g_company;      // guarded by g_mu
std::string g_application;  // guarded by g_mu

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A name becomes one folder level: no separators, no "." or "..".
bool IsFolderName(const char* name) {
    if (!name) return false;
    std::string_view n(name);
    return !n.empty() && n != "." && n != ".." && n.find('/') == std::string_view::npos;
}

bool IsSectionName(std::string_view n) {
    return !n.empty() && n.find_first_of("]\r\n") == std::string_view::npos;
}

bool IsKeyName(std::string_view n) {
    return !n.empty() && n.front() != '[' && n.find_first_of("=\r\n") == std::string_view::npos;
}

// Called with g_mu held.
fs::path FolderLocked() {
    if (g_company.empty() || g_application.empty()) return {};
    fs::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        // Unset, empty or relative: the default under the home folder.
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return {};
        base = fs::path(home) / ".config";
    }
    return base / g_company / g_application;
}

std::string Escape(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (char c : v) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescape(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const char n = v[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

Store Load(const fs::path& file) {
    Store store;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            store.push_back(Section{line.substr(1, line.size() - 2), {}});
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0 || store.empty()) continue;
        store.back().entries.push_back(Entry{line.substr(0, eq), Unescape(line.substr(eq + 1))});
    }
    return store;
}

bool Save(const fs::path& folder, const fs::path& file, const Store& store) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return false;
    std::ostringstream text;
    for (const Section& s : store) {
        text << '[' << s.name << "]\n";
        for (const Entry& e : s.entries) text << e.key << '=' << Escape(e.value) << '\n';
    }
    // One temporary name per process: two hosts may share the store.
    const fs::path temp = file.string() + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        const std::string bytes = text.str();
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

Section* FindSection(Store& store, std::string_view name) {
    for (Section& s : store)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

Entry* FindEntry(Section& section, std::string_view key) {
    for (Entry& e : section.entries)
        if (SameName(e.key, key)) return &e;
    return nullptr;
}

// The stored value, or false when there is none. Called with g_mu held.
bool ReadLocked(const char* section, const char* key, std::string& out) {
    if (!section || !key) return false;
    const fs::path folder = FolderLocked();
    if (folder.empty()) return false;
    Store store = Load(folder / "registry.ini");
    Section* s = FindSection(store, section);
    Entry* e = s ? FindEntry(*s, key) : nullptr;
    if (!e) return false;
    out = e->value;
    return true;
}

}  // namespace

void SetRegistryKey(const char* company, const char* application) {
    std::lock_guard lock(g_mu);
    if (IsFolderName(company) && IsFolderName(application)) {
        g_company = company;
        g_application = application;
    } else {
        g_company.clear();
        g_application.clear();
    }
}

std::string RegistryFolder() {
    std::lock_guard lock(g_mu);
    return FolderLocked().string();
}

std::string RegGetString(const char* section, const char* key, const char* defaultValue) {
    std::lock_guard lock(g_mu);
    std::string value;
    if (ReadLocked(section, key, value)) return value;
    return defaultValue ? defaultValue : "";
}

int RegGetInt(const char* section, const char* key, int defaultValue) {
    std::string text;
    {
        std::lock_guard lock(g_mu);
        if (!ReadLocked(section, key, text)) return defaultValue;
    }
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// A null value removes the key; a null key removes the whole section.
bool RegWriteString(const char* section, const char* key, const char* value) {
    if (!section || !IsSectionName(section)) return false;
    if (key && !IsKeyName(key)) return false;
    std::lock_guard lock(g_mu);
    const fs::path folder = FolderLocked();
    if (folder.empty()) return false;
    const fs::path file = folder / "registry.ini";
    Store store = Load(file);
    Section* s = FindSection(store, section);
    if (!key) {
        if (s) store.erase(store.begin() + (s - store.data()));
    } else if (!value) {
        if (s) std::erase_if(s->entries, [&](const Entry& e) { return SameName(e.key, key); });
    } else {
        if (!s) s = &store.emplace_back(Section{section, {}});
        if (Entry* e = FindEntry(*s, key))
            e->value = value;
        else
            s->entries.push_back(Entry{key, value});
    }
    return Save(folder, file, store);
}

bool RegWriteInt(const char* section, const char* key, int value) {
    if (!key) return false;
    return RegWriteString(section, key, std::to_string(value).c_str());
}

}  // namespace plat
