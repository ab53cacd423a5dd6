// The page of a record with its "cid:" references turned back into the URLs
// of the files the image list names (cid_rewrite.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/html/dom.h"
#include "model/tpjfile.h"

namespace qel::html {

// The record's page: as held (resolve false), or resolved.
std::u16string GetHtml(const CQelTpjFile& record, bool resolve);
// `html` with every reference to a content id of the image list pointed at
// the first entry of that id; `html` unchanged when it cannot be parsed.
std::u16string ResolveContentIds(const CQelTpjFile& record, const std::u16string& html);
// As ResolveContentIds; a page that cannot be parsed has each "cid:ID" of
// the image list replaced in its text instead (see ContentIdsInText).
std::u16string ResolveContentIdsEvenUnparsed(const CQelTpjFile& record, const std::u16string& html);
// The content ids that "cid:" references name in the text itself, in text
// order, for a page that cannot be parsed: "cid:" (lower case) that starts
// an attribute value (after "=" or a quote) and the characters after it up
// to a quote, a blank or ">".
std::vector<std::u16string> ContentIdsInText(std::u16string_view html);
// Points one attribute that holds a known "cid:" reference at its file; false
// for a null element or an attribute that holds none.
bool ResolveContentIdAttribute(const CQelTpjFile& record, Element* element, const std::u16string& attribute);

}  // namespace qel::html
