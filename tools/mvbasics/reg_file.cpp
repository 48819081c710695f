#include "reg_file.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace mvtool {

const char kRegFileHeader[] = "Merivane Registry Export 1";

namespace {

constexpr size_t kHexBytesPerLine = 24;

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// "text" with \\, \" and \xHH (control bytes) escaped.
std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (IsControl(c)) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string HexBytes(const std::string& data, size_t firstLineUsed) {
    std::string out;
    size_t onLine = firstLineUsed / 3;
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
        out += byte;
        if (i + 1 == data.size()) break;
        out += ',';
        if (++onLine >= kHexBytesPerLine) {
            out += "\\\n  ";
            onLine = 0;
        }
    }
    return out;
}

std::string FormatValue(const RegValue& v) {
    std::string line = v.name.empty() ? "@" : Quote(v.name);
    line += '=';
    if (v.type == kTypeSz && v.data.find('\0') == std::string::npos) return line + Quote(v.data);
    if (v.type == kTypeDword && v.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", n);
        return line + text;
    }
    char prefix[24];
    if (v.type == kTypeBinary) {
        std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(v.type));
    }
    line += prefix;
    return line + HexBytes(v.data, line.size());
}

// ---------------------------------------------------------------- parsing

class LineParser {
  public:
    explicit LineParser(const std::string& line) : m_line(line) {}
    bool AtEnd() const { return m_at >= m_line.size(); }
    bool Take(const char* word) {
        const size_t n = std::strlen(word);
        if (m_line.compare(m_at, n, word) != 0) return false;
        m_at += n;
        return true;
    }
    bool QuotedString(std::string* out, std::string* error);
    bool HexList(std::string* out, std::string* error);
    bool HexNumber(uint32_t* out, size_t minDigits, size_t maxDigits);

  private:
    static int Digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    const std::string& m_line;
    size_t m_at = 0;
};

bool LineParser::HexNumber(uint32_t* out, size_t minDigits, size_t maxDigits) {
    size_t digits = 0;
    uint32_t value = 0;
    while (!AtEnd() && digits < maxDigits && Digit(m_line[m_at]) >= 0) {
        value = value * 16 + static_cast<uint32_t>(Digit(m_line[m_at++]));
        ++digits;
    }
    *out = value;
    return digits >= minDigits;
}

bool LineParser::QuotedString(std::string* out, std::string* error) {
    if (!Take("\"")) return *error = "a quoted name or string was expected", false;
    out->clear();
    while (!AtEnd()) {
        const char c = m_line[m_at++];
        if (c == '"') return true;
        if (c != '\\') {
            *out += c;
            continue;
        }
        uint32_t byte = 0;
        if (Take("\\") || Take("\"")) {
            *out += m_line[m_at - 1];
        } else if (Take("x") && HexNumber(&byte, 2, 2)) {
            *out += static_cast<char>(byte);
        } else {
            return *error = "an unknown escape in a quoted string", false;
        }
    }
    return *error = "a quoted string without its closing quote", false;
}

bool LineParser::HexList(std::string* out, std::string* error) {
    out->clear();
    while (!AtEnd()) {
        uint32_t byte = 0;
        if (!HexNumber(&byte, 2, 2)) return *error = "a hex byte was expected", false;
        *out += static_cast<char>(byte);
        if (!AtEnd() && !Take(",")) return *error = "bytes are separated by commas", false;
    }
    return true;
}

bool ParseData(LineParser& p, RegFileOp* op, std::string* error) {
    RegValue& v = op->value;
    if (p.Take("-")) {
        op->kind = RegFileOp::kDeleteValue;
        return p.AtEnd() || (*error = "text after '=-'", false);
    }
    op->kind = RegFileOp::kSetValue;
    if (p.Take("dword:")) {
        uint32_t n = 0;
        if (!p.HexNumber(&n, 8, 8) || !p.AtEnd())
            return *error = "dword: wants 8 hex digits", false;
        v.type = kTypeDword;
        v.data.clear();
        for (int i = 0; i < 4; ++i) v.data += static_cast<char>((n >> (8 * i)) & 0xFF);
        return true;
    }
    if (p.Take("hex:")) {
        v.type = kTypeBinary;
        return p.HexList(&v.data, error);
    }
    if (p.Take("hex(")) {
        if (!p.HexNumber(&v.type, 1, 8) || !p.Take("):"))
            return *error = "hex(N): wants a hex type number", false;
        return p.HexList(&v.data, error);
    }
    v.type = kTypeSz;
    if (!p.QuotedString(&v.data, error)) return false;
    return p.AtEnd() || (*error = "text after the closing quote", false);
}

