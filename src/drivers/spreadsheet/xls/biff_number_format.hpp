#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tabvora::internal {

// What a cell's number format makes of its number.
enum class BIFFDateKind : std::uint8_t { none, date, timeOnly };

// The kind of a built-in number format by its id (formats 14-22, 27-36, 45-47, 50-58 show
// dates or times; the others do not).
BIFFDateKind builtInBIFFDateKind(int formatId);

// The kind of a custom format code. Characters after "\", "_" or "*", quoted text and
// bracketed sections are not looked at; of the rest, "y" or "d" make a date, "h" or "s" a
// time, and a lone "m" a date. An elapsed-time section ("[h]", "[mm]", "[ss]") makes a
// time unless a date part is there too.
BIFFDateKind classifyBIFFFormatCode(std::string_view code);

// The number a 32-bit RK value packs: a 30-bit integer (bit 1 set) or the top 30 bits of
// a double (bit 1 clear), divided by 100 when bit 0 is set.
double decodeRK(std::uint32_t rk);

// Appends a number as a workbook cell shows it without a format: a whole number below
// 1e15 in magnitude as an integer ("12", "-3"), anything else in the shortest text that
// reads back as the same double: "0.015", or "1.5e+16" and "1e-05" from 1e15 on and
// below 1e-4.
void appendBIFFNumber(std::string& out, double value);

}  // namespace tabvora::internal
