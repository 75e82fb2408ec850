// A JSON object written field by field into one line of text: strings escaped, numbers in
// the "C" form whatever the locale, a number that is not finite written as null (JSON has
// no NaN). Enough for the station's own messages; it parses nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace remote {

class JsonObject {
  public:
    JsonObject& text(std::string_view name, std::string_view value);
    JsonObject& number(std::string_view name, double value, int decimals);
    JsonObject& integer(std::string_view name, std::int64_t value);
    JsonObject& boolean(std::string_view name, bool value);
    JsonObject& null(std::string_view name);
    JsonObject& texts(std::string_view name, const std::vector<std::string>& values);
    // value is JSON already (an object or an array built here).
    JsonObject& raw(std::string_view name, std::string_view json);
    std::string str() const { return body_ + "}"; }

  private:
    void key(std::string_view name);
    std::string body_ = "{";
};

// value as a JSON string, quotes included; bytes that do not form UTF-8 become U+FFFD.
std::string JsonString(std::string_view value);
// value with every byte that does not form UTF-8 (Latin-1 text) replaced by U+FFFD.
std::string ValidUtf8(std::string_view value);
// A JSON array of already written elements.
std::string JsonArray(const std::vector<std::string>& elements);

}  // namespace remote
