#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writes one JSON document into a string, indented two spaces a level. The
// caller opens and closes objects and arrays in order; inside an object each
// value follows its key(). Strings are written as UTF-8 with the characters
// JSON requires escaped (bytes that are not valid UTF-8 pass unchanged).
class JsonWriter {
public:
    JsonWriter &beginObject();
    JsonWriter &endObject();
    JsonWriter &beginArray();
    JsonWriter &endArray();
    JsonWriter &key(std::string_view name);
    JsonWriter &value(std::string_view text);
    JsonWriter &value(const char *text) { return value(std::string_view(text)); }
    JsonWriter &value(std::int64_t number);
    JsonWriter &value(bool truth);
    JsonWriter &null();

    // The document, ended by a line break.
    std::string text() const { return m_text + "\n"; }

private:
    // Starts or ends an object or an array.
    void open(char bracket);
    void close(char bracket);
    void beforeValue();
    void newLine();

    std::string m_text;
    std::vector<bool> m_empty; // per open level: nothing written in it yet
    bool m_afterKey = false;
};

// text as a JSON string, quotes included.
std::string JsonString(std::string_view text);
