// Putting the saved skin back on at start-up: settings.cfg names the skin, NAME.skn in the skin
// cache is its container.
#pragma once

#include <string>

#include "skin/skin_data.h"
#include "text/state_dirs.h"

namespace qelo::app {

// Reads dirs.config + "settings.cfg" and, when the skin it names is cached in dirs.skins,
// loads that container into the holder. Returns the skin name in force: the saved one, or
// "Charm" when there is no settings file, the named skin is not cached, the file does not
// decode or the container fails to load (the holder then keeps or puts back its skin). Never
// raises for a damaged settings file or container.
std::string LoadSavedSkin(skin::TskSkinData& holder, const text::StateDirs& dirs);

}  // namespace qelo::app
