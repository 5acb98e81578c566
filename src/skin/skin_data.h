// TskSkinData: the skin holder. It keeps the active skin (the fixed pictures, the active
// pictures, the parsed skin text and what the holder reads from it) and tells every registered
// window, in order, before a skin is set aside, when the new one is in place, and after that.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/compressed_stored_skin.h"
#include "skin/skin_bitmap.h"
#include "skin/skin_text.h"

namespace qelo::skin {

class TskSkinData;

enum class TSkinNotice { BeforeChange, Change, AfterChange };

// A window (or anything standing in for one) that follows the holder's skin.
class ISkinListener {
 public:
  virtual void SkinNotice(TskSkinData& sender, TSkinNotice notice) = 0;

 protected:
  ~ISkinListener() = default;
};

// The ten colours of the "SKINCOLORS" section, in this order, red in the lowest byte.
inline constexpr std::array<std::string_view, 10> kSkinColorKeys = {
    "cbtnface",       "cbtntext",      "cwindow",    "cwindowtext", "chighlight",
    "chighlighttext", "cbtnhighlight", "cbtnshadow", "c3dlight",    "c3ddkshadow"};
using TSkinColors = std::array<uint32_t, kSkinColorKeys.size()>;

enum TSkinColor {
  scBtnFace,
  scBtnText,
  scWindow,
  scWindowText,
  scHighlight,
  scHighlightText,
  scBtnHighlight,
  scBtnShadow,
  sc3DLight,
  sc3DDkShadow
};

// One entry of "SKINOBJECTS" or "SKINCONTROLS": the section that holds its keys and its type.
struct TSkinEntry {
  std::string name;
  std::string type;
  int sectionReads = 0;  // how often the entry read its section
};

// What the last load or apply did to the skin in force.
enum class TLoadOutcome {
  Unchanged,  // nothing was dropped
  Loaded,     // the new body became the skin
  Restored,   // the new body failed after the drop; the previous skin came back
  Empty,      // the holder was left without a skin
};

// True for the type names the two entry lists accept.
bool IsObjectType(std::string_view type);
bool IsControlType(std::string_view type);

class TskSkinData {
 public:
  TskSkinData() = default;
  TskSkinData(const TskSkinData&) = delete;
  TskSkinData& operator=(const TskSkinData&) = delete;

  // --- Windows that follow the skin -------------------------------------------------------------
  // The owner window hears every notice first, then the others in the order they were added.
  void SetOwner(ISkinListener* owner) { owner_ = owner; }
  void AddListener(ISkinListener* listener);
  void RemoveListener(ISkinListener* listener);

  // --- Loading ----------------------------------------------------------------------------------
  // Loads the container file at path and, when it holds a body, makes it the active skin.
  void LoadContainerFile(const std::string& path);
  // Replaces the active skin with the container's body; an empty body changes nothing. Should
  // the new body fail once the old skin was dropped, the previous body is applied again (the
  // windows hear the change and after-change notices) and the error still goes to the caller.
  void ApplyContainer(const TskCompressedStoredSkin& container);
  // Setting the stored skin applies its body at once.
  void SetCompressedStoredSkin(TskCompressedStoredSkin* container);
  TskCompressedStoredSkin* CompressedStoredSkin() const { return stored_; }
  // Fired after a body has been read completely, before the change notice.
  std::function<void(TskSkinData* sender)> OnLoadData;

  // --- State ------------------------------------------------------------------------------------
  bool Empty() const { return empty_; }
  bool Changing() const { return changing_; }
  TLoadOutcome LastLoad() const { return lastLoad_; }
  int PictureCode() const { return pictureCode_; }

  const std::optional<TSkinBitmap>& Picture() const { return picture_; }
  const std::optional<TSkinBitmap>& InactivePicture() const { return inactivePicture_; }
  const std::optional<TSkinBitmap>& Mask() const { return mask_; }
  const std::optional<TSkinBitmap>& RollUpPicture() const { return rollUpPicture_; }
  const std::optional<TSkinBitmap>& RollUpMask() const { return rollUpMask_; }
  const std::vector<TSkinBitmap>& ActivePictures() const { return activePictures_; }
  // -1: the skin's "picture"; 0 and up: an active picture. Null when there is none.
  const TSkinBitmap* PictureAt(int index) const;

  // The skin text, kept for the toolkit, which reads its own sections and keys from it.
  const TSkinText& Text() const { return text_; }
  std::optional<std::string> Value(std::string_view section, std::string_view key) const {
    return text_.Value(section, key);
  }

  // "VERSION" texts.
  std::string SkinName, SkinAuthor, AuthorEmail, AuthorUrl, SkinComments;
  // "PICTURES" names.
  std::string PictureName, MaskName, RollUpPictureName, RollUpMaskName;
  std::vector<std::string> ActivePictureNames;

  // The ten colours in force; DefaultColors (the platform's own, set by the UI layer) come back
  // whenever the skin is dropped.
  TSkinColors Colors{};
  TSkinColors DefaultColors{};
  // Active picture the layer frame is drawn from; -1 for none.
  int LayerFramePicture = -1;

  const std::vector<std::string>& Areas() const { return areas_; }
  const std::vector<TSkinEntry>& Objects() const { return objects_; }
  const std::vector<TSkinEntry>& Controls() const { return controls_; }
  const TSkinEntry* Object(std::string_view name) const;
  const TSkinEntry* Control(std::string_view name) const;

 private:
  void Notify(TSkinNotice notice);
  void Drop();
  // Steps from inflating to the parsed sections. Raises the body's error for a damaged one,
  // a picture-set code above 3 and a text past TSkinText's bounds included.
  void LoadBody(const std::string& compressed);
  void ReadSections();
  void ReadEntries(std::string_view section, bool (*known)(std::string_view),
                   std::vector<TSkinEntry>& into);
  void Finish();

  ISkinListener* owner_ = nullptr;
  std::vector<ISkinListener*> listeners_;
  TskCompressedStoredSkin* stored_ = nullptr;

  bool empty_ = true;
  bool changing_ = false;
  TLoadOutcome lastLoad_ = TLoadOutcome::Unchanged;
  std::string activeBody_;  // the compressed body of the skin in force

  int pictureCode_ = 0;
  std::optional<TSkinBitmap> picture_, inactivePicture_, mask_, rollUpPicture_, rollUpMask_;
  std::vector<TSkinBitmap> activePictures_;
  TSkinText text_;
  std::vector<std::string> areas_;
  std::vector<TSkinEntry> objects_;
  std::vector<TSkinEntry> controls_;
};

}  // namespace qelo::skin