bool ParseKeyLine(const std::string& line, RegFileOp* op, std::string* error) {
    if (line.back() != ']') return *error = "a key line ends with ']'", false;
    std::string name = line.substr(1, line.size() - 2);
    op->kind = RegFileOp::kCreateKey;
    if (!name.empty() && name[0] == '-') {
        op->kind = RegFileOp::kDeleteKey;
        name.erase(0, 1);
    }
    const std::string path = NormalizeKeyPath(name);
    if (path == name) return *error = "keys lie under HKEY_LOCAL_MACHINE", false;
    if (op->kind == RegFileOp::kDeleteKey && path.empty())
        return *error = "the root key cannot be deleted", false;
    op->path = path;
    return true;
}

bool ParseValueLine(const std::string& line, const std::string& key, RegFileOp* op,
                    std::string* error) {
    LineParser p(line);
    op->path = key;
    if (!p.Take("@") && !p.QuotedString(&op->value.name, error)) return false;
    if (!p.Take("=")) return *error = "'=' was expected after the value name", false;
    return ParseData(p, op, error);
}

}  // namespace

bool FormatKeySection(const RegKeyContents& key, std::string* text, std::string* why) {
    for (unsigned char c : key.path) {
        if (IsControl(c)) {
            *why = "the key name holds a control character, which an export file cannot carry";
            return false;
        }
    }
    *text = "[" + FullKeyName(key.path) + "]\n";
    for (const RegValue& v : key.values) *text += FormatValue(v) + "\n";
    *text += "\n";
    return true;
}

bool ParseRegFile(const std::string& text, std::vector<RegFileOp>* ops, std::string* error) {
    std::istringstream in(text);
    std::string line, key;
    bool haveKey = false, header = false;
    for (int number = 1, first = 1; std::getline(in, line); first = ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (std::string more; !line.empty() && line.back() == '\\' && std::getline(in, more);) {
            ++number;  // a continued line of hex bytes
            line.pop_back();
            if (!more.empty() && more.back() == '\r') more.pop_back();
            line += more.substr(more.find_first_not_of(' ') == std::string::npos
                                    ? more.size()
                                    : more.find_first_not_of(' '));
        }
        std::string why;
        RegFileOp op{RegFileOp::kCreateKey, "", {}};
        if (!header) {
            header = line == kRegFileHeader;
            why = header ? "" : std::string("the first line must be '") + kRegFileHeader + "'";
        } else if (line.empty() || line[0] == ';') {
            continue;
        } else if (line[0] == '[') {
            haveKey = ParseKeyLine(line, &op, &why) && op.kind == RegFileOp::kCreateKey;
            key = op.path;
        } else if (!haveKey) {
            why = "a value before any [key] line";
        } else {
            ParseValueLine(line, key, &op, &why);
        }
        if (!why.empty()) {
            *error = "line " + std::to_string(first) + ": " + why;
            return false;
        }
        if (header && number > 1) ops->push_back(op);
    }
    if (!header) *error = std::string("empty: the first line must be '") + kRegFileHeader + "'";
    return header;
}

std::string DisplayData(const RegValue& v) {
    if ((v.type == kTypeSz || v.type == kTypeExpandSz) && v.data.find('\0') == std::string::npos) {
        const std::string quoted = Quote(v.data);
        return quoted.substr(1, quoted.size() - 2);
    }
    if (v.type == kTypeDword && v.data.size() == 4) {
        const std::string line = FormatValue(v);
        const uint32_t n =
            static_cast<uint32_t>(std::stoul(line.substr(line.size() - 8), nullptr, 16));
        char text[32];
        std::snprintf(text, sizeof text, "0x%08x (%u)", n, n);
        return text;
    }
    std::string hex;
    for (unsigned char c : v.data) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", c);
        hex += byte;
    }
    return hex;
}

}  // namespace mvtool
