#include "skin/skin_data.h"

#include <algorithm>

#include "skin/byte_reader.h"
#include "skin/skin_errors.h"
#include "skin/skin_inflate.h"
#include "text/ascii_text.h"
#include "text/text_fields.h"

namespace qelo::skin {

namespace {

constexpr std::string_view kObjectTypes[] = {"menuitem",
                                             "mainmenubaritem",
                                             "mainmenuitem",
                                             "captionmenubutton",
                                             "captiontab",
                                             "stdbutton",
                                             "mainmenubarbutton",
                                             "button",
                                             "caption",
                                             "trackbar",
                                             "gauge",
                                             "framegauge",
                                             "frameregulator",
                                             "label",
                                             "bitlabel",
                                             "switch",
                                             "animate",
                                             "userobject"};

constexpr std::string_view kControlTypes[] = {
    "slider",      "bevel",      "panel",     "expanel",        "menubutton",
    "button",      "checkradio", "gauge",     "splitter",       "trackbar",
    "label",       "stdlabel",   "bitlabel",  "frameregulator", "framegauge",
    "animate",     "updown",     "switch",    "grid",           "tab",
    "mainmenubar", "controlbar", "memo",      "edit",           "checklistbox",
    "listbox",     "combobox",   "scrollbar", "spinedit",       "scrollbox",
    "treeview",    "listview",   "richedit"};

bool InList(std::string_view type, const auto& list) {
  const std::string lower = text::AsciiLower(type);
  return std::find(std::begin(list), std::end(list), lower) != std::end(list);
}

// A picture slot: flag 0 and a bitmap, or any other flag and nothing.
std::optional<TSkinBitmap> ReadSlot(TByteReader& in, TPixelBudget& budget) {
  if (in.U8() != 0) return std::nullopt;
  return ReadBitmap(in, budget);
}

const TSkinEntry* Find(const std::vector<TSkinEntry>& list, std::string_view name) {
  const std::string lower = text::AsciiLower(name);
  for (const TSkinEntry& e : list)
    if (text::AsciiLower(e.name) == lower) return &e;
  return nullptr;
}

}  // namespace

bool IsObjectType(std::string_view type) {
  return InList(type, kObjectTypes);
}

bool IsControlType(std::string_view type) {
  return InList(type, kControlTypes);
}

void TskSkinData::AddListener(ISkinListener* listener) {
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void TskSkinData::RemoveListener(ISkinListener* listener) {
  std::erase(listeners_, listener);
}

void TskSkinData::Notify(TSkinNotice notice) {
  // A listener may add or remove listeners while it hears a notice; the others still hear it.
  const std::vector<ISkinListener*> targets = listeners_;
  if (owner_) owner_->SkinNotice(*this, notice);
  for (ISkinListener* l : targets)
    if (l != owner_ && std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end())
      l->SkinNotice(*this, notice);
}

const TSkinBitmap* TskSkinData::PictureAt(int index) const {
  if (index == -1) return picture_ ? &*picture_ : nullptr;
  if (index < 0 || static_cast<size_t>(index) >= activePictures_.size()) return nullptr;
  return &activePictures_[static_cast<size_t>(index)];
}

const TSkinEntry* TskSkinData::Object(std::string_view name) const {
  return Find(objects_, name);
}

const TSkinEntry* TskSkinData::Control(std::string_view name) const {
  return Find(controls_, name);
}

void TskSkinData::LoadContainerFile(const std::string& path) {
  lastLoad_ = TLoadOutcome::Unchanged;
  TskCompressedStoredSkin container;
  container.ReadContainerFile(path);
  if (!container.Empty()) ApplyContainer(container);
}

void TskSkinData::SetCompressedStoredSkin(TskCompressedStoredSkin* container) {
  stored_ = container;
  if (container) ApplyContainer(*container);
}

void TskSkinData::Drop() {
  areas_.clear();
  objects_.clear();
  controls_.clear();
  activePictures_.clear();
  LayerFramePicture = -1;
  Colors = DefaultColors;
  picture_.reset();
  inactivePicture_.reset();
  mask_.reset();
  rollUpPicture_.reset();
  rollUpMask_.reset();
  PictureName.clear();
  MaskName.clear();
  RollUpPictureName.clear();
  RollUpMaskName.clear();
  ActivePictureNames.clear();
  SkinName.clear();
  SkinAuthor.clear();
  AuthorEmail.clear();
  AuthorUrl.clear();
  SkinComments.clear();
  text_ = TSkinText{};
  pictureCode_ = 0;
}

void TskSkinData::ApplyContainer(const TskCompressedStoredSkin& container) {
  lastLoad_ = TLoadOutcome::Unchanged;
  if (container.Empty()) return;
  // The container may be a temporary one; the body is kept so it can be put back later.
  std::string body = container.CompressedData;
  std::string previous = empty_ ? std::string() : activeBody_;

  empty_ = true;
  changing_ = true;
  Notify(TSkinNotice::BeforeChange);
  Drop();
  activeBody_.clear();
  try {
    LoadBody(body);
  } catch (...) {
    Drop();
    changing_ = false;
    lastLoad_ = TLoadOutcome::Empty;
    if (!previous.empty()) {
      try {
        changing_ = true;
        LoadBody(previous);
        activeBody_ = std::move(previous);
        Finish();
        lastLoad_ = TLoadOutcome::Restored;
      } catch (...) {
        Drop();  // the held body no longer loads either: the holder stays empty
      }
      changing_ = false;
    }
    throw;
  }
  activeBody_ = std::move(body);
  Finish();
  lastLoad_ = TLoadOutcome::Loaded;
}

void TskSkinData::Finish() {
  empty_ = false;
  if (OnLoadData) OnLoadData(this);
  Notify(TSkinNotice::Change);
  changing_ = false;
  Notify(TSkinNotice::AfterChange);
}

void TskSkinData::LoadBody(const std::string& compressed) {
  const std::string data = InflateBody(compressed);
  TByteReader in(data);
  const int32_t code = data.empty() ? 0 : in.I32();
  // A code the reader does not know is a damaged body, not an empty skin.
  if (code > 3) throw EReadError();
  pictureCode_ = code;
  TPixelBudget budget;
  // A negative code reads like code 0: picture and mask only.
  picture_ = ReadSlot(in, budget);
  if (code == 2 || code == 3) inactivePicture_ = ReadSlot(in, budget);
  mask_ = ReadSlot(in, budget);
  if (code == 1 || code == 2) {
    rollUpPicture_ = ReadSlot(in, budget);
    rollUpMask_ = ReadSlot(in, budget);
  }
  const int32_t count = in.I32();
  for (int32_t i = 0; i < count; ++i)
    activePictures_.push_back(ReadBitmap(in, budget));
  text_ = TSkinText::Parse(in.Rest());
  ReadSections();
}

void TskSkinData::ReadSections() {
  const TSkinText& t = text_;
  SkinName = t.ReadString("VERSION", "skinname");
  SkinAuthor = t.ReadString("VERSION", "skinauthor");
  AuthorEmail = t.ReadString("VERSION", "authoremail");
  AuthorUrl = t.ReadString("VERSION", "authorurl");
  SkinComments = t.ReadString("VERSION", "skincomments");

  PictureName = t.ReadString("PICTURES", "picture");
  MaskName = t.ReadString("PICTURES", "mask");
  RollUpPictureName = t.ReadString("PICTURES", "rolluppicture");
  RollUpMaskName = t.ReadString("PICTURES", "rollupmask");
  // Names beyond the pictures the body holds name nothing; the loop stays bounded.
  const int names = std::min<int64_t>(t.ReadInteger("PICTURES", "activepicturescount", 0),
                                      static_cast<int64_t>(activePictures_.size()));
  for (int i = 0; i < names; ++i)
    ActivePictureNames.push_back(t.ReadString("PICTURES", std::to_string(i)));

  // "FORMINFO", "POPUPWINDOW" and "HINTWINDOW" are the toolkit's: it reads them from Text().
  const int layer = t.ReadPictureIndex("LAYERFRAME", "picture");
  LayerFramePicture = PictureAt(layer) && layer >= 0 ? layer : -1;

  for (size_t i = 0; i < kSkinColorKeys.size(); ++i)
    Colors[i] = t.ReadColor("SKINCOLORS", kSkinColorKeys[i], 0);

  const int areaCount = t.ReadInteger("SKINAREAS", "count", 0);
  if (const TSkinText::TSection* s = t.Section("SKINAREAS")) {
    const int bound = std::min<int64_t>(areaCount, static_cast<int64_t>(s->keys.size()));
    for (int i = 0; i < bound; ++i)
      areas_.push_back(t.ReadString("SKINAREAS", std::to_string(i)));
  }
  ReadEntries("SKINOBJECTS", IsObjectType, objects_);
  ReadEntries("SKINCONTROLS", IsControlType, controls_);
}

void TskSkinData::ReadEntries(std::string_view section, bool (*known)(std::string_view),
                              std::vector<TSkinEntry>& into) {
  const TSkinText::TSection* s = text_.Section(section);
  if (!s) return;
  // Entries past the section's keys are missing ones, which only make the previous entry read
  // its section again; counting to the keys keeps a huge count from spinning.
  const int64_t count = std::min<int64_t>(text_.ReadInteger(section, "count", 0),
                                          static_cast<int64_t>(s->keys.size()));
  for (int64_t i = 0; i < count; ++i) {
    const std::string entry = text_.ReadString(section, std::to_string(i));
    const size_t colon = entry.find(':');
    TSkinEntry e;
    if (colon != std::string::npos) {
      e.name = entry.substr(0, colon);
      e.type = entry.substr(colon + 1);
    }
    if (!known(e.type)) {
      // An unknown type creates nothing; the entry created before it reads its section again.
      if (into.empty()) throw text::EListError("List index out of bounds (-1)");
      ++into.back().sectionReads;
      continue;
    }
    e.sectionReads = 1;
    into.push_back(std::move(e));
  }
}

}  // namespace qelo::skin
