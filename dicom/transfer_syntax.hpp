#pragma once

#include <string_view>

namespace dicom {

// "1.2.840.10008.1.2.4.50" (JPEG baseline) => true; "1.2.840.10008.1.2.1" => false
bool is_encapsulated_syntax(std::string_view transfer_syntax_uid);

}  // namespace dicom
