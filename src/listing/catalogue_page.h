#pragma once

#include <string_view>

namespace quaverly::listing {

// The catalogue's page, made from res/catalogue at build time: everything before the text of
// its data element, and everything after it.
std::string_view CataloguePageHead();
std::string_view CataloguePageTail();

} // namespace quaverly::listing
