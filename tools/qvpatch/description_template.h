// The update description of a patch, made from the author's template: the
// template's bytes as they are (brand, app, version, languages, texts and
// comments), with its delete list replaced by a generated one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Reads the template the way the updater's XML reader splits it (tags from
// "<" to ">", comments dropped) and removes every <delete> element of the
// top element, which must be <document>; the new list stands where the
// first one stood, else before </document>. Entries are p01, p02, ...,
// one per line, in the template's indentation and line ends. False, with
// the reason in `error`, for a template this cannot be done with, or an
// entry that would not read back as itself.
bool WriteDeleteList(std::string_view template_bytes, const std::vector<std::u16string>& entries,
                     std::string* description, std::string* error);
