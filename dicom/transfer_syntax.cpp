#include "dicom/transfer_syntax.hpp"

#include <algorithm>
#include <array>

namespace dicom {
namespace {

// Every transfer syntax whose pixel data is a sequence of compressed
// fragments: the JPEG family (with the retired processes), JPEG-LS, JPEG 2000,
// MPEG and HTJ2K, and RLE. JPIP referenced (.94, .95) carries no pixel data;
// deflate (1.2.840.10008.1.2.1.99) compresses the data set, not the pixels.
constexpr std::string_view encapsulated_root = "1.2.840.10008.1.2.4.";
constexpr std::array<std::string_view, 38> encapsulated_suffixes = {
    "50",  "51",  "52",  "53",  "54",  "55",  "56",  "57",  "58",  "59",  "60",  "61",  "62",
    "63",  "64",  "65",  "66",  "70",  "80",  "81",  "90",  "91",  "92",  "93",  "100", "101",
    "102", "103", "104", "105", "106", "107", "108", "110", "111", "201", "202", "203"};
constexpr std::string_view rle_lossless = "1.2.840.10008.1.2.5";

// UI values are padded to even length with NUL; some writers pad with a space.
std::string_view without_padding(std::string_view uid) {
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.remove_suffix(1);
  return uid;
}

}  // namespace

bool is_encapsulated_syntax(std::string_view transfer_syntax_uid) {
  const std::string_view uid = without_padding(transfer_syntax_uid);
  if (uid == rle_lossless) return true;
  if (!uid.starts_with(encapsulated_root)) return false;
  const std::string_view suffix = uid.substr(encapsulated_root.size());
  return std::find(encapsulated_suffixes.begin(), encapsulated_suffixes.end(), suffix) !=
         encapsulated_suffixes.end();
}

}  // namespace dicom
