// qvimg info FILE...
// qvimg convert IN OUT [--frame-index N | --frame-id N] [--expand]
//                      [--flatten RRGGBB] [--quality Q]
#pragma once

#include <string>
#include <vector>

// `arguments` are UTF-8 and exclude the program name. Returns the exit
// status: 0 success, 1 a file could not be read, decoded or written, 2 bad
// usage.
int RunQvimg(const std::vector<std::string>& arguments, std::string* out, std::string* err);
