#pragma once

// A small JSON reader for the tests of harbex-cli's --json output: it reads one
// value (RFC 8259 syntax, strict) and keeps objects' members and arrays' items, so
// a test can check that the output parses and holds the documented keys.

#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hx::test
{

struct TJson
{
    enum class TKind
    {
        Null,
        Bool,
        Number,
        String,
        Array,
        Object
    };
    TKind Kind = TKind::Null;
    // The string's text, or the literal of a number or boolean.
    std::string Text;
    std::vector<TJson> Items;
    std::map<std::string, TJson> Members;

    bool Has(const std::string& key) const { return Members.contains(key); }
    const TJson& operator[](const std::string& key) const { return Members.at(key); }
};

namespace detail
{

class TJsonReader
{
public:
    explicit TJsonReader(std::string_view text)
        : m_text(text)
    {
    }

    std::optional<TJson> Document()
    {
        TJson value;
        if (!Value(value))
            return std::nullopt;
        Blanks();
        if (m_at != m_text.size())
            return std::nullopt;
        return value;
    }

private:
    void Blanks()
    {
        while (m_at < m_text.size() &&
               (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool Take(char c)
    {
        Blanks();
        if (m_at < m_text.size() && m_text[m_at] == c)
        {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Literal(std::string_view word)
    {
        if (m_text.substr(m_at, word.size()) != word)
            return false;
        m_at += word.size();
        return true;
    }
    bool String(std::string& out)
    {
        if (!Take('"'))
            return false;
        while (m_at < m_text.size())
        {
            const char c = m_text[m_at++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\')
            {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                return false;
            const char escaped = m_text[m_at++];
            const std::string_view simple = "\"\\/bfnrt";
            if (simple.find(escaped) != std::string_view::npos)
                out += escaped;
            else if (escaped == 'u' && m_at + 4 <= m_text.size() &&
                     std::isxdigit(static_cast<unsigned char>(m_text[m_at])) != 0)
            {
                out += static_cast<char>(std::stoi(std::string(m_text.substr(m_at, 4)), nullptr, 16));
                m_at += 4;
            }
            else
                return false;
        }
        return false;
    }
    bool Number(std::string& out)
    {
        const std::size_t start = m_at;
        if (m_at < m_text.size() && m_text[m_at] == '-')
            ++m_at;
        const std::size_t digits = m_at;
        while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])) != 0)
            ++m_at;
        if (m_at == digits)
            return false;
        if (m_at < m_text.size() && m_text[m_at] == '.')
        {
            ++m_at;
            const std::size_t fraction = m_at;
            while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at])) != 0)
                ++m_at;
            if (m_at == fraction)
                return false;
        }
        out = std::string(m_text.substr(start, m_at - start));
        return true;
    }
    bool Value(TJson& value)
    {
        Blanks();
        if (m_at >= m_text.size())
            return false;
        const char c = m_text[m_at];
        if (c == '{')
        {
            value.Kind = TJson::TKind::Object;
            ++m_at;
            if (Take('}'))
                return true;
            do
            {
                std::string key;
                TJson member;
                if (!String(key) || !Take(':') || !Value(member))
                    return false;
                value.Members[key] = std::move(member);
            } while (Take(','));
            return Take('}');
        }
        if (c == '[')
        {
            value.Kind = TJson::TKind::Array;
            ++m_at;
            if (Take(']'))
                return true;
            do
            {
                TJson item;
                if (!Value(item))
                    return false;
                value.Items.push_back(std::move(item));
            } while (Take(','));
            return Take(']');
        }
        if (c == '"')
        {
            value.Kind = TJson::TKind::String;
            return String(value.Text);
        }
        if (Literal("true") || Literal("false"))
        {
            value.Kind = TJson::TKind::Bool;
            value.Text = m_text[m_at - 1] == 'e' && m_text[m_at - 2] == 'u' ? "true" : "false";
            return true;
        }
        if (Literal("null"))
            return true;
        value.Kind = TJson::TKind::Number;
        return Number(value.Text);
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

} // namespace detail

// The value the text holds, nothing when it is not exactly one JSON value.
inline std::optional<TJson> ParseJson(std::string_view text)
{
    return detail::TJsonReader(text).Document();
}

} // namespace hx::test
