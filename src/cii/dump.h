// A readable listing of a CII file: its blocks, the header fields by element name, and every
// data element of a message with its tag, length and value, groups and repetitions indented.
#pragma once

#include <istream>
#include <ostream>

namespace edi::cii {

// Lists the file; returns false when the file is damaged (the listing says where).
bool DumpCiiFile(std::istream& in, std::ostream& out);

}  // namespace edi::cii
