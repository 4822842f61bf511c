// Internal: creating MSXML documents. MSXML 6.0 where present (Windows Vista and later,
// and Wine), else 3.0; both are configured to load synchronously without DTDs, external
// resources or validation (Wine ignores some of these; CheckCatalogueBytes covers that).
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <optional>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/ComSupport.h"

namespace catalogue::detail {

// The attributes of an item, in the order of TCatalogueItem's fields.
inline constexpr const wchar_t* kItemAttributes[] = {L"plugName", L"plugid", L"plugfolder",
                                                     L"plugdescribe", L"plugauthor"};
// The optional attributes, in the order of the last two fields of TCatalogueItem.
inline constexpr const wchar_t* kOptionalItemAttributes[] = {L"plugsize", L"plugsha256"};

// Checked catalogue bytes in a form every MSXML reads alike: a document declared in an
// ASCII-compatible code page other than UTF-8 (Big5...) is decoded here and handed on as
// UTF-8 with its declaration changed to match (Wine's MSXML cannot decode Big5 itself).
// Throws ECatalogueError when the bytes are not valid in the declared encoding.
std::string TranscodeForParser(const std::string& bytes);

// Throws ECatalogueError when neither version can be created.
TComPtr<IXMLDOMDocument> CreateDomDocument();

// The items of a plain catalogue (a root whose children are only elements carrying all
// five attributes, with whitespace between them), read in one SAX pass from parser
// input (see TranscodeForParser) in a byte array. nullopt for any other document and
// for any error: the DOM then reads it and words what is wrong.
std::optional<std::vector<TCatalogueItem>> ReadPlainCatalogue(const VARIANT& source);

}  // namespace catalogue::detail
