// Warnings about things in an update description that this reader treats
// differently from other XML tools, so a patch author cannot see them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/update_info.h"

class qvXml;

// From the file's bytes: byte-order mark or blanks before the declaration,
// empty-element tags, blanks in attribute values, entity references, CDATA
// sections and document type declarations. One line per finding.
void LintDescriptionBytes(std::string_view bytes, std::vector<std::string>* warnings);

// From the parsed document and the loaded model: the root's name, gaps in
// lang00.. and p01.., missing texts, "\n" where it is not converted, a
// default that names no language, optional texts left to the built-in
// ones.
void LintDescriptionModel(const qvXml& xml, const UpdateInfo& info,
                          std::vector<std::string>* warnings);
