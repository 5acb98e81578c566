// One indexed file as the service stores it. Text fields hold UTF-8; the wire form is GBK.
#pragma once

#include <cstdint>
#include <string>

namespace qelo::service {

struct FileRow {
  int64_t file_id = 0;
  std::string file_name;       // with its extension, e.g. "会计基础.pdf"
  std::string file_extension;  // without the dot
  int64_t file_size = 0;       // bytes
  int64_t file_value = 0;      // value index, 0..100
  int64_t file_views = 0;      // popularity
  std::string file_time;       // "YYYY-MM-DD HH:MM:SS"
  std::string s_url;           // share link on the netdisk host

  bool operator==(const FileRow&) const = default;
};

}  // namespace qelo::service
