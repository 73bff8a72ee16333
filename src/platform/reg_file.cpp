#include "platform/reg_file.h"

#include "platform/cp1250.h"

#include <algorithm>
#include <cstdio>
#include <exception>

// Export chooses for each value the form that gives its bytes back exactly: a quoted text only for
// a REG_SZ whose bytes are one clean code page 1250 text with a single trailing NUL, "dword:" only
// for four bytes, "hex(...)" with the raw stored bytes for everything else.
//
// Import is strict where leniency would change data without a word: an unknown escape, a text
// outside code page 1250, a hex list cut short by the end of the file are errors, not guesses.

namespace kel {
namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
constexpr std::string_view kCrLf = "\r\n";
// A logical line long enough for a value of kMaxRegValueBytes written as hex ("xx," a byte).
constexpr size_t kMaxLineChars = 3 * kMaxRegValueBytes + 4096;
// A hex line ends at this column with its ",\"; continuation lines then hold 25 bytes, as regedit's.
constexpr size_t kHexColumns = 77;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(s[i]) != LowerAscii(prefix[i]))
            return false;
    }
    return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// ---- export ----

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// The text of a REG_SZ that can be written as a quoted string and read back to the same bytes.
bool CleanText(const std::vector<uint8_t>& data, std::string& utf8) {
    if (data.empty() || data.back() != 0)
        return false;
    const std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size() - 1);
    if (bytes.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
        return false;
    utf8 = FromCp1250(bytes);
    return ToCp1250(utf8) == bytes;
}

void AppendHex(std::string& out, std::string_view prefix, const std::vector<uint8_t>& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += prefix;
    size_t column = prefix.size();
    for (size_t i = 0; i < data.size(); ++i) {
        if (column + 3 > kHexColumns) {
            out += "\\\r\n  ";
            column = 2;
        }
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
        column += 2;
        if (i + 1 < data.size()) {
            out += ',';
            ++column;
        }
    }
    out += kCrLf;
}

void AppendValue(std::string& out, const RegValue& v) {
    const std::string name = v.name.empty() ? "@" : Quote(v.name);
    std::string text;
    char buf[32];
    if (v.type == RegType::Sz && CleanText(v.data, text)) {
        out += name + "=" + Quote(text);
        out += kCrLf;
    } else if (v.type == RegType::Dword && v.data.size() == 4) {
        const uint32_t n =
            v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<uint32_t>(v.data[3]) << 24;
        std::snprintf(buf, sizeof buf, "=dword:%08x", n);
        out += name + buf;
        out += kCrLf;
    } else if (v.type == RegType::Binary) {
        AppendHex(out, name + "=hex:", v.data);
    } else {
        std::snprintf(buf, sizeof buf, "=hex(%x):", static_cast<uint32_t>(v.type));
        AppendHex(out, name + buf, v.data);
    }
}

// Parents before children, siblings without case: a backslash sorts before every character.
bool TreeLess(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto key = [](char c) { return c == '\\' ? 0 : static_cast<unsigned char>(LowerAscii(c)) + 1; };
        return key(x) < key(y);
    });
}

bool ExportKeys(RegistryStore& store, std::string& out, std::string& error) {
    std::vector<std::string> keys;
    if (!store.ListKeys(keys)) {
        error = store.ErrorText();
        return false;
    }
    std::sort(keys.begin(), keys.end(), TreeLess);
    out.assign(kRegFileHeader);
    out += "\r\n\r\n";
    std::vector<RegValue> values;
    for (const std::string& key : keys) {
        std::string normal;
        if (!RegistryStore::NormalizeKey(key, normal) || normal != key) {
            error = "the key \"" + key + "\" cannot be written to a .reg file";
            return false;
        }
        if (!store.ListValues(key, values)) {
            error = store.ErrorText();
            return false;
        }
        out += "[" + std::string(kRoot) + "\\" + key + "]\r\n";
        for (const RegValue& v : values) {
            if (!RegistryStore::ValidValueName(v.name)) {
                error = "a value name of the key \"" + key + "\" cannot be written to a .reg file";
                return false;
            }
            AppendValue(out, v);
        }
        out += kCrLf;
    }
    return true;
}

// ---- import ----

