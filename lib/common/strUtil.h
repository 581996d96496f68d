// String routines on byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Text after the last "." of the path; empty when there is none.
std::string fileExtension(const std::string& path);

// Removes leading and trailing space, tab, line feed, vertical tab, form feed, carriage return.
void strTrim(std::string& s);
// Removes trailing space, tab, carriage return and line feed.
void strTrimRight(std::string& s);
// Maps A..Z to a..z; other bytes stay.
void strToLower(std::string& s);
// Replaces every occurrence of `from` by `to`, left to right, never rescanning inserted text.
void strReplaceAll(std::string& s, const std::string& from, const std::string& to);

// Fields of s between delimiters, empty fields included; an empty s adds nothing.
void strSplit(const std::string& s, char delimiter, std::vector<std::string>& out, bool append = false);
std::string strVecJoin(const std::vector<std::string>& vec, const std::string& separator);
std::string intVecJoin(const std::vector<int>& vec, const std::string& separator);

// Every combination of one alternative per position joined by "-", the first position varying fastest.
std::vector<std::string> strVecExhaustiveList(const std::vector<std::vector<std::string>>& alternatives);
void strVecRemoveEmpty(std::vector<std::string>& vec);

// Indices of the strings where `pattern` occurs: matchPos 0 anywhere, 1 as prefix,
// 2 where its first occurrence ends the string, 3 as the whole string.
void strVecLinSearch(const std::vector<std::string>& vec, const std::string& pattern, std::vector<int>& indices,
                     int matchPos);

// Nearest integer, halves away from zero (saturated to the int range, NaN gives 0).
int roundHalfAway(double x);
int roundHalfAway(float x);

// Decimal integer as C's atoi reads it: leading white space, one sign, digits up to the first
// non-digit; no digits gives 0. Saturates at the int32 range.
int32_t parseLeadingInt(const std::string& s);

// Leading decimal number (strtod), truncated toward zero and saturated at the int32 range; NaN
// and text without a number give 0.
int32_t parseTruncatedNumber(const std::string& s);
