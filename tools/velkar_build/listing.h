// --list and --test: what a Velkar file holds, read as the stub reads it.
#pragma once

#include <ostream>
#include <string>

// Prints the settings block and a line per member (method, packed and
// original size, ratio, time, CRC, name). Names and texts are read in the
// code page and printed in UTF-8, control bytes escaped. With test, each
// member also goes through our decoder and its CRC is compared, and the
// tamper value is checked. Returns the number of problems found; throws
// std::runtime_error when the file cannot be read or is no Velkar file.
int listSelfExtractor(const std::string& path, bool test, int codePage, std::ostream& out);
