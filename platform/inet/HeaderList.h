// An ordered list of HTTP header fields: the request headers a caller adds,
// or the head of one response (its status line and fields as received).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "wintypes.h"

namespace orvi::inet {

class HeaderList {
public:
    struct Field {
        std::string name;
        std::string value;
    };

    void Clear();
    void SetStatusLine(std::string line);
    const std::string& StatusLine() const { return m_statusLine; }

    // Takes one received line ("Name: value", CR LF or LF at the end). A line
    // starting with a blank continues the previous field's value.
    void AddReceivedLine(std::string_view line);
    // Adds one request header line with HTTP_ADDREQ_FLAG_* semantics; returns
    // 0 or the last-error code (ERROR_HTTP_HEADER_ALREADY_EXISTS,
    // ERROR_HTTP_HEADER_NOT_FOUND for a REPLACE of a missing field,
    // ERROR_INVALID_PARAMETER for a line without a name).
    DWORD AddRequestLine(std::string_view line, DWORD modifiers);

    // The index-th field of that name (case-insensitive).
    bool Find(std::string_view name, DWORD index, std::string& value) const;
    bool Has(std::string_view name) const;
    const std::vector<Field>& Fields() const { return m_fields; }

    // Status line and fields, each ended by CR LF, then an empty line.
    std::string RawCrlf() const;
    // Status line and fields, each ended by a NUL, then one more NUL.
    std::string RawNul() const;
    // Bytes of the head as received.
    size_t ReceivedBytes() const { return m_receivedBytes; }

private:
    std::string m_statusLine;
    std::vector<Field> m_fields;
    size_t m_receivedBytes = 0;
};

// Splits a caller's header block (lines separated by CR LF or a bare LF)
// into lines without their ends; empty lines are dropped.
std::vector<std::string> SplitHeaderLines(std::string_view block);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace orvi::inet
