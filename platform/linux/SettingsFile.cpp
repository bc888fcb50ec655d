#include "SettingsFile.h"

#include "Unicode.h"

#include <charconv>

namespace lumeno::platform::linux_desktop {

namespace {

bool isKeyCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'
           || c == '-';
}

bool isBlankCharacter(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlankCharacter(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlankCharacter(s.back()))
        s.remove_suffix(1);
    return s;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted string: '"', then characters or escapes, then '"' ending the text.
bool parseQuoted(std::string_view s, std::string& out, std::string& error)
{
    std::size_t i = 1;
    while (i < s.size() && s[i] != '"') {
        if (s[i] != '\\') {
            out += s[i++];
            continue;
        }
        if (i + 1 >= s.size())
            break;
        const char e = s[i + 1];
        i += 2;
        switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            char32_t cp = 0;
            for (int k = 0; k < 4; ++k) {
                const int d = i < s.size() ? hexDigit(s[i]) : -1;
                if (d < 0) {
                    error = "\\u needs four hexadecimal digits";
                    return false;
                }
                cp = cp * 16 + char32_t(d);
                ++i;
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                error = "\\u names a surrogate, not a character";
                return false;
            }
            unicode::appendUtf8(out, cp);
            break;
        }
        default:
            error = std::string("unknown escape \\") + e;
            return false;
        }
    }
    if (i >= s.size()) {
        error = "the string has no closing quote";
        return false;
    }
    if (i + 1 != s.size()) {
        error = "unexpected text after the closing quote";
        return false;
    }
    return true;
}

bool parseValue(std::string_view s, SettingValue& value, std::string& error)
{
    if (s.empty()) {
        error = "the value is missing";
        return false;
    }
    if (s == "true" || s == "false") {
        value = s == "true";
        return true;
    }
    if (s.front() == '"') {
        std::string text;
        if (!parseQuoted(s, text, error))
            return false;
        value = std::move(text);
        return true;
    }
    if (s.front() == '-' || (s.front() >= '0' && s.front() <= '9')) {
        std::int64_t n = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (ec == std::errc::result_out_of_range) {
            error = "the integer does not fit in 64 bits";
            return false;
        }
        if (ec == std::errc() && end == s.data() + s.size()) {
            value = n;
            return true;
        }
    }
    error = "a value is true, false, an integer or text in double quotes";
    return false;
}

// "key = value" with blanks already trimmed from both ends.
bool parseLine(std::string_view line, SettingsMap& values, std::string& error)
{
    std::size_t k = 0;
    while (k < line.size() && isKeyCharacter(line[k]))
        ++k;
    if (k == 0) {
        error = "a line starts with a setting's name";
        return false;
    }
    const std::string_view key = line.substr(0, k);
    std::string_view rest = trimBlanks(line.substr(k));
    if (rest.empty() || rest.front() != '=') {
        error = "'=' must follow the name " + std::string(key);
        return false;
    }
    SettingValue value;
    if (!parseValue(trimBlanks(rest.substr(1)), value, error))
        return false;
    values.insert_or_assign(std::string(key), std::move(value));
    return true;
}

void appendQuoted(std::string& out, std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    out += '"';
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20 || b == 0x7F) {
                out += "\\u00";
                out += hex[b >> 4];
                out += hex[b & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

} // namespace

bool isValidSettingKey(std::string_view key)
{
    if (key.empty())
        return false;
    for (const char c : key)
        if (!isKeyCharacter(c))
            return false;
    return true;
}

ParsedSettings parseSettings(std::string_view text)
{
    ParsedSettings result;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = trimBlanks(line);
        if (line.empty() || line.front() == '#')
            continue;
        std::string error;
        if (!unicode::isValidUtf8(line))
            error = "the text is not valid UTF-8";
        else
            parseLine(line, result.values, error);
        if (!error.empty()) {
            result.values.clear();
            result.valid = false;
            result.errorLine = lineNumber;
            result.error = std::move(error);
            return result;
        }
    }
    return result;
}

std::string formatSettingValue(const SettingValue& value)
{
    if (const bool* b = std::get_if<bool>(&value))
        return *b ? "true" : "false";
    if (const std::int64_t* n = std::get_if<std::int64_t>(&value))
        return std::to_string(*n);
    std::string out;
    appendQuoted(out, std::get<std::string>(value));
    return out;
}

std::string serializeSettings(const SettingsMap& values)
{
    std::string out =
        "# Lumeno settings, one per line: name = value.\n"
        "# Values: true or false, a decimal integer, or \"text\" in double quotes.\n";
    for (const auto& [key, value] : values) {
        out += key;
        out += " = ";
        out += formatSettingValue(value);
        out += '\n';
    }
    return out;
}

} // namespace lumeno::platform::linux_desktop
