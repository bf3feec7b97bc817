#include "HeaderList.h"

#include <algorithm>

#include "wininet.h"
#include "winerror.h"

namespace orvi::inet {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

bool SplitField(std::string_view line, std::string& name, std::string& value) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    name = std::string(Trim(line.substr(0, colon)));
    value = std::string(Trim(line.substr(colon + 1)));
    return !name.empty();
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

std::vector<std::string> SplitHeaderLines(std::string_view block) {
    std::vector<std::string> lines;
    while (!block.empty()) {
        size_t end = block.find('\n');
        std::string_view line = block.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!Trim(line).empty())
            lines.emplace_back(line);
        if (end == std::string_view::npos)
            break;
        block.remove_prefix(end + 1);
    }
    return lines;
}

void HeaderList::Clear() {
    m_statusLine.clear();
    m_fields.clear();
    m_receivedBytes = 0;
}

void HeaderList::SetStatusLine(std::string line) {
    m_receivedBytes += line.size();
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    m_statusLine = std::move(line);
}

void HeaderList::AddReceivedLine(std::string_view line) {
    m_receivedBytes += line.size();
    if ((line.front() == ' ' || line.front() == '\t') && !m_fields.empty()) {
        m_fields.back().value += ' ';
        m_fields.back().value += Trim(line);
        return;
    }
    Field field;
    if (SplitField(line, field.name, field.value))
        m_fields.push_back(std::move(field));
}

DWORD HeaderList::AddRequestLine(std::string_view line, DWORD modifiers) {
    Field field;
    if (!SplitField(line, field.name, field.value))
        return ERROR_INVALID_PARAMETER;
    auto existing = std::find_if(m_fields.begin(), m_fields.end(),
                                 [&](const Field& f) { return EqualsNoCase(f.name, field.name); });
    bool exists = existing != m_fields.end();
    if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) && exists)
        return ERROR_HTTP_HEADER_ALREADY_EXISTS;
    if (modifiers & HTTP_ADDREQ_FLAG_REPLACE) {
        if (!exists) {
            if (!(modifiers & HTTP_ADDREQ_FLAG_ADD))
                return ERROR_HTTP_HEADER_NOT_FOUND;
            m_fields.push_back(std::move(field));
            return 0;
        }
        if (field.value.empty())  // replacing with nothing removes the field
            m_fields.erase(existing);
        else
            existing->value = field.value;
        return 0;
    }
    DWORD coalesce = modifiers & (HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA |
                                  HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON);
    if (coalesce && exists) {
        existing->value += (coalesce & HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA) ? ", " : "; ";
        existing->value += field.value;
        return 0;
    }
    m_fields.push_back(std::move(field));
    return 0;
}

bool HeaderList::Find(std::string_view name, DWORD index, std::string& value) const {
    for (const Field& field : m_fields) {
        if (!EqualsNoCase(field.name, name))
            continue;
        if (index-- == 0) {
            value = field.value;
            return true;
        }
    }
    return false;
}

bool HeaderList::Has(std::string_view name) const {
    std::string ignored;
    return Find(name, 0, ignored);
}

std::string HeaderList::RawCrlf() const {
    std::string raw = m_statusLine + "\r\n";
    for (const Field& field : m_fields)
        raw += field.name + ": " + field.value + "\r\n";
    return raw + "\r\n";
}

std::string HeaderList::RawNul() const {
    std::string raw = m_statusLine;
    raw += '\0';
    for (const Field& field : m_fields) {
        raw += field.name + ": " + field.value;
        raw += '\0';
    }
    raw += '\0';
    return raw;
}

}  // namespace orvi::inet
