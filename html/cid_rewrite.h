// The page of a record with its "cid:" references turned back into the URLs
// of the files the image list names (cid_rewrite.cpp).
#pragma once

#include <string>

#include "host/dom.h"
#include "model/tpjfile.h"

namespace qel::html {

// The record's page: as held (resolve false), or resolved.
std::u16string GetHtml(const CQelTpjFile& record, bool resolve);
// `html` with every reference to a content id of the image list pointed at
// the first entry of that id; `html` unchanged when it cannot be parsed.
std::u16string ResolveContentIds(const CQelTpjFile& record, const std::u16string& html);
// Points one attribute that holds a known "cid:" reference at its file; false
// for a null element or an attribute that holds none.
bool ResolveContentIdAttribute(const CQelTpjFile& record, Element* element, const std::u16string& attribute);

}  // namespace qel::html