// Reads a quoted string whose opening quote is at s[pos]; leaves pos after the closing quote.
// Only \\ and \" are escapes, as regedit writes them.
bool ReadQuoted(std::string_view s, size_t& pos, std::string& out, std::string& why) {
    out.clear();
    for (++pos; pos < s.size();) {
        const char c = s[pos++];
        if (c == '"')
            return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos == s.size())
            break;
        const char e = s[pos++];
        if (e != '\\' && e != '"') {
            why = std::string("unknown escape \\") + e + " (write a backslash as \\\\)";
            return false;
        }
        out += e;
    }
    why = "missing closing quote";
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = LowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// 1 to `max_digits` hex digits and nothing else.
bool ParseHexNumber(std::string_view s, size_t max_digits, uint32_t& out) {
    if (s.empty() || s.size() > max_digits)
        return false;
    out = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        out = out << 4 | static_cast<uint32_t>(d);
    }
    return true;
}

// "01,02,ff": bytes of one or two hex digits; "" is no bytes; one trailing comma is tolerated.
bool ParseHexBytes(std::string_view s, std::vector<uint8_t>& out, std::string& why) {
    out.clear();
    s = Trim(s);
    for (size_t start = 0; !s.empty();) {
        const size_t comma = s.find(',', start);
        const std::string_view item =
            Trim(s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (item.empty() && comma == std::string_view::npos && start > 0)
            return true;
        uint32_t byte;
        if (!ParseHexNumber(item, 2, byte)) {
            why = "bad byte \"" + std::string(item) + "\" in a hex list";
            return false;
        }
        if (out.size() == kMaxRegValueBytes) {
            why = "the value is larger than any the store keeps (" + std::to_string(kMaxRegValueBytes) +
                  " bytes)";
            return false;
        }
        out.push_back(static_cast<uint8_t>(byte));
        if (comma == std::string_view::npos)
            return true;
        start = comma + 1;
    }
    return true;
}

bool ParseText(std::string_view data, RegValue& value, std::string& why) {
    size_t pos = 0;
    std::string text;
    if (!ReadQuoted(data, pos, text, why))
        return false;
    if (!Trim(data.substr(pos)).empty()) {
        why = "text after the closing quote";
        return false;
    }
    if (FromCp1250(ToCp1250(text)) != text) {
        why = "the text is not UTF-8 or holds characters outside code page 1250";
        return false;
    }
    value.type = RegType::Sz;
    value.data = RegistryStore::SzBytes(text);
    return true;
}

// The text of REG_SZ or REG_EXPAND_SZ bytes as the Windows registry editor writes them: UTF-16LE
// code units ending in one NUL, every one of them a character of code page 1250. False for bytes
// that are not such a text (our own export writes raw code page 1250 bytes there).
bool FromUtf16Text(const std::vector<uint8_t>& bytes, std::string& cp1250) {
    if (bytes.size() < 4 || bytes.size() % 2 != 0 || bytes[bytes.size() - 1] != 0 ||
        bytes[bytes.size() - 2] != 0)
        return false;
    std::string utf8;
    for (size_t i = 0; i + 2 < bytes.size(); i += 2) {
        const uint32_t unit = bytes[i] | uint32_t{bytes[i + 1]} << 8;
        if (unit == 0 || (unit >= 0xD800 && unit <= 0xDFFF))
            return false;  // a NUL inside, or a surrogate: no code page 1250 character
        if (unit < 0x80) {
            utf8 += static_cast<char>(unit);
        } else if (unit < 0x800) {
            utf8 += static_cast<char>(0xC0 | unit >> 6);
            utf8 += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | unit >> 12);
            utf8 += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    cp1250 = ToCp1250(utf8);
    if (FromCp1250(cp1250) != utf8)
        return false;
    cp1250.push_back('\0');
    return true;
}

// The part after '=': "-", a quoted text, dword:, hex: or hex(t):.
bool ParseData(std::string_view data, RegFileOp& op, std::string& why) {
    op.kind = RegFileOp::Kind::WriteValue;
    if (data == "-") {
        op.kind = RegFileOp::Kind::DeleteValue;
        return true;
    }
    if (!data.empty() && data[0] == '"')
        return ParseText(data, op.value, why);
    if (StartsWithNoCase(data, "dword:")) {
        uint32_t n;
        if (!ParseHexNumber(data.substr(6), 8, n)) {
            why = "dword: needs 1 to 8 hex digits";
            return false;
        }
        op.value.type = RegType::Dword;
        op.value.data = RegistryStore::DwordBytes(n);
        return true;
    }
    if (StartsWithNoCase(data, "hex:")) {
        op.value.type = RegType::Binary;
        return ParseHexBytes(data.substr(4), op.value.data, why);
    }
    const size_t close = data.find("):");
    uint32_t type;
    if (StartsWithNoCase(data, "hex(") && close != std::string_view::npos &&
        ParseHexNumber(data.substr(4, close - 4), 8, type)) {
        op.value.type = static_cast<RegType>(type);
        if (!ParseHexBytes(data.substr(close + 2), op.value.data, why))
            return false;
        std::string text;
        if ((op.value.type == RegType::Sz || op.value.type == RegType::ExpandSz) &&
            FromUtf16Text(op.value.data, text))
            op.value.data.assign(text.begin(), text.end());
        return true;
    }
    why = "unknown value type (expected \"text\", dword:, hex: or hex(n):)";
    return false;
}

bool ParseValueLine(std::string_view line, RegFileOp& op, std::string& why) {
    size_t pos = 1;
    if (line[0] == '"') {
        pos = 0;
        if (!ReadQuoted(line, pos, op.value.name, why))
            return false;
    } else if (line[0] != '@') {
        why = "expected [key], \"name\"=value or @=value";
        return false;
    }
    if (!RegistryStore::ValidValueName(op.value.name)) {
        why = "the value name holds a control character";
        return false;
    }
    const std::string_view rest = Trim(line.substr(pos));
    if (rest.empty() || rest[0] != '=') {
        why = "expected = after the value name";
        return false;
    }
    return ParseData(Trim(rest.substr(1)), op, why);
}

bool ParseKeyLine(std::string_view line, RegFileOp& op, std::string& why) {
    if (line.back() != ']') {
        why = "missing ] at the end of the key";
        return false;
    }
    std::string_view inner = line.substr(1, line.size() - 2);
    op.kind = RegFileOp::Kind::CreateKey;
    if (!inner.empty() && inner[0] == '-') {
        op.kind = RegFileOp::Kind::DeleteKey;
        inner.remove_prefix(1);
    }
    const size_t slash = inner.find('\\');
    if (!EqualNoCase(inner.substr(0, slash), kRoot)) {
        why = "only keys under HKEY_CURRENT_USER can be imported";
        return false;
    }
    if (slash == std::string_view::npos) {
        why = "values cannot be kept in HKEY_CURRENT_USER itself; name a key under it";
        return false;
    }
    if (!RegistryStore::NormalizeKey(inner.substr(slash + 1), op.key)) {
        why = "invalid key path";
        return false;
    }
    return true;
}

// Splits the text into logical lines: trimmed, a trailing backslash joining the next line.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    enum class Result { Line, End, Error };
    Result Next(std::string& line, int& number, std::string& why) {
        std::string_view first;
        if (!Physical(first))
            return Result::End;
        number = line_;
        if (first.size() > kMaxLineChars) {
            why = "the value is larger than any the store keeps (" + std::to_string(kMaxRegValueBytes) +
                  " bytes)";
            return Result::Error;
        }
        line.assign(first);
        if (line.empty() || line[0] == ';' || line[0] == '[')
            return Result::Line;
        while (!line.empty() && line.back() == '\\') {
            line.pop_back();
            std::string_view more;
            if (!Physical(more) || more.empty()) {
                why = "the value continues past its last line";
                return Result::Error;
            }
            // Refused as soon as it is too long, before the rest of it is read.
            if (line.size() + more.size() > kMaxLineChars) {
                why = "the value is larger than any the store keeps (" + std::to_string(kMaxRegValueBytes) +
                      " bytes)";
                return Result::Error;
            }
            line += more;
        }
        return Result::Line;
    }

private:
    bool Physical(std::string_view& out) {
        if (pos_ >= text_.size())
            return false;
        const size_t end = std::min(text_.find('\n', pos_), text_.size());
        out = Trim(text_.substr(pos_, end - pos_));
        pos_ = end + 1;
        ++line_;
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 0;
};

bool LineError(int line, const std::string& why, std::string& error) {
    error = "line " + std::to_string(line) + ": " + why;
    return false;
}

bool ParseLines(std::string_view text, std::vector<RegFileOp>& ops, std::string& error) {
    LineReader reader(text);
    bool header = false, in_key = false, key_deleted = false;
    std::string key, line, why;
    int number = 1;
    for (;;) {
        const auto result = reader.Next(line, number, why);
        if (result == LineReader::Result::End)
            break;
        if (result == LineReader::Result::Error)
            return LineError(number, why, error);
        if (line.empty() || line[0] == ';')
            continue;
        if (!header) {
            if (line != kRegFileHeader)
                return LineError(number, "expected \"" + std::string(kRegFileHeader) + "\"", error);
            header = true;
            continue;
        }
        RegFileOp op;
        op.line = number;
        if (line[0] == '[') {
            if (!ParseKeyLine(line, op, why))
                return LineError(number, why, error);
            key = op.key, in_key = true, key_deleted = op.kind == RegFileOp::Kind::DeleteKey;
        } else {
            if (!in_key || key_deleted)
                return LineError(
                    number, in_key ? "a value under a deleted key" : "a value before the first key", error);
            op.key = key;
            if (!ParseValueLine(line, op, why))
                return LineError(number, why, error);
        }
        ops.push_back(std::move(op));
    }
    return header || LineError(number, "expected \"" + std::string(kRegFileHeader) + "\"", error);
}

bool ApplyOne(RegistryStore& store, const RegFileOp& op) {
    switch (op.kind) {
    case RegFileOp::Kind::CreateKey:
        return store.CreateKey(op.key);
    case RegFileOp::Kind::DeleteKey:
        return store.DeleteKey(op.key);
    case RegFileOp::Kind::WriteValue:
        return store.WriteValue(op.key, op.value.name, op.value.type, op.value.data);
    case RegFileOp::Kind::DeleteValue:
        return store.DeleteValue(op.key, op.value.name);
    }
    return false;
}

bool ApplyAll(RegistryStore& store, const std::vector<RegFileOp>& ops, std::string& error,
              const std::function<bool(std::string&)>& more = {}) {
    if (!store.Begin()) {
        error = "cannot start the import: " + store.ErrorText();
        return false;
    }
    for (const RegFileOp& op : ops) {
        if (!ApplyOne(store, op)) {
            error = "line " + std::to_string(op.line) + ": " + store.ErrorText();
            store.Rollback();
            return false;
        }
    }
    if (more && !more(error)) {
        store.Rollback();
        return false;
    }
    if (!store.Commit()) {
        error = store.ErrorText();
        return false;
    }
    return true;
}

}  // namespace

bool ExportRegFile(RegistryStore& store, std::string& outText, std::string& error) {
    outText.clear();
    if (!store.BeginRead()) {
        error = store.ErrorText();
        return false;
    }
    std::string text;
    bool ok;
    try {
        ok = ExportKeys(store, text, error);
    } catch (const std::exception& e) {
        error = std::string("out of memory: ") + e.what();
        ok = false;
    }
    if (ok && !store.Commit()) {
        error = store.ErrorText();
        ok = false;
    }
    if (!ok) {
        store.Rollback();
        return false;
    }
    outText = std::move(text);
    return true;
}

bool ParseRegFile(std::string_view text, std::vector<RegFileOp>& ops, std::string& error) {
    ops.clear();
    if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF")
        return LineError(1, "the file is UTF-16; save it as UTF-8", error);
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    try {
        if (ParseLines(text, ops, error))
            return true;
    } catch (const std::exception& e) {
        error = std::string("out of memory: ") + e.what();
    }
    ops.clear();
    return false;
}

bool ImportRegFile(RegistryStore& store, std::string_view text, std::string& error) {
    return ImportRegFile(store, text, error, {});
}

bool ImportRegFile(RegistryStore& store, std::string_view text, std::string& error,
                   const std::function<bool(std::string& error)>& more) {
    std::vector<RegFileOp> ops;
    if (!ParseRegFile(text, ops, error))
        return false;
    try {
        return ApplyAll(store, ops, error, more);
    } catch (const std::exception& e) {
        error = std::string("out of memory: ") + e.what();
        store.Rollback();
        return false;
    }
}

}  // namespace kel
