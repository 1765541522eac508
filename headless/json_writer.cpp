#include "json_writer.h"

#include <cstdio>

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void JsonWriter::newLine()
{
    m_text += '\n';
    m_text.append(2 * m_empty.size(), ' ');
}

void JsonWriter::beforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_empty.empty()) {
        if (!m_empty.back())
            m_text += ',';
        m_empty.back() = false;
        newLine();
    }
}

void JsonWriter::open(char bracket)
{
    beforeValue();
    m_text += bracket;
    m_empty.push_back(true);
}

void JsonWriter::close(char bracket)
{
    const bool empty = m_empty.back();
    m_empty.pop_back();
    if (!empty)
        newLine();
    m_text += bracket;
}

JsonWriter &JsonWriter::beginObject()
{
    open('{');
    return *this;
}

JsonWriter &JsonWriter::endObject()
{
    close('}');
    return *this;
}

JsonWriter &JsonWriter::beginArray()
{
    open('[');
    return *this;
}

JsonWriter &JsonWriter::endArray()
{
    close(']');
    return *this;
}

JsonWriter &JsonWriter::key(std::string_view name)
{
    beforeValue();
    m_text += JsonString(name) + ": ";
    m_afterKey = true;
    return *this;
}

JsonWriter &JsonWriter::value(std::string_view text)
{
    beforeValue();
    m_text += JsonString(text);
    return *this;
}

JsonWriter &JsonWriter::value(std::int64_t number)
{
    beforeValue();
    m_text += std::to_string(number);
    return *this;
}

JsonWriter &JsonWriter::value(bool truth)
{
    beforeValue();
    m_text += truth ? "true" : "false";
    return *this;
}

JsonWriter &JsonWriter::null()
{
    beforeValue();
    m_text += "null";
    return *this;
}
