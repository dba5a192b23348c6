// The configuration file Tervale.cfg: section lines "[name]" matched
// exactly, key lines matched by prefix (the value is everything after the
// key and the one character that follows it), a section ending at the next
// non-empty line holding both "[" and "]". Every call reads the whole file
// again; writes rewrite it in place and never create it. When the file
// cannot be read, the registry stands in.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/library.h"
#include "hcyplat/registry.h"

namespace {

struct ConfigLines {
    std::vector<std::string> lines;
    bool crlf = true;  // line end the file uses; CR LF while it has none
};

bool ReadConfigFile(const std::string& path, ConfigLines& out) {
    out.lines.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::string line;
    bool sawLineEnd = false;
    bool sawCr = false;
    while (std::getline(file, line)) {
        if (!file.eof()) {
            sawLineEnd = true;
            if (!line.empty() && line.back() == '\r') sawCr = true;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.lines.push_back(line);
    }
    out.crlf = sawLineEnd ? sawCr : true;
    return true;
}

bool WriteConfigFile(const std::string& path, const ConfigLines& in) {
    // Opens the existing file only: a missing file is not created.
    {
        std::ifstream probe(path);
        if (!probe) return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
    if (!file) return false;
    const char* end = in.crlf ? "\r\n" : "\n";
    for (const auto& line : in.lines) file << line << end;
    return static_cast<bool>(file.flush());
}

bool IsSectionEnd(const std::string& line) {
    return !line.empty() && line.find('[') != std::string::npos &&
           line.find(']') != std::string::npos;
}

int FindConfigSection(const char* section, const std::vector<std::string>& lines) {
    const std::string wanted = std::string("[") + section + "]";
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == wanted) return static_cast<int>(i);
    return -1;
}

// Index of the first key line of the section that begins with the key, or
// the section index itself when there is none.
int FindConfigKey(int sectionIndex, const char* key, const std::vector<std::string>& lines) {
    const std::string k = key;
    for (std::size_t i = static_cast<std::size_t>(sectionIndex) + 1; i < lines.size(); ++i) {
        if (IsSectionEnd(lines[i])) break;
        if (lines[i].compare(0, k.size(), k) == 0 && lines[i].size() >= k.size())
            return static_cast<int>(i);
    }
    return sectionIndex;
}

// The C library's decimal conversion, without its overflow: the value is
// clamped to the int range.
int TextToInt(const std::string& text) {
    errno = 0;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// The value of a key, or false when the section or key is missing.
bool LookUp(const ConfigLines& config, const char* section, const char* key, std::string& value) {
    const int s = FindConfigSection(section, config.lines);
    if (s < 0) return false;
    const int k = FindConfigKey(s, key, config.lines);
    if (k == s) return false;
    const std::string& line = config.lines[static_cast<std::size_t>(k)];
    const std::size_t skip = std::char_traits<char>::length(key) + 1;
    value = line.size() > skip ? line.substr(skip) : std::string();
    return true;
}

bool Store(ConfigLines& config, const char* section, const char* key, const std::string& keyLine) {
    const int s = FindConfigSection(section, config.lines);
    if (s < 0) {
        config.lines.emplace_back();
        config.lines.push_back(std::string("[") + section + "]");
        config.lines.push_back(keyLine);
        return true;
    }
    const int k = FindConfigKey(s, key, config.lines);
    if (k != s)
        config.lines[static_cast<std::size_t>(k)] = keyLine;
    else
        config.lines.insert(config.lines.begin() + s + 1, keyLine);
    return true;
}

}  // namespace

namespace hcy {

std::string CLibrary::ConfigFilePath() {
    // The folder comes from the registry only, never from the file.
    const std::string folder = plat::RegGetString("ConfigFile", "Path", "");
    if (folder.empty()) return m_strConfigFile;
    if (folder.back() == '/') return folder + m_strConfigFile;
    return folder + "/" + m_strConfigFile;
}

int CLibrary::GetProfileInt(const char* section, const char* key, int defaultValue) {
    if (!section || !key) return defaultValue;
    ConfigLines config;
    if (!ReadConfigFile(ConfigFilePath(), config))
        return plat::RegGetInt(section, key, defaultValue);
    std::string value;
    if (!LookUp(config, section, key, value)) return defaultValue;
    return TextToInt(value);
}

std::string CLibrary::GetProfileString(const char* section, const char* key,
                                       const char* defaultValue) {
    const std::string fallback = defaultValue ? defaultValue : "";
    if (!section || !key) return fallback;
    ConfigLines config;
    if (!ReadConfigFile(ConfigFilePath(), config))
        return plat::RegGetString(section, key, fallback.c_str());
    std::string value;
    if (!LookUp(config, section, key, value)) return fallback;
    return value;
}

plat::BOOL CLibrary::WriteProfileInt(const char* section, const char* key, int value) {
    if (!section || !key) return 0;
    const std::string path = ConfigFilePath();
    ConfigLines config;
    if (!ReadConfigFile(path, config)) return plat::RegWriteInt(section, key, value) ? 1 : 0;
    Store(config, section, key, std::string(key) + "=" + std::to_string(value));
    return WriteConfigFile(path, config) ? 1 : 0;
}

plat::BOOL CLibrary::WriteProfileString(const char* section, const char* key, const char* value) {
    if (!section || !key) return 0;
    const std::string path = ConfigFilePath();
    const std::string text = value ? value : "(null)";
    ConfigLines config;
    if (!ReadConfigFile(path, config))
        return plat::RegWriteString(section, key, text.c_str()) ? 1 : 0;
    Store(config, section, key, std::string(key) + "=" + text);
    return WriteConfigFile(path, config) ? 1 : 0;
}

}  // namespace hcy
