#include "appcore/saved_skin.h"

#include <exception>

#include "appcore/file_lines.h"
#include "skin/builtin_skin.h"
#include "text/file_exists.h"
#include "text/gbk.h"
#include "text/settings_codec.h"
#include "text/text_fields.h"

namespace qelo::app {

std::string LoadSavedSkin(skin::TskSkinData& holder, const text::StateDirs& dirs) {
  const std::string builtin = skin::kBuiltinSkinName;
  const std::string settings = dirs.config + "settings.cfg";
  if (!text::FileExists(settings, text::TDirectories::Exclude)) return builtin;
  std::string name;
  try {
    const std::string plain =
        text::SettingsCodec(text::JoinLinesCrLf(ReadWholeFile(settings)), false);
    name = text::PickField('|', plain, 0);
  } catch (const std::exception&) {
    return builtin;  // a settings file that does not decode keeps the built-in skin
  }
  const std::string container = dirs.skins + text::GbkToUtf8(name) + ".skn";
  if (name.empty() || !text::FileExists(container, text::TDirectories::Exclude)) return builtin;
  try {
    holder.LoadContainerFile(container);
  } catch (const std::exception&) {
    return builtin;  // the holder has put its previous skin back
  }
  return name;
}

}  // namespace qelo::app
