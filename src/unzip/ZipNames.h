// Entry names and paths: conversion of raw names to the engine's encoding, the split
// into directory and file name, the safety rules for names that become files, and
// MatchPattern. Backslash scanning skips the trail bytes of two-byte characters, so a
// code page 950 name whose second byte is 0x5C is never cut in two.
#pragma once

#include <cstdint>
#include <string>

enum class TOEMConvert { oemAlways = 0, oemNever = 1, oemFlexible = 2 };

// Raw name bytes to the engine's encoding: UTF-8 names (flag bit 11) are converted from
// UTF-8; names from an MS-DOS host (|fromDosHost|) from the system's OEM code page (code
// page 437 where there is none) unless |convert| is oemNever; any other name is kept as it stands.
// "/" becomes "\".
std::string ConvertEntryName(const std::string& raw, bool fromDosHost, uint16_t flags,
                             TOEMConvert convert);

// Length of the character starting at |index| (2 for a lead byte followed by a byte).
size_t CharLength(const std::string& text, size_t index);
// Index of the last "\" (or of |alsoColon| ":") outside two-byte characters, or npos.
size_t LastDelimiter(const std::string& text, bool alsoColon);
bool EndsWithBackslash(const std::string& text);
// ASCII lower case, leaving two-byte characters untouched.
std::string LowerCase(const std::string& text);

// Splits an entry name into the directory part (ending in "\" when not empty) and the
// name after the last backslash or colon.
void SplitEntryName(const std::string& name, std::string& directory, std::string& fileName);

// True when |relative| (the entry-made part of an output path) may become a file or
// directory: no ".." component, no component that Windows would reinterpret (device
// names, control or reserved characters, a trailing dot or blank, a stream colon).
bool IsSafeEntryPath(const std::string& relative);

// Pattern match of the extraction selection; both texts already in lower case.
bool MatchPattern(const std::string& pattern, const std::string& name);
