// TskCompressedStoredSkin: one skin container body, held compressed in memory, with its three
// descriptive names. The file form (".skn") is version (int32), length (int32), compressed body.
#pragma once

#include <cstdint>
#include <string>

namespace qelo::skin {

// Largest container file a read accepts; a body is a zlib stream of a few hundred KB.
inline constexpr int64_t kMaxContainerFile = int64_t{64} << 20;

class TskCompressedStoredSkin {
 public:
  std::string Description;
  std::string FileName;
  std::string CompressedFileName;
  // The compressed body alone, without the 8-byte file header.
  std::string CompressedData;

  // Replaces the body with the one stored in the file at path. A length of 0 takes the whole
  // file, header included. Raises EFOpenError when the file cannot be opened, EReadError
  // ("Stream read error") for a file shorter than its header, a version above 3 (one this
  // reader does not know), a length past the bytes that follow or a negative one, and
  // EReadError for a file larger than kMaxContainerFile. The body is empty after any error.
  void ReadContainerFile(const std::string& path);

  bool Empty() const { return CompressedData.empty(); }
};

// The container file's bytes for a body: version 2, its length, the body.
std::string ContainerFileBytes(const std::string& compressedData, int32_t version = 2);

}  // namespace qelo::skin
