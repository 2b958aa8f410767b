#pragma once

// The JSON output of harbex-cli (--json): objects built key by key, written as one
// line of text. Keys are given in the order they are to appear; texts are UTF-8.

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hx::cli
{

// The text as a JSON string, quotes included.
std::string JsonString(std::string_view text);
// The JSON texts (objects, strings ...) as one array.
std::string JsonArray(const std::vector<std::string>& items);

class TJsonObject
{
public:
    TJsonObject& Add(std::string_view key, std::string_view text);
    TJsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
    TJsonObject& Add(std::string_view key, const std::string& text) { return Add(key, std::string_view(text)); }
    TJsonObject& Add(std::string_view key, bool value);
    template <std::integral T>
    requires(!std::same_as<T, bool>) TJsonObject& Add(std::string_view key, T number)
    {
        return AddRaw(key, std::to_string(number));
    }
    TJsonObject& Add(std::string_view key, double number);
    TJsonObject& AddNull(std::string_view key) { return AddRaw(key, "null"); }
    // A value that is JSON text already (an object, an array).
    TJsonObject& AddRaw(std::string_view key, std::string_view json);
    TJsonObject& Add(std::string_view key, const TJsonObject& object) { return AddRaw(key, object.Text()); }

    std::string Text() const { return "{" + m_members + "}"; }

private:
    std::string m_members;
};

} // namespace hx::cli
