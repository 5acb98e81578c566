// The text fields the main window keeps on behalf of the other windows. All GBK, all empty
// until set; only the main window writes them, the other windows read them through MainForm.
#pragma once

#include <string>

namespace qelo::app {

struct TSharedState {
  std::string PreviewUrl;  // BaseUrl + "zelk-" + file_id of the opened result
  std::string SelFileId;
  std::string SelValue;
  std::string SelViews;
  std::string SelLink;   // share link of the opened result, blanks trimmed
  std::string SkinName;  // skin in force since start-up
  std::string BaseUrl;   // service base URL, ends in "/"
  std::string AppVersion;
  std::string AppBuild;
};

}  // namespace qelo::app
