#include "app/HXCliJson.h"

#include <cmath>
#include <cstdio>

namespace hx::cli
{

std::string JsonString(std::string_view text)
{
    std::string json = "\"";
    for (const char c : text)
    {
        switch (c)
        {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
            {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned>(c));
                json += escaped;
            }
            else
                json += c;
        }
    }
    return json + "\"";
}

std::string JsonArray(const std::vector<std::string>& items)
{
    std::string json = "[";
    for (std::size_t index = 0; index < items.size(); ++index)
        json += (index > 0 ? "," : "") + items[index];
    return json + "]";
}

TJsonObject& TJsonObject::AddRaw(std::string_view key, std::string_view json)
{
    if (!m_members.empty())
        m_members += ",";
    m_members += JsonString(key);
    m_members += ":";
    m_members += json;
    return *this;
}

TJsonObject& TJsonObject::Add(std::string_view key, std::string_view text)
{
    return AddRaw(key, JsonString(text));
}

TJsonObject& TJsonObject::Add(std::string_view key, bool value)
{
    return AddRaw(key, value ? "true" : "false");
}

TJsonObject& TJsonObject::Add(std::string_view key, double number)
{
    if (!std::isfinite(number))
        return AddNull(key);
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", number);
    return AddRaw(key, text);
}

} // namespace hx::cli
