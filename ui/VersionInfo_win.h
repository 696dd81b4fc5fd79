#pragma once
// The file version of an executable from its version resource, as "1.2.3.4"; empty when
// the file has none.
#include <string>

std::string FileVersionString(const std::string& FileName);
