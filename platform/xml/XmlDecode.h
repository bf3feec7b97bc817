// Turns the bytes of an XML file into UTF-8 for the parser: byte-order marks
// (UTF-8, UTF-16 either way), UTF-16 without one, and the single-byte
// encodings named in the XML declaration (ISO-8859-1, Windows-1252,
// US-ASCII). Other declared encodings are read as UTF-8.
#pragma once

#include <string>

namespace orvi::xml {

std::string DecodeXmlBytes(const std::string& bytes);

}  // namespace orvi::xml
